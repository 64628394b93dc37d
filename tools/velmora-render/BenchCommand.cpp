// bench [--size WxH] [--frames N] [--hole PERCENT] [--set ...] [--plate FILE --mask FILE]: renders in
// memory through the plug-in and prints the median time per frame.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <exception>
#include <iomanip>
#include <ostream>
#include <string>
#include <vector>

#include "BundleLocation.h"
#include "Command.h"
#include "DemoSample.h"
#include "EffectSession.h"
#include "ImageFiles.h"
#include "params/NumberText.h"

#if !defined(_WIN32)
#include <sys/resource.h>
#endif

namespace {

const char kBenchUsage[] =
    "usage: velmora-render bench [--size WxH] [--frames N] [--hole PERCENT] [--set NAME=VALUE ...]\n"
    "                            [--preset NAME] [--plate FILE --mask FILE] [--backend cpu|cuda]\n"
    "                            [--host NAME] [--bundle PATH]\n"
    "  Renders frames in memory through the plug-in (no files are written) and prints the median\n"
    "  milliseconds per frame, after one frame that is not counted. By default it renders the built-in\n"
    "  demo sample at 1920x1080 with the demo's settings.\n"
    "  --size WxH          the sample's size (16 to 8192 a side)\n"
    "  --frames N          frames to time (default 10); each is rendered at its own time\n"
    "  --hole PERCENT      the sample's object replaced by a soft-edged hole covering PERCENT of the\n"
    "                      frame (0 to 100)\n"
    "  --plate, --mask     images to render instead of the sample (.exr or .png)\n"
    "  --set, --preset     parameter values, after the demo's settings (or alone with --plate)\n";

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : 0.5 * (values[n / 2 - 1] + values[n / 2]);
}

// The processor time the process has used so far (every thread), in milliseconds; negative where
// the system does not say.
double processorMilliseconds() {
#if !defined(_WIN32)
    rusage usage{};
    if (getrusage(RUSAGE_SELF, &usage) == 0)
        return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000.0 +
               (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000.0;
#endif
    return -1.0;
}

// The process's largest resident memory so far, in MiB; negative where the system does not say.
double peakMemoryMiB() {
#if defined(__linux__)
    rusage usage{};
    if (getrusage(RUSAGE_SELF, &usage) == 0) return static_cast<double>(usage.ru_maxrss) / 1024.0;  // KiB
#elif defined(__APPLE__)
    rusage usage{};
    if (getrusage(RUSAGE_SELF, &usage) == 0)
        return static_cast<double>(usage.ru_maxrss) / 1048576.0;  // bytes
#endif
    return -1.0;
}

}  // namespace

int runBench(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::string size, frames = "10", hole, plateFile, maskFile;
    SessionOptions options;
    options.bundle = defaultBundlePath();
    std::vector<std::string> settings;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& word = args[i];
        if (word == "--help" || word == "-h") {
            out << kBenchUsage;
            return 0;
        }
        std::string* target = word == "--size"      ? &size
                              : word == "--frames"  ? &frames
                              : word == "--hole"    ? &hole
                              : word == "--plate"   ? &plateFile
                              : word == "--mask"    ? &maskFile
                              : word == "--preset"  ? &options.preset
                              : word == "--backend" ? &options.backend
                              : word == "--host"    ? &options.hostName
                              : word == "--bundle"  ? &options.bundle
                                                    : nullptr;
        const bool isSet = word == "--set";
        if ((!target && !isSet) || i + 1 >= args.size()) {
            err << "velmora-render bench: "
                << (target || isSet ? word + " needs a value" : "unexpected argument '" + word + "'") << "\n"
                << kBenchUsage;
            return 2;
        }
        if (isSet) {
            settings.push_back(args[++i]);
        } else {
            *target = args[++i];
        }
    }
    const auto fail = [&](const std::string& message) {
        err << "velmora-render bench: " << message << "\n";
        return 2;
    };
    int count = 0;
    {
        double value = 0.0;
        if (numbertext::parseDouble(frames, value) != numbertext::ParseStatus::Ok || !(value >= 1.0) ||
            value > 100000.0 || value != std::floor(value))
            return fail("--frames '" + frames + "': expected a whole number from 1 to 100000");
        count = static_cast<int>(value);
    }
    double holePercent = -1.0;
    if (!hole.empty() && (numbertext::parseDouble(hole, holePercent) != numbertext::ParseStatus::Ok ||
                          !(holePercent >= 0.0 && holePercent <= 100.0)))
        return fail("--hole '" + hole + "': expected a percentage from 0 to 100");
    const bool files = !plateFile.empty() || !maskFile.empty();
    if (files && (plateFile.empty() || maskFile.empty())) return fail("--plate and --mask go together");
    if (files && (!size.empty() || !hole.empty()))
        return fail("--size and --hole apply to the sample, not to files");
    int width = 1920, height = 1080;
    if (!size.empty() && !parseSampleSize(size, &width, &height))
        return fail("--size '" + size + "': expected WxH, each from 16 to 8192");
    if (options.bundle.empty()) return fail("no velmora bundle found; give one with --bundle PATH");

    try {
        FrameImages images;
        std::string what;
        if (files) {
            images.plate = imagefiles::readImage(plateFile);
            images.mask = imagefiles::readImage(maskFile);
            if (images.mask->width() != images.plate->width() ||
                images.mask->height() != images.plate->height())
                return fail("the mask must have the plate's size");
            what = plateFile;
            options.settings = settings;
        } else {
            const DemoSample sample = makeDemoSample(width, height);
            images.plate = sample.plate;
            images.mask = holePercent >= 0.0 ? holeMask(width, height, holePercent / 100.0) : sample.mask;
            what = holePercent >= 0.0 ? "the demo sample with a " + hole + "% hole" : "the demo sample";
            options.settings = demoSettings(width, height);
            options.settings.insert(options.settings.end(), settings.begin(), settings.end());
        }
        EffectSession session(options);
        // One frame first: buffers and textures are made for the size, as in any sequence.
        session.render(0.0, images, 1.0, true);
        std::vector<double> times;
        const double processorBefore = processorMilliseconds();
        for (int frame = 1; frame <= count; ++frame) {
            const auto start = std::chrono::steady_clock::now();
            session.render(static_cast<double>(frame), images, 1.0, true);
            times.push_back(
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
        }
        const double processor = (processorMilliseconds() - processorBefore) / count;
        const double peak = peakMemoryMiB();
        out << std::fixed << std::setprecision(1) << "velmora-render bench: " << images.plate->width() << "x"
            << images.plate->height() << ", " << what << ", " << count << (count == 1 ? " frame" : " frames")
            << (options.backend.empty() ? "" : ", backend " + options.backend) << "\n"
            << "median " << median(times) << " ms per frame (fastest "
            << *std::min_element(times.begin(), times.end()) << ", slowest "
            << *std::max_element(times.begin(), times.end()) << ")";
        // Processor time per frame, all threads together: steadier than the clock on a busy machine.
        if (processorBefore >= 0.0) out << ", processor " << processor << " ms per frame";
        if (peak >= 0.0) out << ", peak memory " << std::setprecision(0) << peak << " MiB";
        out << "\n";
        return 0;
    } catch (const std::exception& e) {
        err << "velmora-render bench: " << e.what() << "\n";
        return 1;
    }
}
