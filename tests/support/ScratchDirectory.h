#pragma once
// A fresh directory for each test, named after the test, and the whole text of
// a file written there.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace kestrix::test {

// Made empty for the running test; removed with all in it afterwards, also
// where the test took the owner's rights on it away.
class ScratchDirectory {
public:
    explicit ScratchDirectory(const std::string& prefix)
        : path(std::filesystem::temp_directory_path() /
               (prefix + "-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name())) {
        std::filesystem::remove_all(path);
        std::filesystem::create_directories(path);
    }
    ~ScratchDirectory() {
        std::error_code ignored;
        std::filesystem::permissions(path, std::filesystem::perms::owner_all, ignored);
        std::filesystem::remove_all(path, ignored);
    }
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;

    const std::filesystem::path path;
};

// Every byte of the file; empty when it cannot be read.
inline std::string FileText(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace kestrix::test
