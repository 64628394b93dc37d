// velmora-render: drives OpenFX plug-ins through our own host.
#include <clocale>
#include <iostream>
#include <string>
#include <vector>

#include "BundleLocation.h"
#include "Command.h"
#include "Host.h"
#include "PluginBinary.h"
#include "PresetCommands.h"
#include "Temporaries.h"

namespace {

const Command kCommands[] = {
    {"list", "list [BUNDLE...]", runList},
    {"describe", "describe [BUNDLE] [--host NAME] [--context filter|general|transition]", runDescribe},
    {"params", "params [--host NAME] [--json] [--bundle PATH]", runParams},
    {"presets", "presets [--bundle PATH]", runPresets},
    {"render", "render --plate FILE --mask FILE [--matte FILE] --out FILE [options] (render --help)",
     runRender},
    {"save-preset", "save-preset NAME [--set name=value ...] [--bundle PATH]", runSavePresetCommand},
    {"demo", "demo [--out DIR] [--size WxH] [--bundle PATH] [--manual]", runDemo},
    {"compare", "compare A B [--tolerance T]", runCompare},
    {"bench", "bench [--size WxH] [--frames N] [--hole PERCENT] [--set ...] [--plate FILE --mask FILE]",
     runBench},
    {"overlay", "overlay --bundle PATH --out FILE [options] (overlay --help)", runOverlay},
    {"analyze", "analyze AUDIO... [--analyze-stems] [--incremental]", runAnalyze},
    {"analysis", "analysis FILE [--at SECONDS]", runAnalysis},
};

void usage(std::ostream& err) {
    err << "usage: velmora-render COMMAND [ARGS]   (velmora-render --version; COMMAND --help)\ncommands:\n";
    for (const auto& c : kCommands) err << "  " << c.usage << "\n";
}

// The program's version and the plug-in it renders with by default.
int version(std::ostream& out) {
    out << "velmora-render " << VELMORA_RENDER_VERSION << "\n";
    const std::string bundle = defaultBundlePath();
    if (bundle.empty()) {
        out << "plug-in: no velmora bundle beside the program (render --bundle PATH names one)\n";
        return 0;
    }
    try {
        vhost::Host host;
        const vhost::PluginBinary binary = host.load(bundle);
        for (const auto& plugin : binary.plugins())
            out << "plug-in: " << plugin.identifier() << " " << plugin.versionMajor() << "."
                << plugin.versionMinor() << " in " << bundle << "\n";
    } catch (const std::exception& e) {
        out << "plug-in: " << bundle << " does not load (" << e.what() << ")\n";
    }
    return 0;
}

}  // namespace

int runSavePresetCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    return presetcmd::runSavePreset(args, defaultBundlePath(), out, err);
}

int main(int argc, char** argv) {
    // The user's locale, as hosts take it: the plug-in must read and write numbers the same in it.
    std::setlocale(LC_ALL, "");
    if (argc < 2) {
        usage(std::cerr);
        return 2;
    }
    const std::string name = argv[1];
    if (name == "--help" || name == "-h" || name == "help") {
        usage(std::cout);
        return 0;
    }
    if (name == "--version" || name == "-V" || name == "version") return version(std::cout);
    temporaries::removeOnInterrupt();
    std::vector<std::string> args(argv + 2, argv + argc);
    for (const auto& c : kCommands)
        if (name == c.name) return c.run(args, std::cout, std::cerr);
    std::cerr << "velmora-render: unknown command '" << name << "'\n";
    usage(std::cerr);
    return 2;
}
