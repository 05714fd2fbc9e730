// What vdplay reads from the plug-in's catalogue and file name, and how it
// words the plug-in's results and its own summary.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "player/exit_codes.h"
#include "player/output_trace.h"
#include "player/plugin_facts.h"
#include "player/report.h"

namespace {

TEST(PluginFacts, CheckRuleMatchesTheFileHeader) {
    const std::string avi = std::string("RIFF\x10\0\0\0AVI LIST", 16);
    const std::string wave = std::string("RIFF\x10\0\0\0WAVEfmt ", 16);
    struct Case {
        std::string check;
        std::string head;
        bool match;
    } cases[] = {
        {"0,RIFF|8,AVI ", avi, true},
        {"0,RIFF|8,AVI ", wave, false},
        {"0,RIFF|8,AVI ", avi.substr(0, 10), false},  // too short to hold the second item
        {"0,RIFF", wave, true},
        {"", "anything", true},
        {"4,\x10", avi, true},
        {"x,RIFF|8,AVI ", avi, true},  // an item that is not "offset,bytes" is ignored
        {"0,RIFF||8,AVI ", avi, true},
        {"1,RIFF", avi, false},
        {"99999999,A", avi, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(vdplay::MatchesCheck(c.check, reinterpret_cast<const uint8_t*>(c.head.data()), c.head.size()),
                  c.match)
            << c.check;
    }
}

TEST(PluginFacts, SdkIsNamedAfterThePluginsFirstUnderscore) {
    struct Case {
        const char* plugin;
        const char* sdk;
    } cases[] = {
        {"VD2_DemoPlay.dll", "DemoPlay.dll"},
        {"C:\\bin\\VD2_DemoPlay.dll", "C:\\bin\\DemoPlay.dll"},
        {"C:\\my_plugins\\VD2_Cam_Sdk.dll", "C:\\my_plugins\\Cam_Sdk.dll"},
        {"Z:/a_b/VD2_X.dll", "Z:/a_b/X.dll"},
        {"C:\\my_dir\\Plain.dll", "C:\\my_dir\\Plain.dll"},
    };
    for (const Case& c : cases) EXPECT_EQ(vdplay::SdkPathForPlugin(c.plugin), c.sdk) << c.plugin;
}

TEST(PluginFacts, ResultsAreNamed) {
    EXPECT_NE(vdplay::ResultText(vdplay::kResultNotImplemented).find("E_NOTIMPL"), std::string::npos);
    EXPECT_NE(vdplay::ResultText(vdplay::kResultFail).find("E_FAIL"), std::string::npos);
    EXPECT_EQ(vdplay::ResultText(-3), "-3 (file not found)");
    EXPECT_EQ(vdplay::ResultText(-19), "-19 (stream headers not complete yet)");
    EXPECT_EQ(vdplay::ResultText(-20), "-20 (0xFFFFFFEC)");
    EXPECT_TRUE(vdplay::IsUnsupportedContent(-4));
    EXPECT_TRUE(vdplay::IsUnsupportedContent(-7));
    EXPECT_FALSE(vdplay::IsUnsupportedContent(-3));
    EXPECT_TRUE(vdplay::IsUnreadable(-3));
}

TEST(Report, TitleShowsPositionLengthAndSize) {
    vdplay::TitleState t;
    t.file = "C:\\rec\\sample.avi";
    t.positionSeconds = 3;
    t.lengthSeconds = 10;
    t.width = 640;
    t.height = 480;
    t.sound = true;
    EXPECT_EQ(vdplay::WindowTitle(t), "vdplay - sample.avi - 00:03 / 00:10 - 640x480");
    t.stream = true;
    t.speed = -2;
    t.paused = true;
    t.sound = false;
    t.width = 0;
    t.ports = 4;
    EXPECT_EQ(vdplay::WindowTitle(t), "vdplay - sample.avi - live 00:03 - ?x? - 4 ports - speed /4 - paused - muted");
    EXPECT_EQ(vdplay::ClockOf(3725), "1:02:05");
    EXPECT_EQ(vdplay::ClockOf(-1), "--:--");
}

TEST(Report, SummaryIsOneLineOfKeyValuePairs) {
    vdplay::Summary s;
    s.mode = "stream";
    s.ports = 2;
    s.pictures = 120;
    s.soundBlocks = 40;
    s.lastStampMs = 2360;
    s.positionSeconds = 2;
    s.width = 320;
    s.height = 240;
    s.files.push_back({"snapshot", "out/my snap.bmp", 307254});
    s.files.push_back({"record", "r.avi", -1});
    s.exitCode = vdplay::kExitOutputFailed;
    EXPECT_EQ(vdplay::SummaryLine(s),
              "vdplay summary: mode=stream ports=2 pictures=120 sound_blocks=40 last_stamp_ms=2360 position_s=2 "
              "length_s=- size=320x240 outputs=unknown snapshot=\"out/my snap.bmp\" snapshot_bytes=307254 record=r.avi "
              "record_bytes=- exit=9 result=output-failed");
}

std::string WithZero(const char* text) { return std::string(text, std::strlen(text) + 1); }

TEST(Report, OutputTracesAreReadStrictly) {
    struct Case {
        std::string text;  // as the plug-in passes it, terminating zero included where it counts it
        bool read;
        const char* line;
    } cases[] = {
        {"video output: port=3 output=drawdib reason=cheaper\n", true, "port 3 video output drawdib (cheaper)"},
        {WithZero("video output: port=0 output=ddraw reason=cheaper\n"), true, "port 0 video output ddraw (cheaper)"},
        {"video output: port=12 output=ddraw reason=forced\r\n", true, "port 12 video output ddraw (forced)"},
        {"video output: port=1 output=drawdib reason=unavailable\n", true, "port 1 video output drawdib (unavailable)"},
        {"video output: port=1 output=drawdib reason=format\n", true, "port 1 video output drawdib (format)"},
        {"video output: port=3 output=drawdib reason=cheaper", false, ""},  // not a whole line
        {"video output: port=3 output=gdi reason=cheaper\n", false, ""},
        {"video output: port=3 output=ddraw reason=only\n", false, ""},
        {"video output: port=-1 output=ddraw reason=forced\n", false, ""},
        {"video output: port=3 output=ddraw\n", false, ""},
        {"video output: port=3 output=ddraw reason=forced extra=1\n", false, ""},
        {"video output: output=ddraw port=3 reason=forced\n", false, ""},
        {"video output: port= output=ddraw reason=forced\n", false, ""},
        {"video output: port=99999999999 output=ddraw reason=forced\n", false, ""},
        {"begin draw video\n", false, ""},
        {"", false, ""},
    };
    for (const Case& c : cases) {
        vdplay::OutputTrace trace;
        ASSERT_EQ(vdplay::ParseOutputTrace(c.text.data(), c.text.size(), &trace), c.read) << c.text;
        if (c.read) {
            EXPECT_EQ(vdplay::OutputTraceLine(trace), c.line);
        }
    }
    EXPECT_EQ(vdplay::OutputsValue({}), "unknown");
    EXPECT_EQ(vdplay::OutputsValue({"", ""}), "unknown");
    EXPECT_EQ(vdplay::OutputsValue({"ddraw", "", "drawdib"}), "ddraw,unknown,drawdib");
}

TEST(Report, EveryExitCodeHasItsOwnName) {
    std::vector<std::string> names;
    for (int code : {0, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}) {
        const std::string name = vdplay::ExitCodeName(code);
        for (const std::string& other : names) EXPECT_NE(name, other) << code;
        names.push_back(name);
    }
}

}  // namespace
