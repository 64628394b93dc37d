// velmora-render: drives OpenFX plug-ins through our own host.
#include <clocale>
#include <iostream>
#include <string>
#include <vector>

#include "BundleLocation.h"
#include "Command.h"
#include "PresetCommands.h"
#include "Temporaries.h"

namespace {

const Command kCommands[] = {
    {"list", "list BUNDLE...", runList},
    {"describe", "describe BUNDLE [--host NAME] [--context filter|general|transition]", runDescribe},
    {"render", "render --plate FILE --mask FILE [--matte FILE] --out FILE [options] (render --help)",
     runRender},
    {"save-preset", "save-preset NAME [--set name=value ...] [--bundle PATH]", runSavePresetCommand},
    {"demo", "demo [--out DIR] [--size WxH] [--bundle PATH]", runDemo},
    {"compare", "compare A B [--tolerance T]", runCompare},
    {"overlay", "overlay --bundle PATH --out FILE [options] (overlay --help)", runOverlay},
    {"analyze", "analyze AUDIO... [--analyze-stems] [--incremental]", runAnalyze},
    {"analysis", "analysis FILE [--at SECONDS]", runAnalysis},
};

void usage(std::ostream& err) {
    err << "usage: velmora-render COMMAND [ARGS]\ncommands:\n";
    for (const auto& c : kCommands) err << "  " << c.usage << "\n";
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
    temporaries::removeOnInterrupt();
    std::vector<std::string> args(argv + 2, argv + argc);
    for (const auto& c : kCommands)
        if (name == c.name) return c.run(args, std::cout, std::cerr);
    std::cerr << "velmora-render: unknown command '" << name << "'\n";
    usage(std::cerr);
    return 2;
}
