// Velmora against OpenCV on the same plate and hole, in one run: the plug-in rendering in memory
// through our host (the demo's settings and the plug-in's defaults), OpenCV's Telea and
// Navier-Stokes inpainting, and the blur/divide fill written with OpenCV's separable GaussianBlur.
// Each figure is the median of the frames; processor time (every thread) is beside the clock.
//
//   bench_peers [--size WxH] [--hole PERCENT] [--frames N] [--bundle PATH]

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/photo.hpp>
#include <string>
#include <vector>

#include "DemoSample.h"
#include "EffectSession.h"

namespace {

struct Timing {
    double median = 0.0, processor = 0.0;  // milliseconds per frame
};

double processorMilliseconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000.0 +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000.0;
}

// One warm-up run, then `frames` timed runs of `frame(i)`.
Timing measure(int frames, const std::function<void(int)>& frame) {
    frame(0);
    std::vector<double> times;
    const double before = processorMilliseconds();
    for (int i = 1; i <= frames; ++i) {
        const auto start = std::chrono::steady_clock::now();
        frame(i);
        times.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(times.begin(), times.end());
    Timing t;
    t.median = times.size() % 2 ? times[times.size() / 2]
                                : 0.5 * (times[times.size() / 2 - 1] + times[times.size() / 2]);
    t.processor = (processorMilliseconds() - before) / frames;
    return t;
}

// The plate as OpenCV images (top row first): float RGB and 8-bit BGR; the hole as an 8-bit mask
// (255 where the plug-in's mask rule sees anything of the object) and its float weight.
struct PeerImages {
    cv::Mat plateF, plate8, hole8, holeF;
    double share = 0.0;  // of the frame inside the hole
};

PeerImages peerImages(const vhost::Image& plate, const vhost::Image& mask) {
    const int w = plate.width(), h = plate.height();
    PeerImages p;
    p.plateF.create(h, w, CV_32FC3);
    p.plate8.create(h, w, CV_8UC3);
    p.hole8.create(h, w, CV_8UC1);
    p.holeF.create(h, w, CV_32FC1);
    long long inside = 0;
    for (int row = 0; row < h; ++row) {
        const int y = h - 1 - row;  // our images hold the bottom row first
        for (int x = 0; x < w; ++x) {
            const float* s = plate.pixel(x, y);
            const float* k = mask.pixel(x, y);
            const float lum = 0.2126f * k[0] + 0.7152f * k[1] + 0.0722f * k[2];
            const float m = std::clamp((lum - 0.05f) / 0.9f, 0.0f, 1.0f);
            p.plateF.at<cv::Vec3f>(row, x) = cv::Vec3f(s[0], s[1], s[2]);
            p.plate8.at<cv::Vec3b>(row, x) =
                cv::Vec3b(cv::saturate_cast<uchar>(s[2] * 255.0f), cv::saturate_cast<uchar>(s[1] * 255.0f),
                          cv::saturate_cast<uchar>(s[0] * 255.0f));
            p.hole8.at<uchar>(row, x) = m > 0.0f ? 255 : 0;
            p.holeF.at<float>(row, x) = m;
            inside += m > 0.0f ? 1 : 0;
        }
    }
    p.share = static_cast<double>(inside) / (static_cast<double>(w) * h);
    return p;
}

// The blur/divide fill over the whole frame: the plate weighted by the inverted mask and the
// weight blurred by the same Gaussian, divided, and mixed over the plate by the mask.
void blurDivide(const PeerImages& p, double sigma, cv::Mat& out) {
    cv::Mat keep = 1.0f - p.holeF, keep3, weighted, blurredPlate, blurredWeight, fill, mix3;
    cv::merge(std::vector<cv::Mat>{keep, keep, keep}, keep3);
    cv::multiply(p.plateF, keep3, weighted);
    cv::GaussianBlur(weighted, blurredPlate, cv::Size(0, 0), sigma, sigma, cv::BORDER_REFLECT);
    cv::GaussianBlur(keep, blurredWeight, cv::Size(0, 0), sigma, sigma, cv::BORDER_REFLECT);
    cv::Mat weight3;
    cv::merge(std::vector<cv::Mat>{blurredWeight, blurredWeight, blurredWeight}, weight3);
    cv::divide(blurredPlate, cv::max(weight3, 1e-4), fill);
    cv::merge(std::vector<cv::Mat>{p.holeF, p.holeF, p.holeF}, mix3);
    out = p.plateF.mul(keep3) + fill.mul(mix3);
}

void line(const char* what, const Timing& t) {
    std::printf("  %-44s %9.1f ms   (processor %.1f ms)\n", what, t.median, t.processor);
}

bool parseSize(const std::string& text, int* w, int* h) {
    return std::sscanf(text.c_str(), "%dx%d", w, h) == 2 && *w >= 16 && *h >= 16 && *w <= 8192 && *h <= 8192;
}

}  // namespace

int main(int argc, char** argv) {
    int width = 1920, height = 1080, frames = 7;
    double hole = -1.0;
    std::string bundle = VELMORA_BUNDLE;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string word = argv[i], value = argv[i + 1];
        if (word == "--size" && parseSize(value, &width, &height)) continue;
        if (word == "--hole" && (hole = std::atof(value.c_str())) >= 0.0 && hole <= 100.0) continue;
        if (word == "--frames" && (frames = std::atoi(value.c_str())) >= 1) continue;
        if (word == "--bundle") {
            bundle = value;
            continue;
        }
        std::fprintf(stderr,
                     "usage: bench_peers [--size WxH] [--hole PERCENT] [--frames N] [--bundle PATH]\n");
        return 2;
    }
    if (argc % 2 == 0) {
        std::fprintf(stderr,
                     "usage: bench_peers [--size WxH] [--hole PERCENT] [--frames N] [--bundle PATH]\n");
        return 2;
    }

    const DemoSample sample = makeDemoSample(width, height);
    FrameImages images{sample.plate, hole >= 0.0 ? holeMask(width, height, hole / 100.0) : sample.mask,
                       nullptr};
    const PeerImages peer = peerImages(*images.plate, *images.mask);
    std::printf("%dx%d, the demo sample%s: the hole covers %.2f%% of the frame; %d frames each, median\n",
                width, height, hole >= 0.0 ? " with a rectangular hole" : "", 100.0 * peer.share, frames);

    SessionOptions demo;
    demo.bundle = bundle;
    demo.backend = "cpu";
    demo.settings = demoSettings(width, height);
    SessionOptions defaults = demo;
    defaults.settings.clear();
    const std::vector<std::string>& settings = demo.settings;
    double blurAmount = 15.0;
    for (const std::string& s : settings)
        if (s.rfind("blur_amount=", 0) == 0) blurAmount = std::atof(s.c_str() + 12);

    try {
        EffectSession demoSession(demo), defaultSession(defaults);
        const Timing velmoraDemo = measure(frames, [&](int i) { demoSession.render(i, images, 1.0, true); });
        const Timing velmoraDefaults =
            measure(frames, [&](int i) { defaultSession.render(i, images, 1.0, true); });
        cv::Mat out;
        const Timing telea =
            measure(frames, [&](int) { cv::inpaint(peer.plate8, peer.hole8, out, 3, cv::INPAINT_TELEA); });
        const Timing ns =
            measure(frames, [&](int) { cv::inpaint(peer.plate8, peer.hole8, out, 3, cv::INPAINT_NS); });
        const Timing blur = measure(frames, [&](int) { blurDivide(peer, blurAmount / 3.0, out); });
        std::printf("  OpenCV %s, %d threads\n", CV_VERSION, cv::getNumThreads());
        line("Velmora, CPU backend, the demo's settings", velmoraDemo);
        line("Velmora, CPU backend, default settings", velmoraDefaults);
        line("OpenCV Telea inpainting (radius 3)", telea);
        line("OpenCV Navier-Stokes inpainting (radius 3)", ns);
        line("OpenCV GaussianBlur blur/divide (whole frame)", blur);
        std::printf(
            "  Velmora (demo settings) / Telea: %.2f;  Velmora (defaults) / Telea: %.2f;  "
            "Velmora (defaults) / GaussianBlur blur/divide: %.2f\n",
            velmoraDemo.median / telea.median, velmoraDefaults.median / telea.median,
            velmoraDefaults.median / blur.median);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_peers: %s\n", e.what());
        return 1;
    }
    return 0;
}
