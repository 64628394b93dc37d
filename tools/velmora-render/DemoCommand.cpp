// demo [--out DIR] [--size WxH] [--bundle PATH] [--manual]: renders the built-in sample and writes
// the before and after images, or the manual's pictures.
#include <exception>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "BundleLocation.h"
#include "Command.h"
#include "DemoSample.h"
#include "EffectSession.h"
#include "ImageFiles.h"
#include "ManualPictures.h"

namespace {

const char kDemoUsage[] =
    "usage: velmora-render demo [--out DIR] [--size WxH] [--bundle PATH] [--manual]\n"
    "  Renders the built-in sample (a sign on a post over a textured, graded background) and writes\n"
    "  plate.png, mask.png, result.png and before-after.png into DIR (default: velmora-demo).\n"
    "  --manual writes the manual's pictures into DIR instead: the demo's before and after and, for\n"
    "  each main control, the sample rendered without and with it (640x360).\n";

}  // namespace

int runDemo(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::string folder = "velmora-demo", size;
    bool manual = false;
    SessionOptions options;
    options.bundle = defaultBundlePath();
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& word = args[i];
        if (word == "--help" || word == "-h") {
            out << kDemoUsage;
            return 0;
        }
        if (word == "--manual") {
            manual = true;
            continue;
        }
        std::string* target = word == "--out"      ? &folder
                              : word == "--size"   ? &size
                              : word == "--bundle" ? &options.bundle
                                                   : nullptr;
        if (!target || i + 1 >= args.size()) {
            err << "velmora-render demo: "
                << (target ? word + " needs a value" : "unexpected argument '" + word + "'") << "\n"
                << kDemoUsage;
            return 2;
        }
        *target = args[++i];
    }
    int width = 640, height = 360;
    if (!size.empty() && !parseSampleSize(size, &width, &height)) {
        err << "velmora-render demo: --size '" << size << "': expected WxH, each from 16 to 8192\n";
        return 2;
    }
    if (options.bundle.empty()) {
        err << "velmora-render demo: no velmora bundle found; give one with --bundle PATH\n";
        return 2;
    }
    if (manual) {
        if (!size.empty()) {
            err << "velmora-render demo: the manual's pictures have one size; leave out --size\n";
            return 2;
        }
        try {
            for (const std::string& path : writeManualPictures(folder, options))
                out << "Wrote " << path << "\n";
            return 0;
        } catch (const std::exception& e) {
            err << "velmora-render demo: " << e.what() << "\n";
            return 1;
        }
    }
    options.settings = demoSettings(width, height);

    try {
        std::filesystem::create_directories(folder);
        const DemoSample sample = makeDemoSample(width, height);
        EffectSession session(options);
        const vhost::ImagePtr result =
            session.render(1.0, FrameImages{sample.plate, sample.mask, nullptr}, 1.0, false);
        const std::filesystem::path dir(folder);
        imagefiles::writeImage((dir / "plate.png").string(), *sample.plate);
        imagefiles::writeImage((dir / "mask.png").string(), *sample.mask);
        imagefiles::writeImage((dir / "result.png").string(), *result);
        imagefiles::writeImage((dir / "before-after.png").string(), *sideBySide(*sample.plate, *result));
        out << "Rendered the demo sample (" << width << "x" << height << ") into " << dir.string() << "/:\n"
            << "  plate.png          the plate, with the object\n"
            << "  mask.png           the object's mask\n"
            << "  result.png         the plate with the object removed\n"
            << "  before-after.png   plate and result side by side\n"
            << "Settings (as velmora-render render options):\n";
        for (const std::string& setting : options.settings) out << "  --set " << setting << "\n";
        return 0;
    } catch (const std::exception& e) {
        err << "velmora-render demo: " << e.what() << "\n";
        return 1;
    }
}
