#include "AbiTable.h"

#include <climits>
#include <cstddef>
#include <fstream>
#include <optional>
#include <sstream>
#include <stdexcept>

#include "CompiledFacts.h"

namespace ofxabi {
namespace {

std::vector<std::string> splitTabs(const std::string& line) {
    std::vector<std::string> out;
    std::size_t start = 0;
    while (true) {
        std::size_t tab = line.find('\t', start);
        out.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
        if (tab == std::string::npos) break;
        start = tab + 1;
    }
    return out;
}

std::string trim(const std::string& s) {
    std::size_t b = s.find_first_not_of(" \t\r");
    if (b == std::string::npos) return "";
    std::size_t e = s.find_last_not_of(" \t\r");
    return s.substr(b, e - b + 1);
}

std::vector<std::string> splitList(const std::string& s, const std::string& sep) {
    std::vector<std::string> out;
    std::string rest = trim(s);
    if (rest.empty()) return out;
    std::size_t start = 0;
    while (true) {
        std::size_t at = rest.find(sep, start);
        out.push_back(trim(rest.substr(start, at == std::string::npos ? std::string::npos : at - start)));
        if (at == std::string::npos) break;
        start = at + sep.size();
    }
    return out;
}

bool startsWith(const std::string& s, const std::string& prefix) {
    return s.compare(0, prefix.size(), prefix) == 0;
}

bool endsWith(const std::string& s, const std::string& suffix) {
    return s.size() >= suffix.size() && s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// A constant's value as the table spells it: a string literal, a number, INT_MAX/INT_MIN, another constant,
// casts, parentheses and '|' of those.
struct Value {
    bool isString = false;
    std::string text;
    long long number = 0;
};

class ConstantEvaluator {
  public:
    explicit ConstantEvaluator(const std::map<std::string, std::string>& spelled) : spelled_(spelled) {}

    std::optional<Value> evaluate(const std::string& expression, int depth = 0) const {
        if (depth > 8) return std::nullopt;
        std::string e = trim(expression);
        if (e.size() >= 2 && e.front() == '"' && e.back() == '"') {
            return Value{true, e.substr(1, e.size() - 2), 0};
        }
        if (e.find('|') != std::string::npos) {
            long long combined = 0;
            for (const std::string& part : splitList(stripParens(e), "|")) {
                std::optional<Value> v = evaluate(part, depth + 1);
                if (!v || v->isString) return std::nullopt;
                combined |= v->number;
            }
            return Value{false, "", combined};
        }
        e = stripParens(e);
        if (startsWith(e, "(int)")) e = stripParens(trim(e.substr(5)));
        if (e == "INT_MAX") return Value{false, "", INT_MAX};
        if (e == "INT_MIN") return Value{false, "", INT_MIN};
        if (!e.empty() && (isdigit(static_cast<unsigned char>(e[0])) || e[0] == '-')) {
            std::size_t used = 0;
            long long n = std::stoll(e, &used, 0);
            if (used != e.size()) return std::nullopt;
            return Value{false, "", n};
        }
        auto it = spelled_.find(e);
        if (it == spelled_.end()) return std::nullopt;
        return evaluate(it->second, depth + 1);
    }

  private:
    static std::string stripParens(std::string e) {
        e = trim(e);
        while (e.size() >= 2 && e.front() == '(' && e.back() == ')' && !startsWith(e, "(int)")) {
            e = trim(e.substr(1, e.size() - 2));
        }
        return e;
    }

    const std::map<std::string, std::string>& spelled_;
};

class Comparison {
  public:
    explicit Comparison(const std::vector<AbiRow>& rows) : rows_(rows), canon_(rows) {}

    std::vector<std::string> run() {
        compareConstants();
        compareEnums();
        compareTypedefs();
        compareStructs();
        return problems_;
    }

  private:
    void problem(const std::string& text) { problems_.push_back(text); }

    void compareConstants() {
        std::map<std::string, std::string> spelled;
        for (const AbiRow& r : rows_) {
            if (r.kind != "define" || r.name == "OfxExport") continue;
            if (r.fields.empty()) {
                problem("define " + r.name + " has no value in the table");
                continue;
            }
            auto [it, fresh] = spelled.emplace(r.name, r.fields[0]);
            if (!fresh && it->second != r.fields[0]) {
                problem("define " + r.name + " has two different values in the table");
            }
        }
        std::map<std::string, const CompiledConstant*> compiled;
        for (const CompiledConstant& c : compiledConstants()) compiled[c.name] = &c;

        ConstantEvaluator evaluator(spelled);
        for (const auto& [name, expression] : spelled) {
            std::optional<Value> expected = evaluator.evaluate(expression);
            auto found = compiled.find(name);
            if (!expected) {
                problem("define " + name + ": cannot evaluate the table's value " + expression);
            } else if (found == compiled.end()) {
                problem("define " + name + " is missing from the headers");
            } else if (expected->isString != found->second->isString) {
                problem("define " + name + ": the table has a " + (expected->isString ? "string" : "number") +
                        ", the headers do not");
            } else if (expected->isString && expected->text != found->second->text) {
                problem("define " + name + ": table \"" + expected->text + "\", headers \"" +
                        found->second->text + "\"");
            } else if (!expected->isString && expected->number != found->second->number) {
                problem("define " + name + ": table " + std::to_string(expected->number) + ", headers " +
                        std::to_string(found->second->number));
            }
        }
        for (const auto& [name, c] : compiled) {
            if (!spelled.count(name) && !intentionalExtraConstants().count(name)) {
                problem("define " + name + " is in the headers but not in the table");
            }
        }
    }

    void compareEnums() {
        std::map<std::string, std::vector<const AbiRow*>> expected;
        std::vector<std::string> order;
        for (const AbiRow& r : rows_) {
            if (r.kind != "enum-item") continue;
            if (!expected.count(r.name)) order.push_back(r.name);
            expected[r.name].push_back(&r);
        }
        std::map<std::string, const CompiledEnum*> compiled;
        for (const CompiledEnum& e : compiledEnums()) compiled[e.name] = &e;

        for (const std::string& name : order) {
            auto found = compiled.find(name);
            if (found == compiled.end()) {
                problem("enum " + name + " is missing from the headers");
                continue;
            }
            const CompiledEnum& ce = *found->second;
            if (ce.size != sizeof(int)) problem("enum " + name + " is not int-sized");
            const std::vector<const AbiRow*>& items = expected[name];
            if (items.size() != ce.items.size()) {
                problem("enum " + name + ": table has " + std::to_string(items.size()) + " items, headers " +
                        std::to_string(ce.items.size()));
                continue;
            }
            std::map<std::string, std::string> itemValues;
            long long next = 0;
            for (std::size_t i = 0; i < items.size(); ++i) {
                // "index: name" or "index: name = expression"
                std::string itemField = items[i]->fields.empty() ? "" : items[i]->fields[0];
                std::size_t colon = itemField.find(':');
                std::string rest = trim(colon == std::string::npos ? itemField : itemField.substr(colon + 1));
                std::size_t eq = rest.find('=');
                std::string itemName = trim(rest.substr(0, eq));
                std::string expression =
                    eq == std::string::npos ? std::to_string(next) : trim(rest.substr(eq + 1));
                itemValues[itemName] = expression;
                std::optional<Value> v = ConstantEvaluator(itemValues).evaluate(expression);
                if (colon == std::string::npos || std::stoul(itemField.substr(0, colon)) != i) {
                    problem("enum " + name + ": item " + itemName + " is out of order in the table");
                }
                if (itemName != ce.items[i].name) {
                    problem("enum " + name + " item " + std::to_string(i) + ": table " + itemName +
                            ", headers " + ce.items[i].name);
                } else if (!v || v->isString || v->number != ce.items[i].value) {
                    problem("enum item " + itemName + ": table " + expression + ", headers " +
                            std::to_string(ce.items[i].value));
                }
                if (v && !v->isString) next = v->number + 1;
            }
        }
        for (const auto& [name, e] : compiled) {
            if (!expected.count(name)) problem("enum " + name + " is in the headers but not in the table");
        }
    }

    void compareTypedefs() {
        std::map<std::string, const CompiledTypedef*> compiled;
        for (const CompiledTypedef& t : compiledTypedefs()) compiled[t.name] = &t;
        std::set<std::string> seen;
        for (const AbiRow& r : rows_) {
            if (r.kind != "typedef" && r.kind != "typedef-fn") continue;
            seen.insert(r.name);
            auto found = compiled.find(r.name);
            if (found == compiled.end()) {
                problem("typedef " + r.name + " is missing from the headers");
                continue;
            }
            std::string expected = r.kind == "typedef" ? canon_.object(r.fields.at(0)) : functionOf(r);
            if (expected != found->second->type) {
                problem("typedef " + r.name + ": table " + expected + ", headers " + found->second->type);
            }
        }
        for (const auto& [name, t] : compiled) {
            if (!seen.count(name)) problem("typedef " + name + " is in the headers but not in the table");
        }
    }

    std::string functionOf(const AbiRow& r) const {
        // "returns R; params: A, B"
        const std::string& signature = r.fields.at(0);
        std::size_t semi = signature.find(';');
        std::string ret = trim(signature.substr(0, semi));
        std::string params = semi == std::string::npos ? "" : trim(signature.substr(semi + 1));
        if (startsWith(ret, "returns ")) ret = ret.substr(8);
        if (startsWith(params, "params:")) params = params.substr(7);
        return canon_.function(ret, params);
    }

    std::string memberType(const AbiRow& r) const {
        // fields: index, member name, "type T" | "function returning R", ["param types: ..."]
        const std::string& what = r.fields.at(2);
        if (startsWith(what, "type ")) return canon_.object(what.substr(5));
        if (startsWith(what, "function returning ")) {
            std::string params = r.fields.size() > 3 ? r.fields[3] : "";
            if (startsWith(params, "param types:")) params = params.substr(12);
            return canon_.function(what.substr(19), params) + "*";
        }
        return "?" + what;
    }

    void compareStructs() {
        std::map<std::string, std::vector<const AbiRow*>> expected;
        std::vector<std::string> order;
        for (const AbiRow& r : rows_) {
            if (r.kind != "member") continue;
            if (r.fields.size() < 3) {
                problem("member row of " + r.name + " has too few columns");
                continue;
            }
            if (!expected.count(r.name)) order.push_back(r.name);
            expected[r.name].push_back(&r);
        }
        std::map<std::string, const CompiledStruct*> compiled;
        for (const CompiledStruct& s : compiledStructs()) compiled[s.name] = &s;

        for (const std::string& name : order) {
            auto found = compiled.find(name);
            if (found == compiled.end()) {
                problem("struct " + name + " is missing from the headers");
                continue;
            }
            compareStruct(name, expected[name], *found->second);
        }
        for (const auto& [name, s] : compiled) {
            if (!expected.count(name)) problem("struct " + name + " is in the headers but not in the table");
        }
    }

    void compareStruct(const std::string& name, const std::vector<const AbiRow*>& members,
                       const CompiledStruct& cs) {
        if (members.size() != cs.members.size()) {
            problem("struct " + name + ": table has " + std::to_string(members.size()) +
                    " members, headers " + std::to_string(cs.members.size()));
            return;
        }
        // Lay the struct out the way a C compiler does from the table's types alone.
        std::size_t offset = 0;
        std::size_t align = 1;
        for (std::size_t i = 0; i < members.size(); ++i) {
            const AbiRow& row = *members[i];
            const CompiledMember& cm = cs.members[i];
            const std::string& memberName = row.fields[1];
            std::string where = "struct " + name + " member " + std::to_string(i) + " (" + memberName + ")";
            if (row.fields[0] != std::to_string(i))
                problem(where + ": the table's index is " + row.fields[0]);
            if (memberName != cm.name) {
                problem(where + ": the headers have " + cm.name + " here");
                return;
            }
            std::string type = memberType(row);
            if (type != cm.type) problem(where + ": table type " + type + ", headers " + cm.type);
            std::size_t size = TypeCanon::sizeOf(type);
            if (size == 0) {
                problem(where + ": unknown size of " + type);
                return;
            }
            offset = (offset + size - 1) / size * size;
            align = std::max(align, size);
            if (cm.offset != offset || cm.size != size) {
                problem(where + ": expected offset " + std::to_string(offset) + " size " +
                        std::to_string(size) + ", headers offset " + std::to_string(cm.offset) + " size " +
                        std::to_string(cm.size));
            }
            offset += size;
        }
        std::size_t total = (offset + align - 1) / align * align;
        if (cs.size != total || cs.align != align) {
            problem("struct " + name + ": expected size " + std::to_string(total) + " alignment " +
                    std::to_string(align) + ", headers size " + std::to_string(cs.size) + " alignment " +
                    std::to_string(cs.align));
        }
    }

    const std::vector<AbiRow>& rows_;
    TypeCanon canon_;
    std::vector<std::string> problems_;
};

}  // namespace

std::vector<AbiRow> parseTable(const std::string& text, const std::string& origin) {
    std::vector<AbiRow> rows;
    std::istringstream in(text);
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (trim(line).empty()) continue;
        std::vector<std::string> cols = splitTabs(line);
        if (number == 1 && cols[0] == "kind") continue;  // column titles
        if (cols.size() < 4) {
            throw std::runtime_error(origin + ":" + std::to_string(number) +
                                     ": expected at least 4 columns, found " + std::to_string(cols.size()));
        }
        AbiRow row{cols[0], cols[1], cols[2], std::vector<std::string>(cols.begin() + 3, cols.end())};
        rows.push_back(std::move(row));
    }
    if (rows.empty()) throw std::runtime_error(origin + ": the table has no rows");
    return rows;
}

std::vector<AbiRow> loadTable(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot open the OpenFX facts table " + path);
    std::ostringstream text;
    text << in.rdbuf();
    return parseTable(text.str(), path);
}

std::vector<std::string> compareWithCompiled(const std::vector<AbiRow>& rows) {
    return Comparison(rows).run();
}

const std::set<std::string>& intentionalExtraConstants() {
    // Standard names the table leaves out but hosts use: the key symbol for 'H' (between 'G' and 'I'), the
    // key-symbol property of key events, the names of the progress and time-line suites, and the layout
    // hints of parameters.
    static const std::set<std::string> extras = {
        "kOfxKey_H",         "kOfxPropKeySym",          "kOfxProgressSuite",
        "kOfxTimeLineSuite", "kOfxParamPropLayoutHint", "kOfxParamPropLayoutPadWidth"};
    return extras;
}

TypeCanon::TypeCanon(const std::vector<AbiRow>& rows) {
    for (const AbiRow& r : rows) {
        if (r.kind == "typedef" && !r.fields.empty()) typedefs_[r.name] = r.fields[0];
        if (r.kind == "typedef-fn" && !r.fields.empty()) functionTypes_[r.name] = r.fields[0];
        if (r.kind == "member") records_.insert(r.name);
        if (r.kind == "enum-item") enums_.insert(r.name);
    }
}

std::string TypeCanon::object(const std::string& spelled) const {
    std::string spaced;
    for (char c : spelled) spaced += (c == '*') ? std::string(" * ") : std::string(1, c);
    std::istringstream words(spaced);
    std::vector<std::string> tokens;
    for (std::string w; words >> w;) tokens.push_back(w);

    bool isConst = false;
    std::string base;
    std::size_t i = 0;
    for (; i < tokens.size() && tokens[i] != "*"; ++i) {
        if (tokens[i] == "const") {
            isConst = true;
        } else {
            base += (base.empty() ? "" : " ") + tokens[i];
        }
    }
    std::string out;
    if (startsWith(base, "struct ")) {
        out = base;
    } else if (base == "size_t") {
        out = typeName<std::size_t>();
    } else if (auto t = typedefs_.find(base); t != typedefs_.end()) {
        out = object(t->second);
    } else if (auto f = functionTypes_.find(base); f != functionTypes_.end()) {
        std::size_t semi = f->second.find(';');
        std::string ret = trim(f->second.substr(0, semi));
        std::string params = semi == std::string::npos ? "" : trim(f->second.substr(semi + 1));
        if (startsWith(ret, "returns ")) ret = ret.substr(8);
        if (startsWith(params, "params:")) params = params.substr(7);
        out = function(ret, params);
    } else if (records_.count(base)) {
        out = "struct " + base;
    } else if (enums_.count(base)) {
        out = "enum " + base;
    } else {
        out = base;
    }
    if (isConst) out += " const";
    for (; i < tokens.size(); ++i) out += tokens[i] == "*" ? "*" : " " + tokens[i];
    return out;
}

std::string TypeCanon::parameter(const std::string& spelled) const {
    if (trim(spelled) == "...") return "...";
    std::string c = object(spelled);
    if (endsWith(c, " const")) c.resize(c.size() - 6);  // a parameter's own const is not part of the type
    if (endsWith(c, ")")) c += "*";                     // a function parameter is a pointer to it
    return c;
}

std::string TypeCanon::function(const std::string& returnType, const std::string& parameterList) const {
    std::vector<std::string> params = splitList(parameterList, ",");
    if (params.size() == 1 && params[0] == "void") params.clear();
    std::string joined;
    for (const std::string& p : params) joined += (joined.empty() ? "" : ", ") + parameter(p);
    return object(returnType) + " (" + (joined.empty() ? "void" : joined) + ")";
}

std::size_t TypeCanon::sizeOf(const std::string& canonical) {
    std::string c = canonical;
    if (endsWith(c, " const")) c.resize(c.size() - 6);
    if (endsWith(c, "*")) return sizeof(void*);
    static const std::map<std::string, std::size_t> sizes = {{"char", 1},
                                                             {"signed char", 1},
                                                             {"unsigned char", 1},
                                                             {"bool", sizeof(bool)},
                                                             {"short", 2},
                                                             {"unsigned short", 2},
                                                             {"int", sizeof(int)},
                                                             {"unsigned int", sizeof(unsigned)},
                                                             {"long", sizeof(long)},
                                                             {"unsigned long", sizeof(unsigned long)},
                                                             {"float", sizeof(float)},
                                                             {"double", sizeof(double)}};
    auto it = sizes.find(c);
    if (it != sizes.end()) return it->second;
    if (startsWith(c, "enum ")) return sizeof(int);
    return 0;
}

}  // namespace ofxabi
