// Numbered file names and frame ranges.
#include <gtest/gtest.h>

#include "FrameSequence.h"

using framesequence::FilePattern;
using framesequence::FrameRange;
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
    };
    for (const auto& c : cases) {
        const FilePattern pattern(c.pattern);
        EXPECT_EQ(pattern.numbered(), c.numbered) << c.pattern;
        EXPECT_EQ(pattern.fileFor(c.frame), c.file) << c.pattern;
    }
}

TEST(FilePattern, RejectsOtherDirectives) {
    for (const char* bad : {"a%04d.%04d.exr", "a%s.exr", "a%0d.exr", "50%.png", "a%010d.png", "a%x.png"})
        EXPECT_THROW(FilePattern{bad}, SequenceError) << bad;
}

TEST(FrameRange, ParsesRangesAndSingleFrames) {
    const FrameRange range = FrameRange::parse("1-100");
    EXPECT_EQ(range.first, 1);
    EXPECT_EQ(range.last, 100);
    EXPECT_EQ(range.count(), 100);
    const FrameRange single = FrameRange::parse("0");
    EXPECT_EQ(single.first, 0);
    EXPECT_EQ(single.count(), 1);
    for (const char* bad : {"", "5-3", "-3", "1-", "a-b", "1-2-3", "1 - 2", "1.5", "9999999999"})
        EXPECT_THROW(FrameRange::parse(bad), SequenceError) << bad;
}
