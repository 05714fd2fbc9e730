// A scratch file in the working directory for one test: named after the
// running test and a caller's tag (the same test program may run at the same
// time under another locale), removed before and after use.
#ifndef VD_TESTS_COMMON_SCRATCH_FILE_H
#define VD_TESTS_COMMON_SCRATCH_FILE_H

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace vdtest {

class ScratchFile {
public:
    explicit ScratchFile(const std::string& tag = "", const std::string& extension = ".tmp") {
        const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
        path_ = std::string("scratch_") + info->test_suite_name() + "_" + info->name();
        if (!tag.empty()) path_ += "_" + tag;
        path_ += extension;
        std::remove(path_.c_str());
    }
    ~ScratchFile() { std::remove(path_.c_str()); }
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;

    const char* Path() const { return path_.c_str(); }

    // Replaces the file's content with `bytes`.
    void Write(const std::string& bytes) const {
        std::FILE* f = std::fopen(path_.c_str(), "wb");
        ASSERT_NE(f, nullptr) << path_;
        ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), f), bytes.size()) << path_;
        ASSERT_EQ(std::fclose(f), 0) << path_;
    }

private:
    std::string path_;
};

// UTF-16 little-endian bytes of `units`, without a byte-order mark.
inline std::string Utf16LeBytes(const std::u16string& units) {
    std::string out;
    for (char16_t u : units) {
        out += static_cast<char>(u & 0xFF);
        out += static_cast<char>(u >> 8);
    }
    return out;
}

// The same, big-endian.
inline std::string Utf16BeBytes(const std::u16string& units) {
    std::string out;
    for (char16_t u : units) {
        out += static_cast<char>(u >> 8);
        out += static_cast<char>(u & 0xFF);
    }
    return out;
}

}  // namespace vdtest

#endif
