// list [BUNDLE...]: the plug-ins in each bundle (by default the one beside the program), one
// "identifier major.minor" per line.
#include <ostream>

#include "BundleLocation.h"
#include "Command.h"
#include "Host.h"
#include "HostError.h"
#include "PluginBinary.h"

int runList(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    const char* usage =
        "usage: velmora-render list [BUNDLE...]\n  Prints each plug-in of each bundle (default: the velmora "
        "bundle beside the program) as identifier and version.\n";
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
        out << usage;
        return 0;
    }
    std::vector<std::string> bundles = args;
    if (bundles.empty()) bundles.push_back(defaultBundlePath());
    if (bundles.front().empty()) {
        err << "velmora-render list: no velmora bundle found beside the program; name one\n" << usage;
        return 2;
    }
    vhost::Host host;
    int failures = 0;
    for (const auto& bundle : bundles) {
        try {
            vhost::PluginBinary binary = host.load(bundle);
            for (const auto& plugin : binary.plugins())
                out << plugin.identifier() << " " << plugin.versionMajor() << "." << plugin.versionMinor()
                    << "\n";
        } catch (const vhost::HostError& e) {
            err << "velmora-render list: " << e.what() << "\n";
            ++failures;
        }
    }
    return failures == 0 ? 0 : 1;
}
