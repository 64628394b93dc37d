#include "ManualPictures.h"

#include <algorithm>
#include <filesystem>

#include "DemoSample.h"
#include "EffectSession.h"
#include "ImageFiles.h"

namespace {

constexpr int kWidth = 640, kHeight = 360;

// A part of the picture, from the top left, enlarged `zoom` times (each pixel repeated).
struct Region {
    int x = 0, top = 0, width = kWidth, height = kHeight, zoom = 1;
};

const Region kWholeFrame{};
const Region kSign{250, 50, 240, 280, 1};           // the sign and its post
const Region kPostInGround{311, 200, 120, 120, 2};  // the post's lower half, in the ground
const Region kPostFoot{331, 250, 80, 60, 3};        // where the post stood

struct Picture {
    const char* file;
    Region region;
    std::vector<std::string> before, after;  // settings; an empty list on the left shows the plate
};

std::vector<std::string> plus(std::vector<std::string> settings, const std::vector<std::string>& more) {
    settings.insert(settings.end(), more.begin(), more.end());
    return settings;
}

std::vector<Picture> pictures() {
    const std::vector<std::string> demo = demoSettings(kWidth, kHeight);
    const std::vector<std::string> mask = {"mask_grow=4", "mask_blur=6"};
    const std::vector<std::string> wide = plus(mask, {"blur_amount=60"});
    const std::vector<std::string> small = plus(mask, {"blur_amount=25"});
    // The demo's fill without the borrowed detail.
    std::vector<std::string> directional;
    for (const std::string& s : demo)
        if (s.rfind("retexture", 0) != 0) directional.push_back(s);
    return {
        {"velmora-demo.png", kWholeFrame, {}, demo},
        {"control-amount.png", kSign, small, wide},
        {"control-highlight-unfilled.png", kSign, small, plus(small, {"show_unfilled=on"})},
        {"control-directional.png", kSign, wide, directional},
        {"control-post-blur.png", kSign, wide, plus(wide, {"post_blur_enable=on", "post_blur_amount=50"})},
        {"control-retexture.png", kPostInGround, directional, demo},
        {"control-grain.png", kPostFoot, demo,
         plus(demo, {"grain_enable=on", "grain_amount=1", "grain_chromatic=0.3"})},
    };
}

vhost::ImagePtr cut(const vhost::Image& image, const Region& r) {
    auto part = std::make_shared<vhost::Image>(r.width * r.zoom, r.height * r.zoom);
    part->fillWith([&](int x, int y, float* p) {
        // Images hold the bottom row first.
        const int fromTop = (part->height() - 1 - y) / r.zoom;
        const float* q = image.pixel(r.x + x / r.zoom, image.height() - 1 - (r.top + fromTop));
        std::copy(q, q + 4, p);
    });
    return part;
}

}  // namespace

std::vector<std::string> writeManualPictures(const std::string& folder, const SessionOptions& base) {
    const DemoSample sample = makeDemoSample(kWidth, kHeight);
    std::filesystem::create_directories(folder);
    auto render = [&](const std::vector<std::string>& settings) {
        if (settings.empty()) return sample.plate;
        SessionOptions options = base;
        options.settings = settings;
        EffectSession session(options);
        const vhost::ImagePtr result =
            session.render(1.0, FrameImages{sample.plate, sample.mask, nullptr}, 1.0, false);
        return cut(*result, kWholeFrame);  // a copy: the session's output goes with it
    };
    std::vector<std::string> written;
    for (const Picture& picture : pictures()) {
        const vhost::ImagePtr pair = sideBySide(*cut(*render(picture.before), picture.region),
                                                *cut(*render(picture.after), picture.region));
        const std::string path = (std::filesystem::path(folder) / picture.file).string();
        imagefiles::writeImage(path, *pair);
        written.push_back(path);
    }
    return written;
}
