#pragma once

// Loading the plug-in through our host for description and instance tests: a private folder for
// the log and the user presets, the bundle loaded under a host identity, and reading the log.

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "Effect.h"
#include "Host.h"
#include "HostIdentity.h"
#include "Instance.h"
#include "Param.h"
#include "ParamSet.h"
#include "PluginBinary.h"

namespace velmora_test {

// A fresh folder for the log and APPDATA of one test, removed afterwards.
class TestFolders {
  public:
    TestFolders() {
        char pattern[] = "/tmp/velmora-fx-XXXXXX";
        const char* made = mkdtemp(pattern);
        root_ = made ? made : "/tmp";
        setenv("VELMORA_LOG_DIR", (root_ + "/log").c_str(), 1);
        setenv("APPDATA", (root_ + "/appdata").c_str(), 1);
    }
    ~TestFolders() {
        unsetenv("VELMORA_TEST_DEFINITION_FILE");
        if (std::getenv("VELMORA_KEEP_TEST_FOLDERS")) return;
        const std::string command = "rm -rf '" + root_ + "'";
        if (std::system(command.c_str()) != 0) {
        }
    }
    const std::string& root() const { return root_; }

    // Makes the test bundle describe this document instead of the shipped one.
    void useDefinition(const std::string& text) {
        const std::string path = root_ + "/definition.xml";
        std::ofstream(path) << text;
        setenv("VELMORA_TEST_DEFINITION_FILE", path.c_str(), 1);
    }

    std::string logText() const {
        std::ifstream in(root_ + "/log/velmora_plugin_log.txt");
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

  private:
    std::string root_;
};

// The shipped document with its log level raised, so that INFO and DEBUG lines can be checked.
inline std::string shippedDefinitionAtLevel(const std::string& level) {
    std::ifstream in(VELMORA_SHIPPED_DEFINITION);
    std::stringstream text;
    text << in.rdbuf();
    std::string document = text.str();
    const std::string attribute = "debug_level=\"error\"";
    const std::size_t at = document.find(attribute);
    if (at != std::string::npos) document.replace(at, attribute.size(), "debug_level=\"" + level + "\"");
    return document;
}

// A small definition document: the effect element with `attributes` added, holding `sections`,
// and an empty pipeline unless the sections bring one. Logs at debug level.
inline std::string testDefinition(const std::string& sections, const std::string& attributes = "") {
    std::string text =
        "<effect name=\"Test Effect\" category=\"Tests\" debug_level=\"debug\" " + attributes + ">";
    text += sections;
    if (sections.find("<pipeline") == std::string::npos) text += "<pipeline/>";
    return text + "</effect>";
}

// The identity of a profile ("resolve", "flame", "nuke", "fusion") or of an unknown host of that name.
inline vhost::HostIdentity hostIdentityFor(const std::string& hostName) {
    vhost::HostIdentity identity = vhost::HostIdentity::forName(hostName);
    identity.name = hostName == "resolve"  ? "DaVinciResolve"
                    : hostName == "flame"  ? "com.autodesk.flame"
                    : hostName == "nuke"   ? "uk.co.thefoundry.nuke"
                    : hostName == "fusion" ? "com.blackmagicdesign.Fusion"
                                           : hostName;
    return identity;
}

// One bundle loaded under a host identity and described in one context.
struct DescribedEffect {
    std::unique_ptr<vhost::Host> host;
    std::unique_ptr<vhost::PluginBinary> binary;
    std::unique_ptr<vhost::Effect> effect;

    // Unloads the plug-in, which also closes its log file.
    void unload() {
        effect.reset();
        binary.reset();
    }

    const vhost::ParamSet& params() const { return effect->params(); }
    const vhost::Param* param(const std::string& name) const { return effect->params().find(name); }
    std::vector<std::string> paramNames() const {
        std::vector<std::string> names;
        for (const auto& p : effect->params().params()) names.push_back(p->name());
        return names;
    }
    std::vector<std::string> clipNames() const {
        std::vector<std::string> names;
        for (const auto& c : effect->clips()) names.push_back(c->name());
        return names;
    }
    vhost::Clip* clip(const std::string& name) const {
        for (const auto& c : effect->clips())
            if (c->name() == name) return c.get();
        return nullptr;
    }
    std::string parentOf(const std::string& name) const {
        const vhost::Param* p = param(name);
        return p ? p->props().string(kOfxParamPropParent) : "<missing>";
    }
    std::vector<std::string> pageChildren(const std::string& page) const {
        const vhost::Param* p = param(page);
        return p ? p->props().strings(kOfxParamPropPageChild) : std::vector<std::string>{"<missing>"};
    }
    std::string stringProp(const std::string& name, const char* property) const {
        const vhost::Param* p = param(name);
        return p ? p->props().string(property) : "<missing>";
    }
};

// bundle: VELMORA_BUNDLE (the shipped plug-in) or VELMORA_TEST_BUNDLE (describes the document
// named by VELMORA_TEST_DEFINITION_FILE). hostName: a profile name or any other host name.
// adjust: changes to the host identity before the bundle loads.
inline DescribedEffect describeEffect(const std::string& bundle, const std::string& hostName,
                                      const std::string& context,
                                      const std::function<void(vhost::HostIdentity&)>& adjust = {}) {
    DescribedEffect d;
    vhost::HostIdentity identity = hostIdentityFor(hostName);
    if (adjust) adjust(identity);
    d.host = std::make_unique<vhost::Host>(identity);
    d.binary = std::make_unique<vhost::PluginBinary>(*d.host, bundle);
    d.effect = std::make_unique<vhost::Effect>(
        d.binary->plugins().at(0).describe(vhost::contextFromShortName(context)));
    return d;
}

}  // namespace velmora_test
