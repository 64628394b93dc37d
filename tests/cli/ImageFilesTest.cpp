// EXR and PNG files: orientation against the libraries' own readers and writers, the sample
// layouts a reader meets, float precision, proxy scaling and the errors a user sees.
#include <ImfRgbaFile.h>
#include <gtest/gtest.h>
#include <png.h>
#include <sys/stat.h>
#include <zlib.h>

#include <fstream>
#include <vector>

#include "CliTestSupport.h"
#include "ImageFiles.h"
#include "ProxyScale.h"

using imagefiles::ImageFileError;
using imagefiles::readImage;
using imagefiles::writeImage;

namespace {

// Red bottom row, blue above it (image coordinates: y = 0 is the bottom).
vhost::ImagePtr redBottomRow() {
    auto image = std::make_shared<vhost::Image>(3, 4);
    image->fillWith([](int, int y, float* p) {
        p[0] = y == 0 ? 1.0f : 0.0f;
        p[1] = 0.0f;
        p[2] = y == 0 ? 0.0f : 1.0f;
        p[3] = 1.0f;
    });
    return image;
}

void writeText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

TEST(ImageFiles, FilesHoldTheTopRowFirst) {
    TemporaryFolder dir;
    const vhost::ImagePtr image = redBottomRow();
    writeImage(dir / "o.png", *image);
    writeImage(dir / "o.exr", *image);

    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_file(&png, (dir / "o.png").c_str())) << png.message;
    png.format = PNG_FORMAT_RGBA;
    std::vector<unsigned char> bytes(PNG_IMAGE_SIZE(png));
    ASSERT_TRUE(png_image_finish_read(&png, nullptr, bytes.data(), 0, nullptr)) << png.message;
    EXPECT_EQ(bytes[2], 255) << "top row is blue";
    EXPECT_EQ(bytes[3 * 4 * 3 + 0], 255) << "last row in the file is red";

    Imf::RgbaInputFile exr((dir / "o.exr").c_str());
    std::vector<Imf::Rgba> pixels(12);
    exr.setFrameBuffer(pixels.data(), 1, 3);
    exr.readPixels(0, 3);
    EXPECT_EQ(float(pixels[0].b), 1.0f);
    EXPECT_EQ(float(pixels[9].r), 1.0f);

    for (const char* name : {"o.png", "o.exr"})
        EXPECT_EQ(maxDifference(*readImage(dir / name), *image), 0.0f) << name;
}

TEST(ImageFiles, ExrKeepsFloatValuesAndReadsPartialChannelSets) {
    TemporaryFolder dir;
    auto image = std::make_shared<vhost::Image>(5, 3);
    image->fillWith([](int x, int y, float* p) {
        p[0] = -0.5f + x * 1.25f;
        p[1] = 1e-7f * (y + 1);
        p[2] = 37.75f;
        p[3] = 0.25f * y;
    });
    writeImage(dir / "f.exr", *image);
    EXPECT_EQ(maxDifference(*readImage(dir / "f.exr"), *image), 0.0f);

    // Luminance only, written through the library's RGBA interface: grey, opaque.
    {
        Imf::RgbaOutputFile grey((dir / "y.exr").c_str(), 2, 1, Imf::WRITE_Y);
        std::vector<Imf::Rgba> pixels = {Imf::Rgba(0.5f, 0.5f, 0.5f, 1.0f),
                                         Imf::Rgba(2.0f, 2.0f, 2.0f, 1.0f)};
        grey.setFrameBuffer(pixels.data(), 1, 2);
        grey.writePixels(1);
    }
    // Luminance with subsampled chroma, which the OpenEXR library turns back into colour.
    {
        Imf::RgbaOutputFile yc((dir / "yc.exr").c_str(), 4, 2, Imf::WRITE_YCA);
        std::vector<Imf::Rgba> pixels(8, Imf::Rgba(0.8f, 0.3f, 0.1f, 0.5f));
        yc.setFrameBuffer(pixels.data(), 1, 4);
        yc.writePixels(2);
    }
    const vhost::ImagePtr colour = readImage(dir / "yc.exr");
    ASSERT_EQ(colour->width(), 4);
    EXPECT_NEAR(colour->pixel(1, 1)[0], 0.8f, 0.02f);
    EXPECT_NEAR(colour->pixel(1, 1)[2], 0.1f, 0.02f);
    EXPECT_NEAR(colour->pixel(1, 1)[3], 0.5f, 1e-3f);

    const vhost::ImagePtr grey = readImage(dir / "y.exr");
    ASSERT_EQ(grey->width(), 2);
    EXPECT_NEAR(grey->pixel(1, 0)[0], 2.0f, 1e-3);
    EXPECT_EQ(grey->pixel(1, 0)[0], grey->pixel(1, 0)[2]);
    EXPECT_EQ(grey->pixel(1, 0)[3], 1.0f);
}

// The display window is the picture; the data window's pixels land where they belong in it, parts
// outside it are dropped and what it leaves uncovered is 0 in every channel. A mask cropped to its
// object's box then lines up with the full-frame plate.
TEST(ImageFiles, ExrDataWindowsArePlacedInTheDisplayWindow) {
    TemporaryFolder dir;
    const Imath::Box2i display(Imath::V2i(0, 0), Imath::V2i(5, 3));  // 6x4, y down in the file
    struct Case {
        const char* name;
        Imath::Box2i data;
    } cases[] = {
        {"inside.exr", Imath::Box2i(Imath::V2i(2, 1), Imath::V2i(3, 2))},
        {"across.exr", Imath::Box2i(Imath::V2i(-3, -2), Imath::V2i(1, 0))},
        {"beyond.exr", Imath::Box2i(Imath::V2i(4, 2), Imath::V2i(9, 7))},
        {"outside.exr", Imath::Box2i(Imath::V2i(20, 20), Imath::V2i(21, 21))},
    };
    for (const auto& c : cases) {
        const int w = c.data.max.x - c.data.min.x + 1, h = c.data.max.y - c.data.min.y + 1;
        std::vector<Imf::Rgba> pixels;  // R = file x, G = file y, opaque
        for (int y = c.data.min.y; y <= c.data.max.y; ++y)
            for (int x = c.data.min.x; x <= c.data.max.x; ++x) pixels.emplace_back(x, y, 0.5f, 1.0f);
        {
            Imf::RgbaOutputFile file((dir / c.name).c_str(), Imf::Header(display, c.data), Imf::WRITE_RGBA);
            file.setFrameBuffer(pixels.data() - c.data.min.x - static_cast<std::ptrdiff_t>(c.data.min.y) * w,
                                1, w);
            file.writePixels(h);
        }
        const vhost::ImagePtr image = readImage(dir / c.name);
        ASSERT_EQ(image->width(), 6) << c.name;
        ASSERT_EQ(image->height(), 4) << c.name;
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 6; ++x) {
                const float* p = image->pixel(x, 3 - y);  // file row y is image row 3 - y
                if (c.data.intersects(Imath::V2i(x, y))) {
                    EXPECT_EQ(p[0], float(x)) << c.name << " " << x << "," << y;
                    EXPECT_EQ(p[1], float(y)) << c.name << " " << x << "," << y;
                    EXPECT_EQ(p[3], 1.0f) << c.name << " " << x << "," << y;
                } else {
                    EXPECT_TRUE(p[0] == 0 && p[1] == 0 && p[2] == 0 && p[3] == 0)
                        << c.name << " " << x << "," << y;
                }
            }
    }
}

TEST(ImageFiles, PngLayoutsBecomeFloatRgba) {
    TemporaryFolder dir;
    struct Case {
        const char* name;
        png_uint_32 format;
        std::vector<unsigned char> bytes;  // one pixel
        float rgba[4];
    } cases[] = {
        {"grey", PNG_FORMAT_GRAY, {51}, {0.2f, 0.2f, 0.2f, 1.0f}},
        {"grey-alpha", PNG_FORMAT_GA, {255, 102}, {1.0f, 1.0f, 1.0f, 0.4f}},
        {"rgb", PNG_FORMAT_RGB, {255, 0, 51}, {1.0f, 0.0f, 0.2f, 1.0f}},
        {"rgba", PNG_FORMAT_RGBA, {0, 255, 0, 0}, {0.0f, 1.0f, 0.0f, 0.0f}},
        // 16 bits a sample, stored as written: 0x3333 / 0xffff = 0.2
        {"rgb16", PNG_FORMAT_LINEAR_RGB, {0x33, 0x33, 0xff, 0xff, 0, 0}, {0.2f, 1.0f, 0.0f, 1.0f}},
    };
    for (const auto& c : cases) {
        png_image png{};
        png.version = PNG_IMAGE_VERSION;
        png.width = png.height = 1;
        png.format = c.format;
        const std::string path = dir / (std::string(c.name) + ".png");
        ASSERT_TRUE(png_image_write_to_file(&png, path.c_str(), 0, c.bytes.data(), 0, nullptr)) << c.name;
        const vhost::ImagePtr image = readImage(path);
        for (int i = 0; i < 4; ++i) EXPECT_NEAR(image->pixel(0, 0)[i], c.rgba[i], 1e-6) << c.name << " " << i;
    }
}

TEST(ImageFiles, ErrorsNameTheFileAndTheReason) {
    TemporaryFolder dir;
    writeText(dir / "text.png", "this is not an image");
    writeText(dir / "text.exr", "this is not an image");
    writeImage(dir / "good.png", *redBottomRow());
    std::filesystem::create_directory(dir / "folder.png");
    ASSERT_EQ(mkfifo((dir / "pipe.exr").c_str(), 0600), 0);  // would block a reader with no writer
    writeText(dir / "cut.png", readText(dir / "good.png").substr(0, 60));
    // A few hundred bytes that claim a 30000x30000 picture (header and its checksum intact).
    std::string huge = readText(dir / "good.png");
    for (int i = 0; i < 8; ++i) huge[16 + i] = "\0\0\x75\x30\0\0\x75\x30"[i];
    const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(huge.data() + 12), 17);
    for (int i = 0; i < 4; ++i) huge[29 + i] = static_cast<char>((crc >> (24 - 8 * i)) & 0xff);
    writeText(dir / "huge.png", huge);
    struct Case {
        std::string path;
        std::string reason;
    } cases[] = {
        {dir / "missing.png", "missing.png: no such file"},
        {dir / "text.png", "text.png: not a PNG file"},
        {dir / "cut.png", "cut.png: unreadable PNG"},
        {dir / "huge.png", "huge.png: unreadable PNG (the file is too short for its 30000x30000 picture)"},
        {dir / "text.exr", "text.exr: not an OpenEXR file"},
        {dir / "photo.tga", "photo.tga: unsupported image format '.tga'"},
        {dir / "folder.png", "folder.png: is a folder"},
        {dir / "pipe.exr", "pipe.exr: is not a regular file"},
    };
    for (const auto& c : cases) {
        try {
            readImage(c.path);
            ADD_FAILURE() << c.path << " was read";
        } catch (const ImageFileError& e) {
            EXPECT_NE(std::string(e.what()).find(c.reason), std::string::npos) << e.what();
        }
    }
    EXPECT_THROW(writeImage(dir / "no-such-folder/o.png", *redBottomRow()), ImageFileError);
    // A folder that takes no new file, even for root: the error names the file asked for.
    for (const char* failing : {"/proc/velmora-o.png", "/proc/velmora-o.exr"}) {
        try {
            writeImage(failing, *redBottomRow());
            ADD_FAILURE() << failing << " was written";
        } catch (const ImageFileError& e) {
            EXPECT_EQ(std::string(e.what()).rfind(failing, 0), 0u) << e.what();
            EXPECT_EQ(std::string(e.what()).find(".tmp-"), std::string::npos) << e.what();
        }
    }
    EXPECT_THROW(writeImage(dir / "o.jpg", *redBottomRow()), ImageFileError);  // read, never written
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 7)
        << "failed writes leave no file behind";
}

// Any name the file system takes can be written, however long.
TEST(ImageFiles, LongNamesAreWritten) {
    TemporaryFolder dir;
    for (const char* ext : {".png", ".exr"}) {
        const std::string path = dir / (std::string(251, 'n') + ext);
        writeImage(path, *redBottomRow());
        EXPECT_EQ(readImage(path)->width(), 3) << ext;
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2)
        << "no temporary is left";
}

TEST(ProxyScale, AveragesTheAreaEachPixelCovers) {
    auto image = std::make_shared<vhost::Image>(4, 2);
    image->fillWith(
        [](int x, int y, float* p) { p[0] = p[1] = p[2] = p[3] = static_cast<float>(x + 4 * y); });
    const vhost::ImagePtr half = scaleImage(*image, 0.5);
    ASSERT_EQ(half->width(), 2);
    ASSERT_EQ(half->height(), 1);
    EXPECT_FLOAT_EQ(half->pixel(0, 0)[0], (0 + 1 + 4 + 5) / 4.0f);
    EXPECT_FLOAT_EQ(half->pixel(1, 0)[3], (2 + 3 + 6 + 7) / 4.0f);

    // A ratio that splits pixels keeps a ramp's mean and a constant's value.
    auto ramp = std::make_shared<vhost::Image>(10, 3);
    ramp->fillWith([](int x, int, float* p) { p[0] = static_cast<float>(x), p[1] = p[2] = p[3] = 0.5f; });
    const vhost::ImagePtr small = scaleImage(*ramp, 0.37);
    ASSERT_EQ(small->width(), 4);
    ASSERT_EQ(small->height(), 1);
    float mean = 0;
    for (int x = 0; x < 4; ++x) {
        mean += small->pixel(x, 0)[0] / 4;
        EXPECT_FLOAT_EQ(small->pixel(x, 0)[1], 0.5f);
    }
    EXPECT_NEAR(mean, 4.5f, 1e-4);
}
