#include <gtest/gtest.h>

#include <string>

#include "overlay/overlay_values.h"

namespace vd {
namespace {

TEST(OverlayValues, Colors) {
    const std::pair<std::string, uint32_t> cases[] = {
        {"ff0000", 0x000000FF},
        {"FF0000", 0x000000FF},  // upper case is hexadecimal too
        {"00ff00", 0x0000FF00},
        {"0000Ff", 0x00FF0000},
        {"123456", 0x00563412},
        {"aBcDeF", 0x00EFCDAB},
        {"FFFFFF", 0x00FFFFFF},
        {"fff", 0},
        {"ff00", 0},
        {"ff00000", 0},
        {"gg0000", 0},  // six characters, not all digits
        {"ff 000", 0},
        {"0x00ff", 0},
        {"+f0000", 0},
        {"", 0},
        {std::string("ff0000\0zz", 9), 0x000000FF},  // ends at the NUL
        {std::string("ff\0000", 5), 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first);
        EXPECT_EQ(ParseOverlayColor(c.first), c.second);
    }
}

TEST(OverlayValues, Stamps) {
    const std::pair<std::string, uint32_t> cases[] = {
        {"1.5", 1500},
        {"0.0019", 1},
        {"0.001", 1},  // 0.001 * 1000 is 1 after rounding, not 0.999...
        {"2", 2000},
        {"-1", 0xFFFFFC18},
        {"-0.5", 0xFFFFFE0C},
        {"-0.0019", 0xFFFFFFFF},  // toward zero: -1
        {" \t3.25", 3250},
        {"+4", 4000},
        {".5", 500},
        {"5.", 5000},
        {"1e3", 1000000},
        {"1E-3", 1},
        {"1e", 1000},
        {"1e+", 1000},
        {"12abc", 12000},
        {"1,5", 1000},
        {"4294967.295", 0xFFFFFFFF},
        {"4294967.296", 0},  // 2^32 ms: the low 32 bits
        {"4294967.297", 1},
        {"9.3e15", 0},  // beyond 64 bits
        {"-9.3e15", 0},
        {"1e400", 0},
        {"1e-400", 0},
        {"", 0},
        {"abc", 0},
        {".", 0},
        {"-", 0},
        {"e5", 0},
        {"0x10", 0},  // never hexadecimal
        {"inf", 0},
        {"nan", 0},
        {std::string("7\0"
                     "5",
                     3),
         7000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first);
        EXPECT_EQ(ParseOverlayStamp(c.first), c.second);
    }
}

struct PointCase {
    std::string text;
    bool valid;
    int32_t x, y;
};

TEST(OverlayValues, Points) {
    const PointCase cases[] = {
        {"10,20", true, 10, 20},
        {"  10  ,  20  ", true, 10, 20},
        {"-3,+4", true, -3, 4},
        {"0,0", true, 0, 0},
        {"a,b", true, 0, 0},  // read as atoi reads them
        {"7x,8y", true, 7, 8},
        {"1,2,3", true, 1, 2},
        {"\t1,2\t", true, 1, 2},  // only ' ' is stripped, and atoi skips the tab
        {"99999999999,-99999999999", true, 2147483647, -2147483647 - 1},
        {"2147483647,-2147483648", true, 2147483647, -2147483647 - 1},
        {"10,", false, 0, 0},
        {"10, ", false, 0, 0},
        {",20", false, 0, 0},
        {"  ,20", false, 0, 0},
        {"10 20", false, 0, 0},
        {"", false, 0, 0},
        {",", false, 0, 0},
        {std::string("1,\0"
                     "2",
                     4),
         false, 0, 0},  // ends at the NUL, after the comma
    };
    const CharClasses cp1252(1252);
    for (const PointCase& c : cases) {
        SCOPED_TRACE(c.text);
        OverlayPoint point{-77, -88};
        EXPECT_EQ(ParseOverlayPoint(c.text, cp1252, point), c.valid);
        EXPECT_EQ(point.x, c.valid ? c.x : -77);
        EXPECT_EQ(point.y, c.valid ? c.y : -88);
    }
}

TEST(OverlayValues, TheCommaSearchStepsOverDoubleByteCharacters) {
    // 0x81 leads a double-byte character in 936, so the comma after it is
    // its second byte there, and the split comes at the next comma.
    const std::string text = "\x81,1,2";
    OverlayPoint point;
    ASSERT_TRUE(ParseOverlayPoint(text, CharClasses(1252), point));
    EXPECT_EQ(point.x, 0);
    EXPECT_EQ(point.y, 1);
    ASSERT_TRUE(ParseOverlayPoint(text, CharClasses(936), point));
    EXPECT_EQ(point.x, 0);
    EXPECT_EQ(point.y, 2);
    // Only a comma of its own: "\x81," is one character, so there is none.
    EXPECT_FALSE(ParseOverlayPoint("5\x81,", CharClasses(936), point));
}

}  // namespace
}  // namespace vd
