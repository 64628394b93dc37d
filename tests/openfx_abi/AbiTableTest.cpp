// Our OpenFX declarations against the facts table: every constant, enum, typedef and struct layout.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "AbiTable.h"
#include "ofxCore.h"

namespace {

#define ABI_STRINGIFY(x) #x
#define ABI_EXPANDED(x) ABI_STRINGIFY(x)

std::string tablePath() {
    const char* overridden = std::getenv("VELMORA_OFX_ABI_TABLE");
    return overridden && *overridden ? overridden : VELMORA_OFX_ABI_TABLE;
}

const std::vector<ofxabi::AbiRow>& table() {
    static const std::vector<ofxabi::AbiRow> rows = ofxabi::loadTable(tablePath());
    return rows;
}

std::string joined(const std::vector<std::string>& lines) {
    std::string out;
    for (const std::string& l : lines) out += l + "\n";
    return out;
}

TEST(OpenFxAbi, HeadersAgreeWithTheFactsTable) {
    std::vector<std::string> problems = ofxabi::compareWithCompiled(table());
    EXPECT_TRUE(problems.empty()) << problems.size() << " disagreement(s):\n" << joined(problems);
}

TEST(OpenFxAbi, ExportMacroMatchesThisPlatform) {
    std::vector<std::string> values;
    for (const ofxabi::AbiRow& r : table()) {
        if (r.kind == "define" && r.name == "OfxExport") values.push_back(r.fields.at(0));
    }
    ASSERT_EQ(values.size(), 2u);
    auto windows = std::find_if(values.begin(), values.end(), [](const std::string& v) {
        return v.find("__declspec") != std::string::npos;
    });
    ASSERT_NE(windows, values.end());
#ifdef _WIN32
    EXPECT_EQ(ABI_EXPANDED(OfxExport), *windows);
#else
    EXPECT_EQ(ABI_EXPANDED(OfxExport), values[windows == values.begin() ? 1 : 0]);
#endif
}

// The comparison itself must notice each kind of disagreement; every case edits one row of the real table.
struct Mutation {
    const char* what;
    const char* kind;
    const char* name;
    int member;               // member index, or -1
    std::size_t field;        // which field to replace
    const char* replacement;  // nullptr: remove the row
    const char* expectedInProblem;
};

void PrintTo(const Mutation& m, std::ostream* os) {
    *os << m.what;
}

class OpenFxAbiMutation : public ::testing::TestWithParam<Mutation> {};

TEST_P(OpenFxAbiMutation, IsReported) {
    const Mutation& m = GetParam();
    std::vector<ofxabi::AbiRow> rows = table();
    auto target = std::find_if(rows.begin(), rows.end(), [&](const ofxabi::AbiRow& r) {
        return r.kind == m.kind && r.name == m.name &&
               (m.member < 0 || r.fields.at(0) == std::to_string(m.member));
    });
    ASSERT_NE(target, rows.end()) << m.what;
    if (m.replacement) {
        target->fields.at(m.field) = m.replacement;
    } else {
        rows.erase(target);
    }
    std::vector<std::string> problems = ofxabi::compareWithCompiled(rows);
    ASSERT_FALSE(problems.empty()) << m.what;
    EXPECT_NE(joined(problems).find(m.expectedInProblem), std::string::npos) << m.what << ":\n"
                                                                             << joined(problems);
}

INSTANTIATE_TEST_SUITE_P(
    EachKindOfDisagreement, OpenFxAbiMutation,
    ::testing::Values(
        Mutation{"string value", "define", "kOfxImageEffectActionRender", -1, 0,
                 "\"OfxImageEffectActionRenderX\"", "kOfxImageEffectActionRender"},
        Mutation{"number value", "define", "kOfxStatErrValue", -1, 0, "((int) 12)", "kOfxStatErrValue"},
        Mutation{"string became number", "define", "kOfxPropTime", -1, 0, "3", "kOfxPropTime"},
        Mutation{"constant only in headers", "define", "kOfxKey_Escape", -1, 0, nullptr, "not in the table"},
        Mutation{"member renamed", "member", "OfxPlugin", 2, 1, "pluginId", "OfxPlugin member 2"},
        Mutation{"member type", "member", "OfxRectI", 1, 2, "type double", "OfxRectI"},
        Mutation{"suite parameter type", "member", "OfxPropertySuiteV1", 3, 3,
                 "param types: OfxPropertySetHandle, const char *, int, double", "propSetInt"},
        Mutation{"suite parameter dropped", "member", "OfxMultiThreadSuiteV1", 0, 3,
                 "param types: OfxThreadFunctionV1, unsigned int", "multiThread"},
        Mutation{"return type", "member", "OfxImageEffectSuiteV1", 8, 2, "function returning void", "abort"},
        Mutation{"member missing", "member", "OfxHost", 1, 0, nullptr, "OfxHost: table has 1 members"},
        Mutation{"typedef", "typedef", "OfxTime", -1, 0, "float", "OfxTime"},
        Mutation{"function typedef", "typedef-fn", "OfxThreadFunctionV1", -1, 0,
                 "returns void; params: unsigned int, void *", "OfxThreadFunctionV1"},
        Mutation{"enum value", "enum-item", "OfxDrawTextAlignment", -1, 0,
                 "0: kOfxDrawTextAlignmentLeft = 0x0003", "kOfxDrawTextAlignmentLeft"}),
    [](const ::testing::TestParamInfo<Mutation>& info) {
        std::string name = info.param.what;
        std::replace(name.begin(), name.end(), ' ', '_');
        return name;
    });

TEST(OpenFxAbiTable, MalformedTableIsRejectedWithItsLine) {
    try {
        ofxabi::parseTable("kind\theader\tname\tvalue\ndefine\tofxCore.h\tkOfxStatOK\n", "broken.tsv");
        FAIL() << "a short row was accepted";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("broken.tsv:2"), std::string::npos) << e.what();
    }
    EXPECT_THROW(ofxabi::loadTable("/nonexistent/openfx-abi.tsv"), std::runtime_error);
}

}  // namespace
