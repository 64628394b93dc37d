#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <string>
#include <vector>

#include "AudioTestSupport.h"
#include "audio/AnalysisContainer.h"
#include "audio/AudioDataCache.h"

namespace {

using audio_test::TempFolder;

const char kFormat[] = "\"format\": \"orbalt_audio_analysis\"";

std::string analysis(const std::string& members) {
    return std::string("{") + kFormat + (members.empty() ? "" : ", " + members) + "}";
}

// A container whose header fields are set by hand around `payload`.
std::string container(const std::string& payload, int version, int mode, std::uint32_t jsonLength,
                      bool goodCrc = true) {
    std::string bytes = audio::packContainer(payload, 0);
    bytes[4] = static_cast<char>(version);
    bytes[6] = static_cast<char>(mode);
    for (int i = 0; i < 4; ++i) bytes[12 + i] = static_cast<char>((jsonLength >> (8 * i)) & 0xff);
    if (!goodCrc) bytes[16] = static_cast<char>(bytes[16] ^ 0x5a);
    return bytes;
}

TEST(AudioDataCache, PlainJsonWithOneTableIsTheMix) {
    TempFolder folder;
    AudioDataCache cache;
    ASSERT_TRUE(cache.load(folder.write(
        "a.json",
        analysis("\"metadata\": {\"source_file\": \"song.wav\"}, "
                 "\"frames\": [[0.5, 1, 0], [0.25, true, false, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12]], "
                 "\"beat_times\": [1.5, 0.5, 1.0]"))));
    EXPECT_EQ(cache.stemNames(), std::vector<std::string>{"mix"});
    EXPECT_EQ(cache.mixIndex(), 0);
    EXPECT_EQ(cache.channelCount(), 11);
    EXPECT_EQ(cache.channelIndex("rms_energy"), 1);
    EXPECT_EQ(cache.channelIndex("loudness"), -1);
    EXPECT_EQ(cache.sourceFile(), "song.wav");
    EXPECT_EQ(cache.version(), "1.0");
    EXPECT_EQ(cache.analysisRate(), 86.0);
    EXPECT_EQ(cache.totalFrames(), 2);
    EXPECT_DOUBLE_EQ(cache.duration(), 2.0 / 86.0);
    // A short frame reads 0 beyond its end; a long one keeps the first eleven; booleans are 0 and 1.
    EXPECT_EQ(cache.frameValue(0, 0, 0), 0.5f);
    EXPECT_EQ(cache.frameValue(0, 0, 1), 1.0f);
    EXPECT_EQ(cache.frameValue(0, 0, 5), 0.0f);
    EXPECT_EQ(cache.frameValue(0, 1, 1), 1.0f);
    EXPECT_EQ(cache.frameValue(0, 1, 10), 8.0f);
    EXPECT_EQ(cache.frameValue(0, 1, 11), 0.0f);
    // Beat times are kept ascending.
    EXPECT_EQ(cache.beatTimes(), (std::vector<double>{0.5, 1.0, 1.5}));
    EXPECT_EQ(cache.beatCountAt(0.4), 0);
    EXPECT_EQ(cache.beatCountAt(1.0), 2);
    EXPECT_EQ(cache.beatCountAt(9.0), 3);
}

TEST(AudioDataCache, AnalysisRateAndDuration) {
    struct Case {
        const char* timing;
        double rate;
        double duration;
    };
    std::string table = "\"frames\": [[1]";
    for (int i = 1; i < 172; ++i) table += ", [1]";
    table += "]";
    const Case cases[] = {
        {"\"timing\": {\"fps\": 30}", 30.0, 172.0 / 30.0},
        {"\"timing\": {}", 86.0, 2.0},
        {"\"timing\": {\"analysis_rate\": 43, \"fps\": 30}", 43.0, 4.0},
        {"\"timing\": {\"duration_seconds\": 0, \"analysis_rate\": 86}", 86.0, 2.0},
        {"\"timing\": {\"duration_seconds\": 7.5, \"total_frames\": 500}", 86.0, 7.5},
        {"\"timing\": {\"total_frames\": 344}", 86.0, 4.0},
    };
    TempFolder folder;
    for (const Case& c : cases) {
        AudioDataCache cache;
        ASSERT_TRUE(cache.load(folder.write("t.json", analysis(std::string(c.timing) + ", " + table))))
            << c.timing;
        EXPECT_EQ(cache.analysisRate(), c.rate) << c.timing;
        EXPECT_DOUBLE_EQ(cache.duration(), c.duration) << c.timing;
    }
}

TEST(AudioDataCache, SamplingInterpolatesAndAveragesWindows) {
    TempFolder folder;
    AudioDataCache cache;
    ASSERT_TRUE(cache.load(folder.write(
        "s.json", analysis("\"timing\": {\"analysis_rate\": 3}, \"channel_order\": [\"a\", \"b\"], "
                           "\"frames\": [[0, 10], [1, 20], [3, 30], [5, 40]]"))));
    EXPECT_FLOAT_EQ(cache.sample(0, 0.5, 0), 2.0f);  // frames 1 and 2 at fraction 0.5
    EXPECT_FLOAT_EQ(cache.sample(0, 0.5, 1), 25.0f);
    EXPECT_FLOAT_EQ(cache.sample(0, 0.0, 0), 0.0f);
    EXPECT_FLOAT_EQ(cache.sample(0, 1.1, 0), 5.0f);  // within the last frame
    EXPECT_FLOAT_EQ(cache.sample(0, 1.4, 0), 0.0f);  // after the end
    EXPECT_FLOAT_EQ(cache.sample(0, -0.1, 0), 0.0f);
    EXPECT_FLOAT_EQ(cache.sample(0, NAN, 0), 0.0f);
    // Out-of-range stems and channels read 0.
    EXPECT_FLOAT_EQ(cache.sample(1, 0.5, 0), 0.0f);
    EXPECT_FLOAT_EQ(cache.sample(0, 0.5, 2), 0.0f);
    EXPECT_FLOAT_EQ(cache.frameValue(0, 4, 0), 0.0f);
    EXPECT_FLOAT_EQ(cache.frameValue(-1, 0, 0), 0.0f);

    // Half window 0.4 s around 0.5 s: frames 0 (0.1 s) .. 2 (0.9 s).
    EXPECT_FLOAT_EQ(cache.windowAverage(0, 0.5, 0, 0.4), (0.0f + 1.0f + 3.0f) / 3.0f);
    EXPECT_FLOAT_EQ(cache.windowAverage(0, 0.5, 0, 0.0), 2.0f);
    // The window stops at the duration (4 frames / 3 = 1.33 s).
    EXPECT_FLOAT_EQ(cache.windowAverage(0, 1.2, 0, 1e9), (0.0f + 1.0f + 3.0f + 5.0f) / 4.0f);
    EXPECT_FLOAT_EQ(cache.windowAverage(0, -5.0, 0, 1.0), 0.0f);
}

TEST(AudioDataCache, StemTablesByName) {
    TempFolder folder;
    AudioDataCache cache;
    ASSERT_TRUE(cache.load(folder.write(
        "stems.json",
        analysis("\"stems\": [\"drums\", \"mix\", \"bass\"], "
                 "\"frames\": {\"mix\": [[0.5], [0.5]], \"drums\": [[1], [1], [1]], \"other\": [[9]]}"))));
    EXPECT_EQ(cache.stemCount(), 3);
    EXPECT_EQ(cache.mixIndex(), 1);
    EXPECT_EQ(cache.frameCount(0), 3);
    EXPECT_EQ(cache.frameCount(1), 2);
    EXPECT_EQ(cache.frameCount(2), 0);  // listed without a table
    EXPECT_EQ(cache.totalFrames(), 2);  // the mix's frames
    EXPECT_FLOAT_EQ(cache.frameValue(0, 2, 0), 1.0f);

    // Without a stem named mix, the first stem is the mix.
    ASSERT_TRUE(cache.load(folder.write(
        "nomix.json",
        analysis("\"stems\": [\"drums\", \"bass\"], \"frames\": {\"drums\": [[1]], \"bass\": [[2]]}"))));
    EXPECT_EQ(cache.mixIndex(), 0);
}

TEST(AudioDataCache, ContainersOfBothModesHoldTheJson) {
    TempFolder folder;
    const std::string json =
        analysis("\"stems\": [\"mix\", \"drums\"], \"frames\": {\"mix\": [[0.25]], \"drums\": [[0.75]]}");
    for (int mode : {0, 1}) {
        AudioDataCache cache;
        ASSERT_TRUE(cache.load(folder.write("c.orbalt_audio", audio::packContainer(json, mode))))
            << cache.lastError();
        EXPECT_EQ(cache.stemCount(), 2);
        EXPECT_FLOAT_EQ(cache.frameValue(1, 0, 0), 0.75f);
    }
    // Mode 1 is not readable as plain deflate: the payload is scrambled.
    const std::string packed = audio::packContainer(json, 1);
    EXPECT_EQ(packed.find("orbalt_audio_analysis"), std::string::npos);
}

// Every way a file can be wrong ends in an unloaded cache with the reason.
TEST(AudioDataCache, BadFilesAreRefusedWithTheirReason) {
    const std::string good = analysis("\"frames\": [[1]]");
    std::string shortHeader = "ORB1" + std::string(10, '\0');
    std::string truncated = audio::packContainer(good, 0);
    const std::size_t fullSize = truncated.size();
    truncated.resize(fullSize - 3);
    std::string deflated = audio::packContainer(good, 1);
    std::string longerClaim = deflated;  // json_length one more than the stream inflates to
    longerClaim[12] = static_cast<char>(longerClaim[12] + 1);
    std::string shorterClaim = deflated;
    shorterClaim[12] = static_cast<char>(shorterClaim[12] - 1);
    std::string deepJson = std::string(100000, '[') + std::string(100000, ']');
    // Empty frames cost a full row of every channel once the tables are built: 256 channels and
    // 2^17 + 1 frames (or one table of 2^11 + 1 frames listed under 64 stems) would take over 128 MB.
    std::string manyChannels = "\"channel_order\": [";
    for (int c = 0; c < 256; ++c) manyChannels += (c ? ", \"c" : "\"c") + std::to_string(c) + "\"";
    manyChannels += "]";
    auto emptyFrames = [](std::size_t n) {
        std::string table = "[[]";
        for (std::size_t f = 1; f < n; ++f) table += ",[]";
        return table + "]";
    };
    std::string oneStemManyTimes = "\"stems\": [\"a\"";
    for (int s = 1; s < 64; ++s) oneStemManyTimes += ", \"a\"";
    oneStemManyTimes += "]";

    struct Case {
        std::string name, bytes, error;
    };
    const std::vector<Case> cases = {
        {"short header", shortHeader, "sidecar too small to contain ORB1 header"},
        {"version", container(good, 2, 0, 0), "unsupported ORB format_version 2"},
        {"truncated", truncated,
         "sidecar truncated: expected at least " + std::to_string(fullSize) + " bytes, got " +
             std::to_string(fullSize - 3)},
        {"crc", container(good, 1, 0, 0, false), "sidecar CRC32 mismatch (file corrupted or tampered)"},
        {"mode", container(good, 1, 0xab, 0), "unsupported ORB mode 0xab"},
        {"not deflate", container(good, 1, 1, 100), "mz_uncompress failed (rc=-3)"},
        {"inflates to less", longerClaim,
         "inflate length mismatch: expected " + std::to_string(good.size() + 1) + ", got " +
             std::to_string(good.size())},
        {"inflates to more", shorterClaim, "mz_uncompress failed (rc=-5)"},
        {"huge json_length", container(good, 1, 1, 0xfffffff0u),
         "sidecar JSON too large: 4294967280 bytes (limit 134217728)"},
        {"syntax", "{\"format\": ", "JSON parse error: "},
        {"empty", "", "JSON parse error: "},
        {"overflowing number", analysis("\"frames\": [[1e999]]"), "JSON parse error: "},
        {"float overflow", analysis("\"frames\": [[1e300]]"), "Error: a frame value is out of range: 1e+300"},
        {"no format", "{\"frames\": [[1]]}", "Invalid format: expected orbalt_audio_analysis"},
        {"other format", "{\"format\": \"wav\", \"frames\": [[1]]}",
         "Invalid format: expected orbalt_audio_analysis"},
        {"format type", "{\"format\": 5}", "Error: \"format\" must be a string, not number"},
        {"root array", "[1, 2]", "Error: the analysis must be a JSON object, not an array"},
        {"root number", "7", "Error: the analysis must be a JSON object"},
        {"metadata type", analysis("\"metadata\": [1], \"frames\": [[1]]"),
         "Error: \"metadata\" must be an object, not array"},
        {"source type", analysis("\"metadata\": {\"source_file\": 3}"),
         "Error: \"metadata\".\"source_file\" must be a string, not number"},
        {"rate type", analysis("\"timing\": {\"fps\": \"30\"}, \"frames\": [[1]]"),
         "Error: \"timing\".\"fps\" must be a number, not string"},
        {"zero rate", analysis("\"timing\": {\"analysis_rate\": 0}, \"frames\": [[1]]"),
         "Error: the analysis rate must be a positive number, not 0.0"},
        {"negative rate", analysis("\"timing\": {\"analysis_rate\": -86}, \"frames\": [[1]]"),
         "Error: the analysis rate must be a positive number, not -86.0"},
        {"no channels", analysis("\"channel_order\": [], \"frames\": [[1]]"), "No channels defined in JSON"},
        {"channel type", analysis("\"channel_order\": [\"a\", null], \"frames\": [[1]]"),
         "Error: an entry of \"channel_order\" must be a string, not null"},
        {"no frames", analysis("\"beat_times\": [1]"), "No frame data in JSON"},
        {"empty frames", analysis("\"frames\": []"), "No frame data in JSON"},
        {"frames of another type", analysis("\"frames\": 3"), "No frame data in JSON"},
        {"empty mix", analysis("\"stems\": [\"mix\", \"drums\"], \"frames\": {\"drums\": [[1]]}"),
         "No frame data in JSON"},
        {"frame type", analysis("\"frames\": [\"loud\"]"), "Error: a frame must be an array, not string"},
        {"frame value type", analysis("\"frames\": [[1, \"x\"]]"),
         "Error: a frame value must be a number, not string"},
        {"nested frame value", analysis("\"frames\": [[1, [2]]]"),
         "Error: a frame value must be a number, not array"},
        {"stem table type", analysis("\"stems\": [\"mix\"], \"frames\": {\"mix\": {}}"),
         "Error: the frames of stem \"mix\" must be an array, not object"},
        {"beat type", analysis("\"frames\": [[1]], \"beat_times\": [true, \"x\"]"),
         "Error: an entry of \"beat_times\" must be a number, not string"},
        {"deep", analysis("\"extra\": " + deepJson + ", \"frames\": [[1]]"),
         "Error: the JSON is nested deeper than 256 levels"},
        {"empty frames of many channels",
         audio::packContainer(analysis(manyChannels + ", \"frames\": " + emptyFrames(131073)), 1),
         "Error: more than 33554432 values in the analysis"},
        {"one table under many stems",
         analysis(manyChannels + ", " + oneStemManyTimes + ", \"frames\": {\"a\": " + emptyFrames(2049) +
                  "}"),
         "Error: more than 33554432 values in the analysis (131136 frames of 256 channels)"},
    };
    TempFolder folder;
    for (const Case& c : cases) {
        AudioDataCache cache;
        ASSERT_TRUE(cache.load(folder.write("good.json", good)));
        EXPECT_FALSE(cache.load(folder.write("bad", c.bytes))) << c.name;
        EXPECT_EQ(cache.lastError().substr(0, c.error.size()), c.error)
            << c.name << ": " << cache.lastError();
        EXPECT_FALSE(cache.isLoaded()) << c.name;
        EXPECT_EQ(cache.stemCount(), 0) << c.name;
        EXPECT_FLOAT_EQ(cache.sample(0, 0.0, 0), 0.0f) << c.name;
        EXPECT_EQ(cache.beatCountAt(100.0), 0) << c.name;
    }
}

TEST(AudioDataCache, UnreadableFilesNameThePath) {
    TempFolder folder;
    const std::string pipe = folder.file("pipe.orbalt_audio");
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    struct Case {
        std::string path, error;
    };
    const Case cases[] = {
        {folder.file("missing.json"),
         "Failed to load sidecar: could not open sidecar: " + folder.file("missing.json")},
        {folder.path(), "Failed to load sidecar: could not open sidecar: " + folder.path()},
        // A pipe is refused at once instead of waiting for a writer.
        {pipe, "Failed to load sidecar: could not open sidecar: " + pipe},
    };
    for (const Case& c : cases) {
        AudioDataCache cache;
        EXPECT_FALSE(cache.load(c.path));
        EXPECT_EQ(cache.lastError(), c.error);
    }
    // Trailing blanks, tabs and line ends are not part of the path.
    AudioDataCache cache;
    EXPECT_TRUE(cache.load(folder.write("ok.json", analysis("\"frames\": [[1]]")) + " \t\r\n"));
}

}  // namespace
