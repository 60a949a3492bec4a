#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <csignal>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "events/EventExport.h"
#include "tests/support/ScratchDirectory.h"

using namespace kestrix;
using namespace kestrix::test;
namespace fs = std::filesystem;

namespace {
class ExportTest : public ::testing::Test {
protected:
    ScratchDirectory scratch{"kx-export"};
    const fs::path dir = scratch.path;
};

const std::vector<HexText> kRecords = {"18051E0F2D1E0000000A1B2C01220000", "18051E0F2D1E0000000A1B2C01220000",
                                       "1806010000000000000000000000FFFF"};
}  // namespace

TEST_F(ExportTest, WritesOneLinePerRecordWithCrLf) {
    const fs::path file = dir / "events.txt";
    WriteEventTextFile(file, kRecords);
    EXPECT_EQ(FileText(file), "18051E0F2D1E0000000A1B2C01220000\r\n18051E0F2D1E0000000A1B2C01220000\r\n"
                              "1806010000000000000000000000FFFF\r\n");
    EXPECT_EQ(fs::file_size(file), 34u * kRecords.size());
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);  // no temporary left
}

TEST_F(ExportTest, ReplacesAnExistingFile) {
    const fs::path file = dir / "events.txt";
    std::ofstream(file) << std::string(1000, 'x');
    WriteEventTextFile(file, {kRecords[0]});
    EXPECT_EQ(FileText(file), kRecords[0] + "\r\n");
}

TEST_F(ExportTest, AFailedExportLeavesTheOldFileAndNamesTheReason) {
    if (::geteuid() == 0) {
        // root writes into read-only directories; use a path below a file instead
        const fs::path blocker = dir / "plain-file";
        std::ofstream(blocker) << "old";
        try {
            WriteEventTextFile(blocker / "events.txt", kRecords);
            FAIL() << "no error";
        } catch (const std::runtime_error& e) {
            EXPECT_EQ(std::string(e.what()), "Cannot create file \"" + (blocker / "events.txt").string() + "\". Not a directory");
        }
        EXPECT_EQ(FileText(blocker), "old");
        return;
    }
    const fs::path file = dir / "events.txt";
    std::ofstream(file) << "old";
    fs::permissions(dir, fs::perms::owner_read | fs::perms::owner_exec);
    try {
        WriteEventTextFile(file, kRecords);
        FAIL() << "no error";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot create file \"" + file.string() + "\". Permission denied");
    }
    EXPECT_EQ(FileText(file), "old");
}

// A write that fails halfway (here: the file size limit, as a full disk would)
// removes its temporary file and leaves the old export in place.
TEST_F(ExportTest, AWriteThatFailsHalfwayLeavesTheOldFile) {
    const fs::path file = dir / "events.txt";
    std::ofstream(file) << "old";
    const std::vector<HexText> many(10000, kRecords[0]);
    rlimit saved{};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    rlimit small = saved;
    small.rlim_cur = 4096;
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    EXPECT_THROW(WriteEventTextFile(file, many), std::runtime_error);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);
    EXPECT_EQ(FileText(file), "old");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
}
