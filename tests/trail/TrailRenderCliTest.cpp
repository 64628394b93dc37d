// velmora-render with the trail bundle: a numbered sequence rendered frame by frame keeps the
// accumulated trail from one frame to the next, as a person looking at the frames sees it.
#include "CliTestSupport.h"
#include "ImageFiles.h"

namespace {

vhost::ImagePtr movingDot(int width, int height, int frame) {
    auto image = std::make_shared<vhost::Image>(width, height);
    image->fillWith([&](int x, int y, float* p) {
        const int left = 4 + 6 * frame;
        const float v = x >= left && x < left + 3 && y >= 20 && y < 23 ? 1.0f : 0.0f;
        p[0] = p[1] = p[2] = v;
        p[3] = 1.0f;
    });
    return image;
}

}  // namespace

TEST(TrailRenderCli, ASequenceKeepsTheTrailFromFrameToFrame) {
    TemporaryFolder dir;
    const int width = 64, height = 48, frames = 8;
    for (int frame = 0; frame < frames; ++frame) {
        char name[32];
        std::snprintf(name, sizeof name, "plate.%04d.png", frame);
        imagefiles::writeImage(dir / name, *movingDot(width, height, frame));
    }
    const std::string bundle = std::string(" --bundle '") + VELMORA_TRAIL_BUNDLE + "' --backend cpu";
    const std::string plate = " --plate " + quoted(dir / "plate.%04d.png");
    CliResult r = runCli("render" + bundle + plate + " --out " + quoted(dir / "out.%04d.exr") +
                         " --frames 0-7" + " --set echo_amount=0");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("Rendered 8 frames (64x48)"), std::string::npos) << r.out;

    const vhost::ImagePtr last = imagefiles::readImage(dir / "out.0007.exr");
    float level = 1.0f;
    for (int age = 0; age < frames; ++age, level *= 0.8f) {
        const int x = 4 + 6 * (frames - 1 - age) + 1;
        EXPECT_NEAR(last->pixel(x, 21)[0], level, 1e-6) << "the dot of frame " << frames - 1 - age;
    }
    EXPECT_EQ(last->pixel(2, 21)[0], 0.0f);

    // The trail effect has no mask input to give.
    r = runCli("render" + bundle + plate + " --mask " + quoted(dir / "plate.0000.png") + " --out " +
               quoted(dir / "m.png") + " --frames 0");
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("--mask: the effect has no Mask_Shape input"), std::string::npos) << r.err;
}
