// Numbered file names and frame ranges.
#include <gtest/gtest.h>

#include "FrameSequence.h"

using framesequence::FilePattern;
using framesequence::FrameList;
using framesequence::SequenceError;

TEST(FilePattern, NumbersFramesAndLeavesPlainNamesAlone) {
    struct Case {
        const char* pattern;
        int frame;
        const char* file;
        bool numbered;
    } cases[] = {
        {"plate.%04d.exr", 7, "plate.0007.exr", true},
        {"plate.%04d.exr", 12345, "plate.12345.exr", true},
        {"shots/%d_mask.png", 12, "shots/12_mask.png", true},
        {"%02d.png", 3, "03.png", true},
        {"still.png", 9, "still.png", false},
        {"50%%.png", 9, "50%.png", false},
        {"a%%%04d%%.exr", 7, "a%0007%.exr", true},
        // As compositors write them: one digit per '#' or '@', more when the frame needs them.
        {"plate.####.exr", 7, "plate.0007.exr", true},
        {"plate.####.exr", 12345, "plate.12345.exr", true},
        {"plate.#.exr", 42, "plate.42.exr", true},
        {"plate.@@@.dpx", 7, "plate.007.dpx", true},
        {"plate.@.dpx", 7, "plate.7.dpx", true},
        {"shots/####/beauty.exr", 3, "shots/0003/beauty.exr", true},
    };
    for (const auto& c : cases) {
        const FilePattern pattern(c.pattern);
        EXPECT_EQ(pattern.numbered(), c.numbered) << c.pattern;
        EXPECT_EQ(pattern.fileFor(c.frame), c.file) << c.pattern;
    }
}

TEST(FilePattern, RejectsOtherDirectives) {
    for (const char* bad : {"a%04d.%04d.exr", "a%s.exr", "a%0d.exr", "50%.png", "a%010d.png", "a%x.png",
                            "a.####.%04d.exr", "a.##.@@.exr", "a.##########.exr"})
        EXPECT_THROW(FilePattern{bad}, SequenceError) << bad;
}

TEST(FrameList, ParsesRangesStepsAndLists) {
    auto framesOf = [](const std::string& text) {
        std::vector<int> frames;
        FrameList::parse(text).forEach([&](int frame) {
            frames.push_back(frame);
            return true;
        });
        return frames;
    };
    EXPECT_EQ(framesOf("7"), std::vector<int>{7});
    EXPECT_EQ(framesOf("0"), std::vector<int>{0});
    EXPECT_EQ(framesOf("3-6"), (std::vector<int>{3, 4, 5, 6}));
    EXPECT_EQ(framesOf("1-10x3"), (std::vector<int>{1, 4, 7, 10}));
    EXPECT_EQ(framesOf("1-9x3"), (std::vector<int>{1, 4, 7}));
    EXPECT_EQ(framesOf("1,5,10-12"), (std::vector<int>{1, 5, 10, 11, 12}));
    EXPECT_EQ(framesOf("20-24x2,3"), (std::vector<int>{20, 22, 24, 3}));

    const FrameList list = FrameList::parse("1-100x2,200,300-399");
    EXPECT_EQ(list.count(), 50 + 1 + 100);
    EXPECT_EQ(list.first(), 1);
    EXPECT_EQ(list.lowest(), 1);
    EXPECT_EQ(list.highest(), 399);
    EXPECT_TRUE(list.contains(99));
    EXPECT_FALSE(list.contains(100));
    EXPECT_TRUE(list.contains(200));
    EXPECT_FALSE(list.contains(201));
    // A huge range is counted, not listed.
    EXPECT_EQ(FrameList::parse("0-999999999").count(), 1000000000LL);

    for (const char* bad : {"", "5-3", "-3", "1-", "a-b", "1-2-3", "1 - 2", "1.5", "9999999999", "1-10x0",
                            "1-10x", "1x2", "1,,2", "1,", ",1", "1-10x-2"})
        EXPECT_THROW(FrameList::parse(bad), SequenceError) << bad;
}
