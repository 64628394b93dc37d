// list BUNDLE...: the plug-ins in each bundle, one "identifier major.minor" per line.
#include <ostream>

#include "Command.h"
#include "Host.h"
#include "HostError.h"
#include "PluginBinary.h"

int runList(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.empty()) {
        err << "velmora-render list: no bundle given\nusage: velmora-render list BUNDLE...\n";
        return 2;
    }
    vhost::Host host;
    int failures = 0;
    for (const auto& bundle : args) {
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
