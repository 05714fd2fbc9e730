#include "module/file_name_rules.h"

#include <gtest/gtest.h>

namespace vd {
namespace {

LeadByteTable SingleByteCodePage() {
    LeadByteTable t{};
    return t;
}

// Code page 936: lead bytes 0x81..0xFE; trail bytes may be '\\' (0x5C) or '_' (0x5F).
LeadByteTable CodePage936() {
    LeadByteTable t{};
    for (int b = 0x81; b <= 0xFE; ++b) t[b] = true;
    return t;
}

struct PathCase {
    const char* path;
    const char* moduleName;
    const char* sdkPath;
};

TEST(FileNameRules, SingleByteTable) {
    const PathCase cases[] = {
        {"D:\\Client\\Decoders\\VD2_DemoPlay.dll", "VD2_DemoPlay.dll", "D:\\Client\\Decoders\\DemoPlay.dll"},
        {"D:\\Client\\VD2_Demo_Play.dll", "VD2_Demo_Play.dll", "D:\\Client\\Demo_Play.dll"},
        {"D:\\my_dir\\VD2_DemoPlay.dll", "VD2_DemoPlay.dll", "D:\\my_dir\\DemoPlay.dll"},
        {"D:\\Client\\VD2_.dll", "VD2_.dll", "D:\\Client\\.dll"},
        {"D:\\Client\\DemoPlay.dll", "DemoPlay.dll", ""},
        {"D:\\Client\\_DemoPlay.dll", "_DemoPlay.dll", "D:\\Client\\DemoPlay.dll"},
        {"D:\\Client\\", "", ""},
        {"VD2_DemoPlay.dll", "", ""},
        {"", "", ""},
    };
    for (const PathCase& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(ModuleFileNameFromPath(c.path, SingleByteCodePage()), c.moduleName);
        EXPECT_EQ(PlaySdkPathFromPath(c.path, SingleByteCodePage()), c.sdkPath);
    }
}

TEST(FileNameRules, TrailBytesAreNeverSeparators) {
    const PathCase cases[] = {
        // "\x81\x5C" is one character whose trail byte looks like a backslash.
        {"D:\\dir\x81\x5C"
         "VD2_Demo.dll",
         "dir\x81\x5C"
         "VD2_Demo.dll",
         "D:\\Demo.dll"},
        // "\x81\x5F" is one character whose trail byte looks like an underscore.
        {"D:\\C\\VD\x81\x5F"
         "2_Demo.dll",
         "VD\x81\x5F"
         "2_Demo.dll",
         "D:\\C\\Demo.dll"},
        {"D:\\C\\\x81\x5F"
         "Demo.dll",
         "\x81\x5F"
         "Demo.dll",
         ""},
    };
    for (const PathCase& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(ModuleFileNameFromPath(c.path, CodePage936()), c.moduleName);
        EXPECT_EQ(PlaySdkPathFromPath(c.path, CodePage936()), c.sdkPath);
    }
}

TEST(FileNameRules, PathThatFillsTheBufferIsNotUsed) {
    const std::string full(kModulePathLimit, 'x');
    struct {
        unsigned reported;
        std::size_t expectedSize;
    } cases[] = {
        {0, 0},                 // the call failed
        {kModulePathLimit, 0},  // cut by the platform
        {kModulePathLimit + 5, 0},
        {kModulePathLimit - 1, kModulePathLimit - 1},  // the longest path that fits
        {12, 12},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reported);
        EXPECT_EQ(ModulePathFromBuffer(full.c_str(), c.reported).size(), c.expectedSize);
    }
}

}  // namespace
}  // namespace vd
