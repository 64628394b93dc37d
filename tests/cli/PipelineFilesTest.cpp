// velmora-render's files as a VFX pipeline hands them over: every format and depth round trips,
// and an output keeps what it does not render of its plate (metadata, windows, other channels and
// parts), checked with OpenImageIO's own reader.
#include <OpenImageIO/half.h>
#include <OpenImageIO/imageio.h>
#include <gtest/gtest.h>

#include <cstring>

#include "CliTestSupport.h"
#include "ImageFiles.h"

using imagefiles::readImage;
using imagefiles::writeImage;

namespace {

// A picture with values spread over 0..1, and an alpha that is partly transparent or opaque.
vhost::ImagePtr ramp(int width, int height, bool opaque) {
    auto image = std::make_shared<vhost::Image>(width, height);
    image->fillWith([&](int x, int y, float* p) {
        p[0] = static_cast<float>(x) / (width - 1);
        p[1] = static_cast<float>(y) / (height - 1);
        p[2] = 0.5f * p[0] + 0.25f;
        p[3] = opaque ? 1.0f : 0.25f + 0.75f * p[1];
    });
    return image;
}

std::unique_ptr<OIIO::ImageInput> openWithLibrary(const std::string& path) {
    auto input = OIIO::ImageInput::open(path);
    EXPECT_TRUE(input) << path << ": " << OIIO::geterror();
    return input;
}

// Writes an OpenEXR plate the way a renderer would: half RGBA over an overscan data window, a
// float Z and a 32-bit object id, the metadata of a shot, and a second part.
void writePlate(const std::string& path, int width, int height) {
    OIIO::ImageSpec rgba(width + 8, height + 4, 6, OIIO::TypeDesc::HALF);
    rgba.x = -4, rgba.y = -2, rgba.full_x = 0, rgba.full_y = 0, rgba.full_width = width,
    rgba.full_height = height;
    rgba.channelnames = {"R", "G", "B", "A", "Z", "id"};
    rgba.channelformats = {OIIO::TypeDesc::HALF, OIIO::TypeDesc::HALF,  OIIO::TypeDesc::HALF,
                           OIIO::TypeDesc::HALF, OIIO::TypeDesc::FLOAT, OIIO::TypeDesc::UINT};
    rgba.alpha_channel = 3;
    rgba.attribute("Copyright", "Orbalt VFX");
    rgba.attribute("ImageDescription", "plate 0420, take 3");
    const int rate[2] = {24000, 1001};
    rgba.attribute("FramesPerSecond", OIIO::TypeRational, rate);
    const unsigned timecode[2] = {0x01020304u, 0};
    rgba.attribute("smpte:TimeCode", OIIO::TypeTimeCode, timecode);
    rgba.attribute("oiio:subimagename", "rgba");
    OIIO::ImageSpec depth(width, height, 1, OIIO::TypeDesc::FLOAT);
    depth.channelnames = {"depth.Z"};
    depth.attribute("oiio:subimagename", "depth");
    const OIIO::ImageSpec specs[2] = {rgba, depth};
    auto out = OIIO::ImageOutput::create(path);
    ASSERT_TRUE(out->open(path, 2, specs)) << out->geterror();
    std::vector<unsigned char> pixels;
    for (int y = rgba.y; y < rgba.y + rgba.height; ++y)
        for (int x = rgba.x; x < rgba.x + rgba.width; ++x) {
            const half colour[4] = {half(0.2f + 0.01f * (x + 4)), half(0.3f + 0.01f * (y + 2)), half(0.4f),
                                    half(1.0f)};
            const float z = 100.0f + x + 1000.0f * y;
            const unsigned id = 16777217u + static_cast<unsigned>(x + 4);  // beyond a float's whole numbers
            const auto* c = reinterpret_cast<const unsigned char*>(colour);
            pixels.insert(pixels.end(), c, c + sizeof colour);
            pixels.insert(pixels.end(), reinterpret_cast<const unsigned char*>(&z),
                          reinterpret_cast<const unsigned char*>(&z) + 4);
            pixels.insert(pixels.end(), reinterpret_cast<const unsigned char*>(&id),
                          reinterpret_cast<const unsigned char*>(&id) + 4);
        }
    ASSERT_TRUE(out->write_image(OIIO::TypeUnknown, pixels.data())) << out->geterror();
    ASSERT_TRUE(out->open(path, depth, OIIO::ImageOutput::AppendSubimage)) << out->geterror();
    std::vector<float> z(static_cast<std::size_t>(width) * height);
    for (std::size_t i = 0; i < z.size(); ++i) z[i] = 0.5f * static_cast<float>(i);
    ASSERT_TRUE(out->write_image(OIIO::TypeFloat, z.data())) << out->geterror();
    ASSERT_TRUE(out->close());
}

// Every subimage's pixels in their own types, row by row.
std::vector<unsigned char> nativePixels(OIIO::ImageInput& input, int subimage) {
    const OIIO::ImageSpec spec = input.spec(subimage, 0);
    std::vector<unsigned char> pixels(spec.image_bytes(true));
    EXPECT_TRUE(input.read_image(subimage, 0, 0, spec.nchannels, OIIO::TypeUnknown, pixels.data()))
        << input.geterror();
    return pixels;
}

}  // namespace

// Each format at each depth velmora-render writes reads back within that depth's step, and the file
// holds that depth.
TEST(PipelineFiles, EveryFormatAndDepthRoundTrips) {
    TemporaryFolder dir;
    const vhost::ImagePtr image = ramp(37, 21, false), opaque = ramp(37, 21, true);
    struct Case {
        const char* name;
        const char* depth;
        bool opaque;  // an opaque picture is written without alpha
        OIIO::TypeDesc type;
        int bits;
        float step;
    } cases[] = {
        {"f.exr", "", false, OIIO::TypeDesc::FLOAT, 32, 0.0f},
        {"h.exr", "half", false, OIIO::TypeDesc::HALF, 16, 1e-3f},
        {"a.dpx", "", true, OIIO::TypeDesc::UINT16, 10, 1.0f / 1023},
        {"b.dpx", "16", false, OIIO::TypeDesc::UINT16, 16, 1.0f / 65535},
        {"a.tif", "", false, OIIO::TypeDesc::UINT16, 16, 1.0f / 65535},
        {"b.tif", "10", false, OIIO::TypeDesc::UINT16, 10, 1.0f / 1023},
        {"a.png", "", false, OIIO::TypeDesc::UINT8, 8, 1.0f / 255},
        {"b.png", "16", true, OIIO::TypeDesc::UINT16, 16, 1.0f / 65535},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        imagefiles::WriteOptions options;
        options.depth = c.depth;
        const vhost::Image& written = c.opaque ? *opaque : *image;
        writeImage(dir / c.name, written, options);
        // Within half a step of the depth (and the reader's own rounding of 10-bit levels).
        EXPECT_LE(maxDifference(*readImage(dir / c.name), written), c.step * 0.51f + 1e-6f);
        auto input = openWithLibrary(dir / c.name);
        ASSERT_TRUE(input);
        EXPECT_EQ(input->spec().format, c.type);
        if (c.type.basetype == OIIO::TypeDesc::UINT16) {
            EXPECT_EQ(input->spec().get_int_attribute("oiio:BitsPerSample", 16), c.bits);
        }
        EXPECT_EQ(input->spec().nchannels, c.opaque ? 3 : 4);
    }
    // JPEG is read, never written; a depth a format does not hold is refused.
    {
        OIIO::ImageSpec spec(8, 4, 3, OIIO::TypeDesc::UINT8);
        std::vector<unsigned char> grey(8 * 4 * 3, 128);
        auto out = OIIO::ImageOutput::create(dir / "photo.jpg");
        ASSERT_TRUE(out->open(dir / "photo.jpg", spec) &&
                    out->write_image(OIIO::TypeDesc::UINT8, grey.data()));
        out->close();
    }
    const vhost::ImagePtr photo = readImage(dir / "photo.jpg");
    EXPECT_EQ(photo->width(), 8);
    EXPECT_NEAR(photo->pixel(3, 2)[1], 128.0f / 255, 2.0f / 255);
    EXPECT_EQ(photo->pixel(3, 2)[3], 1.0f);
    EXPECT_THROW(writeImage(dir / "o.jpg", *image), imagefiles::ImageFileError);
    imagefiles::WriteOptions twelve;
    twelve.depth = "12";
    EXPECT_THROW(writeImage(dir / "o.png", *image, twelve), imagefiles::ImageFileError);
}

// What the effect does not render passes from the plate to the output unchanged.
TEST(PipelineFiles, TheOutputKeepsThePlatesMetadataWindowsChannelsAndParts) {
    TemporaryFolder dir;
    constexpr int kWidth = 48, kHeight = 32;
    writePlate(dir / "plate.exr", kWidth, kHeight);
    writeImage(dir / "mask.png", *rectangleMask(kWidth, kHeight, 18, 12, 30, 20));
    for (const char* depth : {"", "--half"}) {
        SCOPED_TRACE(depth);
        const CliResult r =
            runCli("render" + commonOptions() + " --plate " + quoted(dir / "plate.exr") + " --mask " +
                   quoted(dir / "mask.png") + " --out " + quoted(dir / "out.exr") + " " + depth);
        ASSERT_EQ(r.code, 0) << r.err;
        EXPECT_EQ(r.err, "");

        auto plate = openWithLibrary(dir / "plate.exr");
        auto out = openWithLibrary(dir / "out.exr");
        ASSERT_TRUE(plate && out);
        const OIIO::ImageSpec in = plate->spec(0, 0), kept = out->spec(0, 0);
        EXPECT_EQ(std::make_tuple(kept.x, kept.y, kept.width, kept.height),
                  std::make_tuple(in.x, in.y, in.width, in.height));
        EXPECT_EQ(std::make_tuple(kept.full_x, kept.full_y, kept.full_width, kept.full_height),
                  std::make_tuple(in.full_x, in.full_y, in.full_width, in.full_height));
        EXPECT_EQ(kept.channelnames, in.channelnames);
        const OIIO::TypeDesc colour = *depth ? OIIO::TypeDesc::HALF : OIIO::TypeDesc::FLOAT;
        for (int c = 0; c < 4; ++c) EXPECT_EQ(kept.channelformat(c), colour) << c;
        EXPECT_EQ(kept.channelformat(4), OIIO::TypeDesc::FLOAT);
        EXPECT_EQ(kept.channelformat(5), OIIO::TypeDesc::UINT);
        for (const char* name : {"Copyright", "ImageDescription", "FramesPerSecond", "smpte:TimeCode"}) {
            const OIIO::ParamValue* a = in.find_attribute(name);
            const OIIO::ParamValue* b = kept.find_attribute(name);
            ASSERT_TRUE(a && b) << name;
            EXPECT_EQ(a->type(), b->type()) << name;
            EXPECT_EQ(std::memcmp(a->data(), b->data(), a->type().size()), 0) << name;
        }

        // Z and the ids are the plate's, bit for bit; so is the colour beyond the display window and
        // outside the mask; inside the hole the colour is the fill.
        std::vector<float> inColour(static_cast<std::size_t>(in.width) * in.height * 4),
            outColour(static_cast<std::size_t>(in.width) * in.height * 4);
        std::vector<float> inZ(inColour.size() / 4), outZ(inZ.size());
        std::vector<unsigned> inId(inZ.size()), outId(inZ.size());
        ASSERT_TRUE(plate->read_image(0, 0, 0, 4, OIIO::TypeFloat, inColour.data()));
        ASSERT_TRUE(out->read_image(0, 0, 0, 4, OIIO::TypeFloat, outColour.data()));
        ASSERT_TRUE(plate->read_image(0, 0, 4, 5, OIIO::TypeFloat, inZ.data()));
        ASSERT_TRUE(out->read_image(0, 0, 4, 5, OIIO::TypeFloat, outZ.data()));
        ASSERT_TRUE(plate->read_image(0, 0, 5, 6, OIIO::TypeUInt, inId.data()));
        ASSERT_TRUE(out->read_image(0, 0, 5, 6, OIIO::TypeUInt, outId.data()));
        EXPECT_EQ(outZ, inZ);
        EXPECT_EQ(outId, inId);
        int changed = 0;
        for (int y = in.y; y < in.y + in.height; ++y)
            for (int x = in.x; x < in.x + in.width; ++x) {
                const std::size_t i = static_cast<std::size_t>((y - in.y) * in.width + (x - in.x)) * 4;
                const bool hole = x >= 18 && x < 30 && (kHeight - 1 - y) >= 12 && (kHeight - 1 - y) < 20;
                for (int c = 0; c < 4; ++c) {
                    if (hole) {
                        changed += outColour[i + c] != inColour[i + c];
                    } else {
                        ASSERT_EQ(outColour[i + c], inColour[i + c]) << x << "," << y << " channel " << c;
                    }
                }
            }
        EXPECT_GT(changed, 0);
        EXPECT_EQ(nativePixels(*out, 1), nativePixels(*plate, 1)) << "the second part";
        EXPECT_EQ(out->spec(1, 0).channelnames, plate->spec(1, 0).channelnames);
    }

    // A format that cannot hold all of it says what it leaves out, and writes the rest.
    const CliResult r = runCli("render" + commonOptions() + " --plate " + quoted(dir / "plate.exr") +
                               " --mask " + quoted(dir / "mask.png") + " --out " + quoted(dir / "out.png"));
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.err.find("note: " + dir / "out.png" + ": the plate's channels Z, id are not written"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("the plate's other part is not written"), std::string::npos) << r.err;
    auto png = openWithLibrary(dir / "out.png");
    ASSERT_TRUE(png);
    EXPECT_EQ(png->spec().width, kWidth);
    EXPECT_EQ(png->spec().get_string_attribute("Copyright"), "Orbalt VFX");
}

// DPX and TIFF plates keep their depth, time code and extra channels in an output of their format.
TEST(PipelineFiles, DpxAndTiffPlatesKeepTheirDepthAndMetadata) {
    TemporaryFolder dir;
    constexpr int kWidth = 40, kHeight = 24;
    writeImage(dir / "mask.png", *rectangleMask(kWidth, kHeight, 14, 8, 26, 16));
    const vhost::ImagePtr picture = gradientPlate(kWidth, kHeight);
    std::vector<float> rgb;
    for (int y = kHeight - 1; y >= 0; --y)
        for (int x = 0; x < kWidth; ++x)
            rgb.insert(rgb.end(), picture->pixel(x, y), picture->pixel(x, y) + 3);
    {
        OIIO::ImageSpec dpx(kWidth, kHeight, 3, OIIO::TypeDesc::UINT16);
        dpx.attribute("oiio:BitsPerSample", 10);
        const unsigned timecode[2] = {0x10203040u, 0};
        dpx.attribute("smpte:TimeCode", OIIO::TypeTimeCode, timecode);
        auto out = OIIO::ImageOutput::create(dir / "plate.dpx");
        ASSERT_TRUE(out->open(dir / "plate.dpx", dpx) && out->write_image(OIIO::TypeFloat, rgb.data()));
        out->close();
    }
    {
        OIIO::ImageSpec tif(kWidth, kHeight, 4, OIIO::TypeDesc::UINT8);
        tif.channelnames = {"R", "G", "B", "matte"};
        tif.attribute("Artist", "plate photographer");
        std::vector<float> rgbm;
        for (std::size_t i = 0; i < rgb.size(); i += 3)
            rgbm.insert(rgbm.end(), {rgb[i], rgb[i + 1], rgb[i + 2], 0.6f});
        auto out = OIIO::ImageOutput::create(dir / "plate.tif");
        ASSERT_TRUE(out->open(dir / "plate.tif", tif) && out->write_image(OIIO::TypeFloat, rgbm.data()));
        out->close();
    }
    for (const char* ext : {"dpx", "tif"}) {
        SCOPED_TRACE(ext);
        const std::string plate = dir / (std::string("plate.") + ext),
                          out = dir / (std::string("out.") + ext);
        const CliResult r = runCli("render" + commonOptions() + " --plate " + quoted(plate) + " --mask " +
                                   quoted(dir / "mask.png") + " --out " + quoted(out));
        ASSERT_EQ(r.code, 0) << r.err;
        auto in = openWithLibrary(plate), written = openWithLibrary(out);
        ASSERT_TRUE(in && written);
        EXPECT_EQ(written->spec().format, in->spec().format);
        EXPECT_EQ(written->spec().get_int_attribute("oiio:BitsPerSample"),
                  in->spec().get_int_attribute("oiio:BitsPerSample"));
        EXPECT_EQ(written->spec().nchannels, in->spec().nchannels) << "no alpha added, extra channels kept";
        EXPECT_LE(maxDifference(*readImage(out), *readImage(plate)), 0.5f) << "the same picture";
    }
    auto dpx = openWithLibrary(dir / "out.dpx");
    EXPECT_EQ(dpx->spec().get_string_attribute("dpx:TimeCode"),
              openWithLibrary(dir / "plate.dpx")->spec().get_string_attribute("dpx:TimeCode"));
    auto tif = openWithLibrary(dir / "out.tif");
    EXPECT_EQ(tif->spec().get_string_attribute("Artist"), "plate photographer");
    std::vector<float> matte(kWidth * kHeight);
    ASSERT_TRUE(tif->read_image(0, 0, 3, 4, OIIO::TypeFloat, matte.data()));
    EXPECT_NEAR(matte[5], 0.6f, 0.5f / 255);
}

// Colour spaces are converted only when named: the plate's into the linear space the effect works
// in, and back (or into the output's own).
TEST(PipelineFiles, ColourSpacesAreConvertedWhenNamed) {
    TemporaryFolder dir;
    constexpr int kWidth = 32, kHeight = 16;
    auto grey = std::make_shared<vhost::Image>(kWidth, kHeight);
    grey->fill(0.5f, 0.5f, 0.5f, 1.0f);
    writeImage(dir / "plate.exr", *grey);
    writeImage(dir / "mask.png", *rectangleMask(kWidth, kHeight, 12, 4, 20, 12));
    auto render = [&](const std::string& out, const std::string& options) {
        return runCli("render" + commonOptions() + " --plate " + quoted(dir / "plate.exr") + " --mask " +
                      quoted(dir / "mask.png") + " --out " + quoted(dir / out) + " " + options);
    };
    ASSERT_EQ(render("same.exr", "--colorspace-in sRGB").code, 0);
    ASSERT_EQ(render("linear.exr", "--colorspace-in sRGB --colorspace-out linear").code, 0);
    ASSERT_EQ(render("stored.exr", "").code, 0);
    // sRGB 0.5 is 0.214 in linear light; outside the hole a round trip gives the plate back.
    EXPECT_NEAR(readImage(dir / "linear.exr")->pixel(2, 2)[0], 0.2140f, 1e-3);
    EXPECT_EQ(readImage(dir / "linear.exr")->pixel(2, 2)[3], 1.0f);
    EXPECT_NEAR(readImage(dir / "same.exr")->pixel(2, 2)[0], 0.5f, 1e-5);
    EXPECT_EQ(readImage(dir / "stored.exr")->pixel(2, 2)[0], 0.5f);
    const CliResult bad = render("bad.exr", "--colorspace-in NoSuchSpace");
    EXPECT_EQ(bad.code, 2);
    EXPECT_NE(bad.err.find("'NoSuchSpace' is not a colour space of the OpenColorIO configuration ("),
              std::string::npos)
        << bad.err;
    EXPECT_NE(bad.err.find("sRGB"), std::string::npos) << bad.err;
}
