#include <gtest/gtest.h>

#include "audio/AudioFiles.h"
#include "audio/AudioRouting.h"

namespace {

using audio::MonitorClick;

TEST(AudioRouting, SourceOptionsAndStemNames) {
    const auto& options = audio::sourceOptionLabels();
    ASSERT_EQ(options.size(), 25u);
    EXPECT_EQ(options[0], "None");
    EXPECT_EQ(options[5], "Bass");  // channel 4
    EXPECT_EQ(options[11], "Spectral Centroid");
    EXPECT_EQ(options[13], "Downbeat");
    EXPECT_EQ(options[20], "Beat 8");
    EXPECT_EQ(options[24], "Tap F4");
    const auto placeholders = audio::placeholderStemOptions();
    ASSERT_EQ(placeholders.size(), 16u);
    EXPECT_EQ(placeholders.front(), "Mix");
    EXPECT_EQ(placeholders.back(), "Stem 15");

    EXPECT_EQ(audio::stemLabel("ORBALT_drums", 5), "O_DRU");
    EXPECT_EQ(audio::stemLabel("vocals", 5), "VOCAL");
    EXPECT_EQ(audio::stemLabel("ORBALT_", 5), "ORBAL");  // no longer than the prefix: kept
    EXPECT_EQ(audio::stemLabel("mix", 5), "MIX");
    EXPECT_EQ(audio::stemKind("fx"), 15);
    EXPECT_EQ(audio::stemKind("mix"), 0);
    EXPECT_EQ(audio::stemKind("ORBALT_vocals"), 3);
    EXPECT_EQ(audio::stemKind("effects"), 12);
    EXPECT_EQ(audio::stemKind("Drums"), audio::stemKind("Drums"));
    EXPECT_GE(audio::stemKind("Drums"), 13);  // case-sensitive names
}

TEST(AudioRouting, StemSelectionAfterARebuild) {
    struct Case {
        std::vector<std::string> remembered, fresh;
        int selected, expected;
    };
    const Case cases[] = {
        {{"mix", "drums", "bass"}, {"mix", "bass", "vocals"}, 2, 1},
        {{}, {"a", "b", "c", "d"}, 5, 0},
        {{}, {"a", "b", "c", "d"}, 3, 3},
        {{"mix", "drums"}, {"mix", "bass"}, 1, 0},   // gone
        {{"mix", "drums"}, {"mix", "drums"}, 7, 0},  // outside the remembered list
        {{"mix", ""}, {"", "mix"}, 1, 0},            // an empty name
        {{"mix", "drums"}, {"drums", "mix"}, 0, 1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(audio::remapStemSelection(c.remembered, c.fresh, c.selected), c.expected) << c.selected;
}

TEST(AudioRouting, MonitorPanelClicks) {
    struct Case {
        float nx, ny;
        int stems, routeSlots, routeCount;
        MonitorClick::Kind kind;
        int index;
    };
    using K = MonitorClick::Kind;
    const Case cases[] = {
        {0.3f, 0.4f, 0, 0, 0, K::Channel, 4},    // "Bass"
        {0.11f, 0.4f, 0, 0, 0, K::Channel, 1},   // first analysis bar: RMS
        {0.20f, 0.4f, 0, 0, 0, K::Channel, 0},   // fourth: ONSET
        {0.23f, 0.4f, 0, 0, 0, K::Channel, -1},  // the gap after the analysis group
        {0.48f, 0.5f, 0, 0, 0, K::Channel, 11},  // first beat bar: PULSE
        {0.47f, 0.5f, 0, 0, 0, K::Channel, -1},  // the gap before it
        {0.89f, 0.5f, 0, 0, 0, K::Channel, 23},  // TAP4
        {0.55f, 0.1f, 3, 0, 0, K::None, 0},      // slot 3 of six with three stems
        {0.35f, 0.1f, 3, 0, 0, K::Stem, 1},     {0.15f, 0.2f, 0, 0, 0, K::Stem, 0},  // no stems count as one
        {0.85f, 0.1f, 16, 0, 0, K::Stem, 15},   {0.5f, 0.8f, 0, 4, 2, K::Route, 2},  // four slots shown
        {0.5f, 0.8f, 0, 0, 2, K::Route, 1},  // no slot count: the route count
        {0.5f, 0.8f, 0, 0, 0, K::None, 0},      {0.5f, 0.8f, 0, 17, 0, K::None, 0},
        {0.05f, 0.4f, 3, 4, 4, K::None, 0},  // outside the panel's width
        {0.5f, 0.25f, 3, 4, 4, K::None, 0},  // between the rows
    };
    for (const Case& c : cases) {
        const MonitorClick click = audio::monitorClickAt(c.nx, c.ny, c.stems, c.routeSlots, c.routeCount);
        const K expectedKind = c.index < 0 ? K::None : c.kind;
        EXPECT_EQ(click.kind, expectedKind) << c.nx << "," << c.ny;
        if (expectedKind != K::None) {
            EXPECT_EQ(click.index, c.index) << c.nx << "," << c.ny;
        }
    }
}

TEST(AudioRouting, AudioFilesAndTheirAnalyses) {
    EXPECT_TRUE(audio::isAudioFile("/x/song.WAV"));
    EXPECT_TRUE(audio::isAudioFile("a.b.flac"));
    EXPECT_TRUE(audio::isAudioFile("x.m4a"));
    EXPECT_FALSE(audio::isAudioFile("song.orbalt_audio"));
    EXPECT_FALSE(audio::isAudioFile("wav"));
    EXPECT_FALSE(audio::isAudioFile("song.wav.json"));
    EXPECT_EQ(audio::analysisPathFor("/x/song.wav"), "/x/song.orbalt_audio");
    EXPECT_EQ(audio::analysisPathFor("/x.y/song"), "/x.y/song.orbalt_audio");  // a dot in a folder's name
    EXPECT_EQ(audio::analysisPathFor("song"), "song.orbalt_audio");
    EXPECT_EQ(audio::trimmedPath("/x/song.wav \t\r\n"), "/x/song.wav");
    EXPECT_EQ(audio::trimmedPath(" a b "), " a b");
}

}  // namespace
