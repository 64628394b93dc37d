// velmora-render against hostile files and hurried users, seen from outside the program: no input
// is destroyed, no read blocks or runs without end, no memory is taken that a check could have
// refused, no temporary file outlives its run, and every refusal says why.
#include <ImfHeader.h>
#include <ImfOutputFile.h>
#include <ImfRgbaFile.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#ifdef __linux__
#include <poll.h>
#include <sys/inotify.h>
#endif

#include <fstream>
#include <vector>

#include "CliTestSupport.h"
#include "ImageFiles.h"

extern char** environ;

using imagefiles::readImage;
using imagefiles::writeImage;

namespace {

constexpr int kWidth = 48, kHeight = 32;

std::string readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

std::vector<std::string> temporariesIn(const std::string& folder) {
    std::vector<std::string> found;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (name.find(".tmp-") != std::string::npos) found.push_back(name);
    }
    return found;
}

// A process id that no process has now: a child's, once it has ended.
pid_t endedProcessId() {
    const pid_t child = fork();
    if (child == 0) _exit(0);
    waitpid(child, nullptr, 0);
    return child;
}

// MemAvailable of /proc/meminfo, in bytes.
std::uint64_t availableMemory() {
    std::ifstream info("/proc/meminfo");
    std::string key;
    std::uint64_t kilobytes = 0;
    while (info >> key >> kilobytes)
        if (key == "MemAvailable:")
            return kilobytes * 1024;
        else
            info.ignore(64, '\n');
    return 0;
}

// A 1x1 OpenEXR picture placed in a display window of width x height.
void writeExrInWindow(const std::string& path, int width, int height) {
    Imf::Header header(Imath::Box2i({0, 0}, {width - 1, height - 1}), Imath::Box2i({0, 0}, {0, 0}));
    Imf::RgbaOutputFile file(path.c_str(), header, Imf::WRITE_RGBA);
    Imf::Rgba pixel(1, 1, 1, 1);
    file.setFrameBuffer(&pixel, 1, 1);
    file.writePixels(1);
}

class RenderGuards : public ::testing::Test {
  protected:
    void SetUp() override {
        writeImage(dir / "plate.png", *gradientPlate(kWidth, kHeight));
        writeImage(dir / "mask.png", *rectangleMask(kWidth, kHeight, 18, 12, 30, 20));
    }

    CliResult render(const std::string& options, int seconds = 0) {
        return runCli("render" + commonOptions() + " " + options, "", seconds);
    }
    std::string in(const std::string& name) const { return quoted(dir / name); }

    TemporaryFolder dir;
};

TEST_F(RenderGuards, AnOutputThatIsAnInputIsRefusedAndTheInputKept) {
    ASSERT_EQ(symlink((dir / "plate.png").c_str(), (dir / "link.png").c_str()), 0);
    ASSERT_EQ(link((dir / "mask.png").c_str(), (dir / "hard.png").c_str()), 0);
    writeImage(dir / "matte.png", *gradientPlate(kWidth, kHeight, 0.1f));
    for (int frame = 1; frame <= 3; ++frame)
        writeImage(dir / ("seq.000" + std::to_string(frame) + ".png"), *gradientPlate(kWidth, kHeight));
    const std::string plateAndMask = "--plate " + in("plate.png") + " --mask " + in("mask.png");
    struct Case {
        std::string args;
        std::string kept;  // the input that must survive
    } cases[] = {
        {plateAndMask + " --out " + in("plate.png"), "plate.png"},
        {plateAndMask + " --out " + quoted(dir.path() + "/./plate.png"), "plate.png"},
        {plateAndMask + " --out " + in("link.png"), "plate.png"},
        {plateAndMask + " --out " + in("hard.png"), "mask.png"},
        {plateAndMask + " --matte " + in("matte.png") + " --host resolve --out " + in("matte.png"),
         "matte.png"},
        {"--plate " + in("seq.%04d.png") + " --mask " + in("mask.png") + " --frames 1-3 --out " +
             quoted(dir.path() + "/./seq.%04d.png"),
         "seq.0002.png"},
    };
    for (const auto& c : cases) {
        const std::string before = readBytes(dir / c.kept);
        const CliResult r = render(c.args);
        EXPECT_EQ(r.code, 1) << c.args;
        EXPECT_NE(r.err.find("would overwrite its own input"), std::string::npos) << c.args << ": " << r.err;
        EXPECT_TRUE(readBytes(dir / c.kept) == before) << c.args << ": " << c.kept << " changed";
        EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.png"));
    }
}

TEST_F(RenderGuards, DoublePercentIsALiteralPercent) {
    std::filesystem::copy_file(dir / "plate.png", dir / "50%.png");
    std::filesystem::copy_file(dir / "plate.png", dir / "s%.0002.png");
    CliResult r =
        render("--plate " + in("50%%.png") + " --mask " + in("mask.png") + " --out " + in("o 100%%.png"));
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("Wrote " + dir / "o 100%.png"), std::string::npos) << r.out;
    EXPECT_EQ(readImage(dir / "o 100%.png")->width(), kWidth);

    r = render("--plate " + in("s%%.%04d.png") + " --mask " + in("mask.png") + " --out " +
               in("t%%.%04d.png") + " --frames 2-2");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(std::filesystem::exists(dir / "t%.0002.png"));
    r = render("--plate " + in("50%.png") + " --mask " + in("mask.png") + " --out " + in("o.png"));
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find("write %% for a literal %"), std::string::npos) << r.err;
}

// Files that are not images of their claimed size are refused before anything blocks or grows.
TEST_F(RenderGuards, PipesDevicesAndOversizedPicturesAreRefusedWithTheReason) {
    ASSERT_EQ(mkfifo((dir / "pipe.png").c_str(), 0600), 0);
    ASSERT_EQ(symlink("/dev/zero", (dir / "zero.exr").c_str()), 0);

    // A PNG 40000 pixels wide: its header, with a valid checksum, and a few bytes of data.
    std::string wide = readBytes(dir / "plate.png");
    for (int i = 0; i < 8; ++i) wide[16 + i] = "\0\0\x9c\x40\0\0\0\x01"[i];
    const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(wide.data() + 12), 17);
    for (int i = 0; i < 4; ++i) wide[29 + i] = static_cast<char>((crc >> (24 - 8 * i)) & 0xff);
    writeBytes(dir / "wide.png", wide);

    // A 1x1 EXR that says its data window is 16384 x 16384.
    writeExrInWindow(dir / "claim.exr", 1, 1);
    std::string claim = readBytes(dir / "claim.exr");
    const std::size_t box = claim.find(std::string("dataWindow\0box2i\0", 17));
    ASSERT_NE(box, std::string::npos);
    for (int corner : {2, 3}) {
        const int at = static_cast<int>(box) + 17 + 4 + corner * 4;
        claim[at] = '\xff', claim[at + 1] = '\x3f', claim[at + 2] = 0, claim[at + 3] = 0;
    }
    writeBytes(dir / "claim.exr", claim);
    // A 1x1 EXR with an attribute of a type unknown to the library that says it is 2 GB long: the
    // library would allocate that much.
    writeExrInWindow(dir / "attribute.exr", 1, 1);
    std::string attribute = readBytes(dir / "attribute.exr");
    const std::size_t order = attribute.find(std::string("lineOrder\0lineOrder\0", 20));
    ASSERT_NE(order, std::string::npos);
    attribute.replace(order + 10, 14, std::string("lineOrdeX\0\0\0\0\x7f", 14));
    writeBytes(dir / "attribute.exr", attribute);

    const std::string out = " --out " + in("o.png");
    struct Case {
        std::string args;
        std::string reason;
    } cases[] = {
        {"--plate " + in("plate.png") + " --mask " + in("pipe.png") + out, "pipe.png: is not a regular file"},
        {"--plate " + in("zero.exr") + " --mask " + in("mask.png") + out, "zero.exr: is not a regular file"},
        {"--plate " + in("wide.png") + " --mask " + in("mask.png") + out,
         "the picture is 40000x1 pixels; velmora-render takes at most 32768 pixels a side"},
        {"--plate " + in("claim.exr") + " --mask " + in("mask.png") + out,
         "the file is too short for its 16384x16384 pixels"},
        {"--plate " + in("attribute.exr") + " --mask " + in("mask.png") + out,
         "the attribute 'lineOrder' is longer than the file"},
    };
    for (const auto& c : cases) {
        const CliResult r = render(c.args, 120);
        EXPECT_EQ(r.code, 1) << c.args << "\n" << r.err;
        EXPECT_NE(r.err.find(c.reason), std::string::npos) << c.args << ": " << r.err;
        EXPECT_FALSE(std::filesystem::exists(dir / "o.png")) << c.args;
    }
}

// What a frame needs is known from the headers: a frame over the limit is refused by name and size
// before its pictures are read; one within it renders.
TEST_F(RenderGuards, AFrameOverTheMemoryLimitIsRefusedBeforeItIsRead) {
    writeExrInWindow(dir / "big.exr", 8192, 8192);  // 1 GB as float RGBA, in a file of a few hundred bytes
    writeExrInWindow(dir / "bigmask.exr", 8192, 8192);
    CliResult r = render("--plate " + in("big.exr") + " --mask " + in("bigmask.exr") + " --out " +
                             in("o.exr") + " --max-memory 2G",
                         120);
    EXPECT_EQ(r.code, 1) << r.err;
    EXPECT_NE(r.err.find("a 8192x8192 frame needs about 10.0 GB of memory, more than the 2.0 GB allowed by "
                         "--max-memory"),
              std::string::npos)
        << r.err;
    EXPECT_FALSE(std::filesystem::exists(dir / "o.exr"));

    r = render("--plate " + in("plate.png") + " --mask " + in("mask.png") + " --out " + in("o.png") +
               " --max-memory 100K");
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("a 48x32 frame needs about 240 KB of memory, more than the 100 KB allowed"),
              std::string::npos)
        << r.err;
    r = render("--plate " + in("plate.png") + " --mask " + in("mask.png") + " --out " + in("o.png") +
               " --max-memory 1M");
    EXPECT_EQ(r.code, 0) << r.err;
    r = render("--plate " + in("plate.png") + " --mask " + in("mask.png") + " --out " + in("o.png") +
               " --max-memory lots");
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find("--max-memory 'lots'"), std::string::npos) << r.err;

    // Without --max-memory the limit is the memory the machine has available.
    if (availableMemory() > (std::uint64_t(170) << 30)) GTEST_SKIP() << "this machine has 160 GB available";
    writeExrInWindow(dir / "huge.exr", 32768, 32768);
    writeExrInWindow(dir / "hugemask.exr", 32768, 32768);
    r = render("--plate " + in("huge.exr") + " --mask " + in("hugemask.exr") + " --out " + in("o.exr"), 120);
    EXPECT_EQ(r.code, 1) << r.err;
    EXPECT_NE(r.err.find("a 32768x32768 frame needs about 160.0 GB of memory, more than the "),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find(" available (--max-memory sets another limit)"), std::string::npos) << r.err;
}

// A temporary of one of the job's outputs whose process has ended is removed by the next run;
// those of other names and of running processes are left alone.
TEST_F(RenderGuards, StaleTemporariesOfTheOutputsAreRemovedByTheNextRun) {
    const std::string dead = std::to_string(endedProcessId());
    const std::string alive = std::to_string(getpid());
    const std::string stale = ".out.0002.png.tmp-" + dead + ".png";
    const std::vector<std::string> kept = {".out.0009.png.tmp-" + dead + ".png",
                                           ".other.png.tmp-" + dead + ".png",
                                           ".out.0003.png.tmp-" + alive + ".png"};
    writeBytes(dir / stale, "half a frame");
    for (const std::string& name : kept) writeBytes(dir / name, "someone else's");

    const CliResult r = render("--plate " + in("plate.png") + " --mask " + in("mask.png") + " --out " +
                               in("out.%04d.png") + " --frames 1-3");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_FALSE(std::filesystem::exists(dir / stale));
    EXPECT_NE(r.err.find("removed " + dir / stale + ", left by an interrupted run"), std::string::npos)
        << r.err;
    for (const std::string& name : kept) EXPECT_TRUE(std::filesystem::exists(dir / name)) << name;
}

#ifdef __linux__
// The program is stopped the moment a temporary appears, interrupted while it exists, and must
// leave no temporary behind.
TEST_F(RenderGuards, AnInterruptedWriteLeavesNoTemporary) {
    writeImage(dir / "large.exr", *gradientPlate(320, 240));
    writeImage(dir / "largemask.exr", *rectangleMask(320, 240, 100, 80, 200, 160));
    for (int signal : {SIGINT, SIGTERM}) {
        const std::string out = dir / ("out" + std::to_string(signal));
        std::filesystem::create_directory(out);
        const int watch = inotify_init1(IN_CLOEXEC);
        ASSERT_GE(watch, 0);
        ASSERT_GE(inotify_add_watch(watch, out.c_str(), IN_CREATE), 0);

        const std::string outPattern = out + "/f.%04d.exr";
        std::vector<std::string> words = {VELMORA_RENDER_EXE,
                                          "render",
                                          "--plate",
                                          dir / "large.exr",
                                          "--mask",
                                          dir / "largemask.exr",
                                          "--out",
                                          outPattern,
                                          "--frames",
                                          "1-40",
                                          "--bundle",
                                          VELMORA_BUNDLE,
                                          "--backend",
                                          "cpu"};
        std::vector<char*> argv;
        for (std::string& word : words) argv.push_back(word.data());
        argv.push_back(nullptr);
        pid_t child = 0;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        ASSERT_EQ(posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ), 0);
        posix_spawn_file_actions_destroy(&actions);

        bool interrupted = false;
        char events[4096];
        pollfd waitFor{watch, POLLIN, 0};
        while (!interrupted && poll(&waitFor, 1, 60000) > 0) {
            const ssize_t length = read(watch, events, sizeof events);
            for (ssize_t at = 0; at < length && !interrupted;) {
                const auto* event = reinterpret_cast<const inotify_event*>(events + at);
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
                const std::string name = event->len ? event->name : "";
                if (name.find(".tmp-") == std::string::npos) continue;
                kill(child, SIGSTOP);
                if (std::filesystem::exists(out + "/" + name)) {
                    kill(child, signal);
                    interrupted = true;
                }
                kill(child, SIGCONT);
            }
        }
        close(watch);
        int status = 0;
        waitpid(child, &status, 0);
        ASSERT_TRUE(interrupted) << "no temporary was caught while it existed";
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal)
            << "ended by the signal, as without a handler";
        EXPECT_TRUE(temporariesIn(out).empty()) << temporariesIn(out).front();
    }
}
#endif

}  // namespace
