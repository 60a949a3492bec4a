// Replacing a file's contents as a user expects of a file edited in place.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "events/ReplaceFile.h"
#include "tests/support/ScratchDirectory.h"
#include "tests/support/Unprivileged.h"

using namespace kestrix;
using namespace kestrix::test;
namespace fs = std::filesystem;

namespace {

class ReplaceFileTest : public ::testing::Test {
protected:
    static void write(const fs::path& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }
    static mode_t mode(const fs::path& path) {
        struct stat status {};
        ::stat(path.c_str(), &status);
        return status.st_mode & 07777;
    }
    std::size_t entries() const { return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir), {})); }
    ScratchDirectory scratch{"kx-replace"};
    const fs::path dir = scratch.path;
};

}  // namespace

TEST_F(ReplaceFileTest, ANewFileIsCreatedAndAnOldOneKeepsItsPermissionBits) {
    ReplaceFileContents(dir / "new.txt", "first\r\n");
    EXPECT_EQ(FileText(dir / "new.txt"), "first\r\n");
    write(dir / "kept.txt", "old");
    ::chmod((dir / "kept.txt").c_str(), 0640);
    ReplaceFileContents(dir / "kept.txt", "new");
    EXPECT_EQ(FileText(dir / "kept.txt"), "new");
    EXPECT_EQ(mode(dir / "kept.txt"), 0640u);
    EXPECT_EQ(entries(), 2u);  // no temporary file is left
}

TEST_F(ReplaceFileTest, ASymbolicLinkIsWrittenThroughAndStaysALink) {
    fs::create_directories(dir / "etc");
    write(dir / "etc" / "settings.ini", "old");
    ::chmod((dir / "etc" / "settings.ini").c_str(), 0660);
    fs::create_symlink("etc/settings.ini", dir / "relative.ini");
    fs::create_symlink(dir / "relative.ini", dir / "chain.ini");  // a link to a link
    for (const char* name : {"relative.ini", "chain.ini"}) {
        ReplaceFileContents(dir / name, name);
        EXPECT_TRUE(fs::is_symlink(dir / name)) << name;
        EXPECT_EQ(FileText(dir / "etc" / "settings.ini"), name);
        EXPECT_EQ(mode(dir / "etc" / "settings.ini"), 0660u);
    }
    // A link whose file is not there yet: the file is made where the link points.
    fs::create_symlink("etc/later.ini", dir / "dangling.ini");
    ReplaceFileContents(dir / "dangling.ini", "made");
    EXPECT_TRUE(fs::is_symlink(dir / "dangling.ini"));
    EXPECT_EQ(FileText(dir / "etc" / "later.ini"), "made");
}

TEST_F(ReplaceFileTest, AFileTheUserMayNotReadOrWriteIsNeverReplaced) {
    GiveToUnprivileged(dir);
    const struct {
        const char* name;
        mode_t mode;
    } cases[] = {{"write-only.ini", 0200}, {"read-only.ini", 0444}};
    for (const auto& c : cases) {
        write(dir / c.name, "what the user could not read must survive");
        GiveToUnprivileged(dir / c.name);
        ::chmod((dir / c.name).c_str(), c.mode);
        const int result = RunUnprivileged([&] {
            try {
                ReplaceFileContents(dir / c.name, "replaced");
                return 1;
            } catch (const std::system_error& error) {
                return error.code().value() == EACCES ? 0 : 2;
            }
        });
        EXPECT_EQ(result, 0) << c.name;
        EXPECT_EQ(FileText(dir / c.name), "what the user could not read must survive") << c.name;
        EXPECT_EQ(mode(dir / c.name), c.mode) << c.name;
    }
    EXPECT_EQ(entries(), 2u);
}

TEST_F(ReplaceFileTest, TheOwnerAndGroupStayWhereTheProcessMaySetThem) {
    if (::geteuid() != 0) GTEST_SKIP() << "only root may give a file to another owner";
    write(dir / "owned.ini", "old");
    ASSERT_EQ(::chown((dir / "owned.ini").c_str(), kNobody, kNoGroup), 0);
    ReplaceFileContents(dir / "owned.ini", "new");
    struct stat status {};
    ASSERT_EQ(::stat((dir / "owned.ini").c_str(), &status), 0);
    EXPECT_EQ(status.st_uid, kNobody);
    EXPECT_EQ(status.st_gid, kNoGroup);
}

TEST_F(ReplaceFileTest, FailuresKeepTheOldFileAndSayWhy) {
    fs::create_directories(dir / "a directory");
    const struct {
        fs::path path;
        int error;
    } cases[] = {{dir / "missing" / "file.txt", ENOENT}, {dir / "a directory", EISDIR}};
    for (const auto& c : cases) {
        try {
            ReplaceFileContents(c.path, "text");
            ADD_FAILURE() << c.path << ": no error";
        } catch (const std::system_error& error) {
            EXPECT_EQ(error.code().value(), c.error) << c.path;
            EXPECT_NE(std::string(error.what()).find(c.path.string()), std::string::npos) << error.what();
        }
    }
    EXPECT_TRUE(fs::is_directory(dir / "a directory"));
}
