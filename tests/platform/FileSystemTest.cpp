#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "TestSupport.h"
#include "platform/FileSystem.h"
#include "platform/SafeName.h"

using namespace platform;

TEST(FileSystem, ListsFilesBySuffixInByteOrder) {
    TemporaryFolder folder;
    for (const char* name : {"b.xml", "a.xml", "A.xml", "a.xml.xml", "upper.XML", ".xml", "notes.txt"}) {
        writeText(folder / name, "x");
    }
    std::filesystem::create_directory(folder / "dir.xml");

    std::size_t seen = 0;
    auto names = listFilesWithSuffix(folder.path(), ".xml", &seen);
    EXPECT_EQ(names, (std::vector<std::string>{"A", "a", "a.xml", "b"}));
    EXPECT_EQ(seen, 8u);

    EXPECT_TRUE(listFilesWithSuffix(folder / "missing", ".xml", &seen).empty());
    EXPECT_EQ(seen, 0u);
    EXPECT_TRUE(listFilesWithSuffix("", ".xml").empty());
}

TEST(FileSystem, AtomicWriteReplacesAndLeavesNoTemporaryFile) {
    TemporaryFolder folder;
    const std::string target = folder / "preset.xml";
    ASSERT_TRUE(writeFileAtomically(target, "first"));
    ASSERT_TRUE(writeFileAtomically(target, "second"));
    EXPECT_EQ(readText(target), "second");

    std::size_t entries = 0;
    for (auto& entry : std::filesystem::directory_iterator(folder.path())) {
        (void)entry;
        ++entries;
    }
    EXPECT_EQ(entries, 1u);
}

TEST(FileSystem, FailedAtomicWriteKeepsEarlierState) {
    TemporaryFolder folder;
    std::string error;
    EXPECT_FALSE(writeFileAtomically(folder / "missing/preset.xml", "data", &error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(std::filesystem::exists(folder / "missing"));

    std::filesystem::create_directory(folder / "taken.xml");
    writeText(folder / "taken.xml/inside", "keep");
    EXPECT_FALSE(writeFileAtomically(folder / "taken.xml", "data", &error));
    EXPECT_EQ(readText(folder / "taken.xml/inside"), "keep");
    EXPECT_EQ(listFilesWithSuffix(folder.path(), "", nullptr).size(), 0u);  // no temporary file left
}

TEST(FileSystem, FolderAndFileOperations) {
    TemporaryFolder folder;
    std::string error;
    EXPECT_TRUE(createDirectories(folder / "a/b/c", &error)) << error;
    EXPECT_TRUE(isDirectory(folder / "a/b/c"));
    EXPECT_TRUE(createDirectories(folder / "a/b/c"));  // already there

    writeText(folder / "file", "x");
    EXPECT_FALSE(createDirectories(folder / "file/sub", &error));
    EXPECT_FALSE(error.empty());

    EXPECT_TRUE(renameFile(folder / "file", folder / "a/moved", &error)) << error;
    EXPECT_TRUE(isRegularFile(folder / "a/moved"));
    EXPECT_TRUE(removeFile(folder / "a/moved"));
    EXPECT_FALSE(removeFile(folder / "a/moved", &error));
    EXPECT_FALSE(removeFile(folder / "a", &error));  // a folder is not removed as a file
    EXPECT_TRUE(isDirectory(folder / "a/b/c"));

    std::string contents;
    EXPECT_FALSE(readFile(folder / "none", contents, &error));
    writeText(folder / "text", "line\n");
    EXPECT_TRUE(readFile(folder / "text", contents));
    EXPECT_EQ(contents, "line\n");
    EXPECT_FALSE(readFile(folder / "text", contents, &error, 4));  // larger than allowed
    EXPECT_EQ(contents, "line\n");
}

// Only a regular file is read, and its cap holds while it is read: a pipe never blocks the read,
// a device never feeds it without end, and a file that says it is empty (as /proc's do) but goes
// on is cut off at the cap.
TEST(FileSystem, ReadsOnlyRegularFilesWithinTheCap) {
    TemporaryFolder folder;
    ASSERT_EQ(mkfifo((folder / "fifo.xml").c_str(), 0600), 0);
    ASSERT_EQ(symlink("/dev/zero", (folder / "devzero.xml").c_str()), 0);
    ASSERT_EQ(symlink("/proc/self/maps", (folder / "growing.xml").c_str()), 0);
    std::filesystem::create_directory(folder / "folder.xml");
    writeText(folder / "big.xml", std::string(100, 'x'));
    struct Case {
        std::string name, reason;
    } cases[] = {
        {"fifo.xml", "is not a regular file"},      {"devzero.xml", "is not a regular file"},
        {"growing.xml", "is larger than 64 bytes"}, {"folder.xml", "is a folder"},
        {"big.xml", "is larger than 64 bytes"},     {"missing.xml", "No such file or directory"},
    };
    for (const Case& c : cases) {
        std::string contents = "kept", error;
        EXPECT_FALSE(readFile(folder / c.name, contents, &error, 64)) << c.name;
        EXPECT_NE(error.find(c.reason), std::string::npos) << c.name << ": " << error;
        EXPECT_EQ(contents, "kept") << c.name;
    }
    std::string contents;
    EXPECT_TRUE(readFile(folder / "big.xml", contents, nullptr, 100));
    EXPECT_EQ(contents.size(), 100u);
    EXPECT_TRUE(readFile("/proc/self/maps", contents));  // no size given, no cap
    EXPECT_GT(contents.size(), 64u);
}

TEST(FileSystem, PathPieces) {
    EXPECT_EQ(joinPath("/a", "b"), "/a/b");
    EXPECT_EQ(joinPath("/a/", "b"), "/a/b");
    EXPECT_EQ(joinPath("", "b"), "b");
    EXPECT_EQ(parentFolder("/a/b/c.ofx"), "/a/b");
    EXPECT_EQ(parentFolder("/c.ofx"), "/");
    EXPECT_EQ(parentFolder("c.ofx"), "");
    EXPECT_EQ(fileName("/a/b/c.ofx"), "c.ofx");
    EXPECT_EQ(fileName("c.ofx"), "c.ofx");
}

TEST(SafeName, AcceptsOrdinaryNamesAndRefusesDangerousOnes) {
    for (const char* name :
         {"frosted_glass", "My Preset 2", "a.xml", "con2", "COM0", "lpt10", "Ünïcødé", "-x"}) {
        std::string reason;
        EXPECT_TRUE(isSafeFileName(name, &reason)) << name << ": " << reason;
    }
    const std::string refused[] = {"",          "a/b",        "a\\b",
                                   "..",        "../evil",    "a..b",
                                   ".",         "trail.",     "trail ",
                                   "tab\there", "nl\n",       std::string("nul\0x", 5),
                                   "del\x7f",   "CON",        "con",
                                   "Nul.xml",   "aux.tar.gz", "COM1",
                                   "lpt9.txt",  "PRN ",       "a:b",
                                   "a*b",       "a?b",        "a|b",
                                   "a\"b",      "a<b",        std::string(256, 'x')};
    for (const std::string& name : refused) {
        std::string reason;
        EXPECT_FALSE(isSafeFileName(name, &reason)) << name;
        EXPECT_FALSE(reason.empty()) << name;
    }
}
