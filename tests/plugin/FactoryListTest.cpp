#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "definition/EffectDefinitionRegistry.h"
#include "log/PluginLog.h"
#include "plugin/FactoryList.h"
#include "plugin/GenericEffectFactory.h"

namespace {

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string effectWithLevel(const char* levelAttribute) {
    return std::string("<effect name=\"lvl\" category=\"c\" ") + levelAttribute + "><pipeline/></effect>";
}

class FactoryListTest : public ::testing::Test {
  protected:
    void SetUp() override {
        folder_ = std::filesystem::temp_directory_path() /
                  ("velmora-factory-" + std::to_string(::getpid()) + "-" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(folder_);
        setenv("VELMORA_LOG_DIR", folder_.c_str(), 1);
    }
    void TearDown() override {
        PluginLog::instance().setLevel(LogLevel::Error);
        std::filesystem::remove_all(folder_);
    }
    std::string logPath() const { return (folder_ / "velmora_plugin_log.txt").string(); }

    std::filesystem::path folder_;
};

// One process-wide factory: the failing and the succeeding calls share this test.
TEST_F(FactoryListTest, FailedConstructionLeavesNothingAndALaterCallTriesAgain) {
    OFX::PluginFactoryArray factories;
    try {
        velmora::fillFactoryList(factories, "<effect name=\"x\" category=\"c\"/>");
        FAIL() << "no exception";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "Failed to parse embedded XML");
    }
    EXPECT_TRUE(factories.empty());
    EXPECT_EQ(velmora::processFactory(), nullptr);
    EXPECT_EQ(EffectDefinitionRegistry::find("x"), nullptr);
    const std::string failedLog = readFile(logPath());
    EXPECT_NE(failedLog.find("[INFO] Creating factory for effect: velmora\n[INFO] XML path: "
                             "C:/Program Files/Common Files/OFX/Plugins/velmora.ofx.bundle/Contents/effects/"
                             "velmora.xml\n"),
              std::string::npos)
        << failedLog;
    EXPECT_NE(failedLog.find("[ERROR] Failed to parse embedded XML: Effect must have a <pipeline> section"),
              std::string::npos);

    // The compiled-in document.
    velmora::fillFactoryList(factories);
    ASSERT_EQ(factories.size(), 1u);
    GenericEffectFactory* factory = velmora::processFactory();
    ASSERT_NE(factory, nullptr);
    EXPECT_EQ(factories[0], factory);
    EXPECT_EQ(factory->getID(), "com.xmlframework.velmora");
    EXPECT_EQ(factory->getUID(), "com.xmlframework.velmora10");
    EXPECT_EQ(factory->getMajorVersion(), 1u);
    EXPECT_EQ(factory->getMinorVersion(), 0u);
    EXPECT_EQ(factory->definition().getName(), "ORBALT Velmora");
    EXPECT_EQ(EffectDefinitionRegistry::find("ORBALT Velmora"), &factory->definition());
    EXPECT_EQ(factory->hostCapabilities().profileName, "Unknown Host");
    EXPECT_EQ(PluginLog::instance().level(), LogLevel::Error);  // the document's debug_level
    EXPECT_EQ(readFile(logPath() + ".1").rfind(failedLog, 0), 0u);

    // A second call builds nothing new and starts another log session.
    velmora::fillFactoryList(factories);
    ASSERT_EQ(factories.size(), 2u);
    EXPECT_EQ(factories[1], factory);
    EXPECT_NE(readFile(logPath()).find("=== velmora Plugin Session Started ==="), std::string::npos);
    EXPECT_NE(readFile(logPath() + ".2"), "");
}

TEST_F(FactoryListTest, DebugLevelOfTheDefinitionSetsTheLog) {
    const struct {
        const char* attribute;
        LogLevel level;
    } cases[] = {{"", LogLevel::Info},
                 {"debug_level=\"none\"", LogLevel::Info},
                 {"debug_level=\"\"", LogLevel::Info},
                 {"debug_level=\"DeBuG\"", LogLevel::Debug},
                 {"debug_level=\"INFO\"", LogLevel::Info},
                 {"debug_level=\"warning\"", LogLevel::Error}};
    for (const auto& c : cases) {
        PluginLog::instance().setLevel(LogLevel::Info);
        const std::string text = effectWithLevel(c.attribute);
        GenericEffectFactory factory("/x/lvl.xml", text.c_str());
        EXPECT_EQ(PluginLog::instance().level(), c.level) << c.attribute;
        EXPECT_EQ(factory.getID(), "com.xmlframework.lvl");
    }
}

TEST_F(FactoryListTest, RegistryReplacesAndIgnoresNull) {
    PluginLog::instance().switchEffect("registry");
    XMLEffectDefinition first, second;
    EffectDefinitionRegistry::registerDefinition("same", &first);
    EffectDefinitionRegistry::registerDefinition("same", &second);
    EffectDefinitionRegistry::registerDefinition("same", nullptr);
    EXPECT_EQ(EffectDefinitionRegistry::find("same"), &second);
    EXPECT_NE(
        readFile(PluginLog::instance().path())
            .find(
                "[ERROR] EffectDefinitionRegistry::registerDefinition called with null definition for same"),
        std::string::npos);
}

}  // namespace
