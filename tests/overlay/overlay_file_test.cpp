#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

#include "common/scratch_file.h"
#include "overlay/overlay_file.h"
#include "overlay_test_support.h"
#include "xml/codepage.h"

namespace vd {
namespace {

using vdtest::CountingLock;
using vdtest::Describe;
using vdtest::MakeItem;
using vdtest::ScratchFile;
using vdtest::Utf16BeBytes;
using vdtest::Utf16LeBytes;

struct SideFileCase {
    const char* what;
    std::string bytes;
    bool loaded;
    const char* items;     // under code page 1252
    const char* items936;  // when it differs under 936
};

const SideFileCase kSideFiles[] = {
    {"a span ended by a later mention",
     "<Overlay>\r\n <G Stamp=\"1\"><Line ID=\"a\" Color=\"ff0000\"><Point>1,2</Point><Point> 3 , 4 "
     "</Point></Line></G>\r\n"
     " <G Stamp=\"2\"><Line ID=\"a\"/></G>\r\n</Overlay>\r\n",
     true, "L a 1000-2000 #0000ff [1,2 3,4]", nullptr},
    {"later mentions with a colour end the first item and add one each",
     "<r><g Stamp=\"1\"><Line ID=\"a\" Color=\"000001\"/></g><g Stamp=\"2\"><Line ID=\"a\" Color=\"000002\"/></g>"
     "<g Stamp=\"3\"><Line ID=\"a\" Color=\"000003\"/></g></r>",
     true, "L a 1000-3000 #010000 []\nL a 2000-open #020000 []\nL a 3000-open #030000 []", nullptr},
    {"items without an ID share the empty one",
     "<r><g Stamp=\"0.5\"><Line Color=\"ff0000\"><Point>1,1</Point></Line><Text Color=\"00ff00\" "
     "Pos=\"5,6\">hi</Text></g>"
     "<g Stamp=\"1.5\"><Line/><Line ID=\"a\"/><Text ID=\"\"/></g></r>",
     true, "L  500-1500 #0000ff [1,1]\nT  500-1500 #00ff00 @5,6 'hi'\nL a 1500-open #000000 []", nullptr},
    {"a Line and a Text with one ID are independent",
     "<r><g Stamp=\"1\"><Line ID=\"x\" Color=\"ff0000\"/><Text ID=\"x\" Color=\"0000FF\">t</Text></g>"
     "<g Stamp=\"2\"><Text ID=\"x\"/></g></r>",
     true, "L x 1000-open #0000ff []\nT x 1000-2000 #ff0000 @0,0 't'", nullptr},
    {"a mention without a colour ignores its points",
     "<r><g Stamp=\"1\"><Line ID=\"p\" Color=\"010203\"><Point>1,1</Point></Line></g>"
     "<g Stamp=\"2\"><Line ID=\"p\"><Point>9,9</Point></Line></g>"
     "<g Stamp=\"3\"><Line ID=\"p\" Color=\"\"><Point>8,8</Point></Line></g></r>",
     true, "L p 1000-3000 #030201 [1,1]", nullptr},
    {"invalid points are skipped and one point stays",
     "<r><g Stamp=\"0\"><Line ID=\"a\" Color=\"FFFFFF\"><Point>1,</Point><Point>,2</Point><Point>3</Point>"
     "<Point>4,5</Point><Point/><Points>6,6</Points><point>7,7</point></Line></g></r>",
     true, "L a 0-open #ffffff [4,5]", nullptr},
    {"names are exact and other nodes are passed over",
     "<?xml version=\"1.0\"?><!-- c --><r><g Stamp=\"1\">text<line ID=\"a\" Color=\"ff0000\"/>"
     "<Lines ID=\"b\" Color=\"ff0000\"/><TEXT ID=\"c\">x</TEXT><!-- c --><?pi x?>"
     "<Line ID=\"d\" Color=\"ff0000\"><Group><Point>1,1</Point></Group><Point>2,2</Point></Line></g></r>",
     true, "L d 1000-open #0000ff [2,2]", nullptr},
    {"the second level is a group whatever its name, deeper shapes are not read",
     "<r><Line ID=\"a\" Color=\"ff0000\" Stamp=\"4\"><Line ID=\"b\"/><x><Line ID=\"c\" "
     "Color=\"ff0000\"/></x></Line></r>",
     true, "L b 4000-open #000000 []", nullptr},
    {"text: references, CDATA, positions",
     "<r><g Stamp=\"2.5\"><Text ID=\"t\" Color=\"FF8000\" Pos=\"10\">a &lt;b&gt; &amp; <![CDATA[<c>]]></Text>"
     "<Text ID=\"u\" Color=\"ff0000\" Pos=\" 7 , 8 \"/><Text ID=\"v\" Color=\"ff0000\" "
     "Pos=\"-1,-2\">x<b/>y</Text></g></r>",
     true, "T t 2500-open #0080ff @0,0 'a <b> & <c>'\nT u 2500-open #0000ff @7,8 ''\nT v 2500-open #0000ff @-1,-2 ''",
     nullptr},
    {"stamps",
     "<r><g Stamp=\"-1\"><Line ID=\"a\" Color=\"ff0000\"/></g><g><Line ID=\"b\" Color=\"ff0000\"/></g>"
     "<g Stamp=\"abc\"><Line ID=\"c\" Color=\"ff0000\"/></g><g Stamp=\"0.0019\"><Line ID=\"d\" Color=\"ff0000\"/></g>"
     "<g stamp=\"7\"><Line ID=\"e\" Color=\"ff0000\"/></g></r>",
     true,
     "L a 4294966296-open #0000ff []\nL b 0-open #0000ff []\nL c 0-open #0000ff []\nL d 1-open #0000ff []\n"
     "L e 0-open #0000ff []",
     nullptr},
    {"colours",
     "<r><g><Line ID=\"a\" Color=\"ff0000\"/><Line ID=\"b\" Color=\"FF0000\"/><Line ID=\"c\" Color=\"ff00\"/>"
     "<Line ID=\"d\" Color=\"ff00zz\"/><Line ID=\"e\" Color=\"ff00001\"/><Line ID=\"f\" "
     "Color=\"&#x46;F0000\"/></g></r>",
     true,
     "L a 0-open #0000ff []\nL b 0-open #0000ff []\nL c 0-open #000000 []\nL d 0-open #000000 []\n"
     "L e 0-open #000000 []\nL f 0-open #0000ff []",
     nullptr},
    {"attributes written without a value give their names", "<r><g><Line ID Color><Point>1,1</Point></Line></g></r>",
     true, "L ID 0-open #000000 [1,1]", nullptr},
    {"an empty root", "<r/>", true, "", nullptr},
    {"empty groups", "<r><g Stamp=\"1\"/><g Stamp=\"2\"></g></r>", true, "", nullptr},
    {"two top-level elements", "<r><g Stamp=\"1\"><Line ID=\"a\" Color=\"ff0000\"/></g></r><r2/>", false, "", nullptr},
    {"a stray end tag", "<r><g Stamp=\"1\"><Line ID=\"a\" Color=\"ff0000\"/></g></x></r>", false, "", nullptr},
    {"an unclosed element", "<r><g Stamp=\"1\"><Line ID=\"a\" Color=\"ff0000\"></g></r>", false, "", nullptr},
    {"a syntax error", "<r><g Stamp=\"1\"><Line ID=\"a\" Color=\"ff0000\"/><!x></g></r>", false, "", nullptr},
    {"an empty file", "", false, "", nullptr},
    {"only a comment", "<!-- nothing -->", false, "", nullptr},
    {"UTF-8 with a byte-order mark",
     "\xEF\xBB\xBF<r><g Stamp=\"1\"><Text ID=\"\xC3\xA9\" Color=\"ff0000\" Pos=\"1,2\">caf\xC3\xA9 "
     "\xE4\xB8\xAD</Text></g></r>",
     true, "T \xE9 1000-open #0000ff @1,2 'caf\xE9 ?'", "T \xA8\xA6 1000-open #0000ff @1,2 'caf\xA8\xA6 \xD6\xD0'"},
    {"UTF-8 without a mark", "<r><g Stamp=\"1\"><Text ID=\"t\" Color=\"ff0000\">\xE4\xB8\xAD&#20013;</Text></g></r>",
     true, "T t 1000-open #0000ff @0,0 '?&#20013;'", "T t 1000-open #0000ff @0,0 '\xD6\xD0\xD6\xD0'"},
    {"UTF-16 little-endian",
     "\xFF\xFE" + Utf16LeBytes(u"<r><g Stamp=\"1\"><Text ID=\"\u00E9\" Color=\"ff0000\">\u4E2D</Text>"
                               u"<Line ID=\"l\" Color=\"00ff00\"><Point>1,2</Point><Point>3,4</Point></Line></g></r>"),
     true, "T \xE9 1000-open #0000ff @0,0 '?'\nL l 1000-open #00ff00 [1,2 3,4]",
     "T \xA8\xA6 1000-open #0000ff @0,0 '\xD6\xD0'\nL l 1000-open #00ff00 [1,2 3,4]"},
    {"UTF-16 big-endian",
     "\xFE\xFF" +
         Utf16BeBytes(u"<r><g Stamp=\"1\"><Line ID=\"z\"/><Text ID=\"\u00E9\" Color=\"ff0000\">\u4E2D</Text></g></r>"),
     true, "L z 1000-open #000000 []\nT \xE9 1000-open #0000ff @0,0 '?'",
     "L z 1000-open #000000 []\nT \xA8\xA6 1000-open #0000ff @0,0 '\xD6\xD0'"},
};

TEST(OverlaySideFile, Reading) {
    const uint32_t ansi = codepage::AnsiCodePage();
    ASSERT_TRUE(ansi == 1252 || ansi == 936) << ansi;
    if (const char* expected = std::getenv("VD_EXPECT_ANSI_CODE_PAGE")) {
        ASSERT_EQ(ansi, static_cast<uint32_t>(std::atoi(expected)));
    }
    for (const SideFileCase& c : kSideFiles) {
        SCOPED_TRACE(c.what);
        ScratchFile file(std::to_string(ansi), ".lti");
        file.Write(c.bytes);
        CountingLock lock;
        OverlayItemList items;
        EXPECT_EQ(LoadOverlayFile(lock, file.Path(), items), c.loaded);
        EXPECT_EQ(Describe(items), ansi == 936 && c.items936 ? c.items936 : c.items);
    }
}

// The same documents from memory (the ones that need no conversion).
TEST(OverlaySideFile, ReadingText) {
    for (const SideFileCase& c : kSideFiles) {
        if (c.items936 || c.bytes.compare(0, 1, "<") != 0 || c.bytes.find('\0') != std::string::npos) continue;
        SCOPED_TRACE(c.what);
        CountingLock lock;
        OverlayItemList items;
        EXPECT_EQ(LoadOverlayText(lock, c.bytes, items), c.loaded);
        EXPECT_EQ(Describe(items), c.items);
    }
}

TEST(OverlaySideFile, MissingFileLeavesTheItemsAlone) {
    CountingLock lock;
    OverlayItemList items;
    items.Append(MakeItem("kept", kOverlayLine, 5));
    EXPECT_FALSE(LoadOverlayFile(lock, "no_such_side_file.lti", items));
    EXPECT_FALSE(LoadOverlayFile(lock, "", items));
    EXPECT_FALSE(LoadOverlayFile(lock, nullptr, items));
    EXPECT_EQ(Describe(items), "L kept 5-open #000000 []");
    EXPECT_EQ(lock.Taken(), 0);
}

TEST(OverlaySideFile, TheLockIsTakenForEachLookUpAndEachAppend) {
    CountingLock lock;
    OverlayItemList items;
    // Three shapes looked up, two appended, and the span index built once.
    ASSERT_TRUE(LoadOverlayText(lock,
                                "<r><g Stamp=\"1\"><Line ID=\"a\" Color=\"ff0000\"/><Text ID=\"t\">x</Text><Other/></g>"
                                "<g Stamp=\"2\"><Line ID=\"a\"/></g></r>",
                                items));
    EXPECT_EQ(lock.Taken(), 6);
    EXPECT_FALSE(lock.Held());
}

TEST(OverlaySideFile, MentionsReachItemsAlreadyInTheList) {
    CountingLock lock;
    OverlayItemList items;
    const std::string text =
        "<r><g Stamp=\"1\"><Line ID=\"a\" Color=\"ff0000\"/></g><g Stamp=\"2\"><Line ID=\"a\"/></g></r>";
    ASSERT_TRUE(LoadOverlayText(lock, text, items));
    ASSERT_TRUE(LoadOverlayText(lock, text, items));
    // The second reading ends the first item again and adds its own, which
    // its second group cannot reach: the first item always answers.
    EXPECT_EQ(Describe(items), "L a 1000-2000 #0000ff []\nL a 1000-open #0000ff []");
}

TEST(OverlaySideFile, CoveringItemsAfterLoading) {
    CountingLock lock;
    OverlayItemList items;
    ASSERT_TRUE(LoadOverlayText(
        lock,
        "<r><g Stamp=\"1\"><Line ID=\"a\" Color=\"ff0000\"/><Text ID=\"b\" Color=\"00ff00\">b</Text></g>"
        "<g Stamp=\"2\"><Line ID=\"a\"/><Line ID=\"c\" Color=\"0000ff\"/></g></r>",
        items));
    std::vector<const OverlayItem*> out;
    const std::pair<uint32_t, const char*> cases[] = {
        {999, ""},
        {1000, "a b"},
        {2000, "a b c"},
        {2001, "b c"},
    };
    for (const auto& c : cases) {
        items.CoveringItems(c.first, out);
        std::string ids;
        for (const OverlayItem* item : out) ids += (ids.empty() ? "" : " ") + item->id;
        EXPECT_EQ(ids, c.second) << c.first;
    }
}

// A lock over a mutex, for a loader and a drawer on two threads.
class MutexLock final : public OverlayLock {
public:
    void Lock() override { mutex_.lock(); }
    void Unlock() override { mutex_.unlock(); }

private:
    std::mutex mutex_;
};

TEST(OverlaySideFile, LoadingWhileAnotherThreadDraws) {
    std::string text = "<r>";
    for (int g = 0; g < 2000; ++g) {
        text += "<g Stamp=\"" + std::to_string(g / 25.0) + "\">";
        for (int k = 0; k < 4; ++k)
            text += "<Line ID=\"L" + std::to_string((g + k) % 37) +
                    "\" Color=\"ff0000\"><Point>1,2</Point><Point>3,4</Point></Line>";
        text += "</g>";
    }
    text += "</r>";
    MutexLock lock;
    OverlayItemList items;
    std::atomic<bool> done{false};
    bool loaded = false;
    std::thread loader([&] {
        loaded = LoadOverlayText(lock, text, items);
        done = true;
    });
    std::vector<const OverlayItem*> out;
    std::size_t drawn = 0;
    for (uint32_t stamp = 0; !done; stamp = (stamp + 40) % 80000) {
        OverlayLockHold hold(lock);
        SelectOverlayItemsToDraw(items, false, stamp, out);
        for (const OverlayItem* item : out) drawn += item->points.size();
    }
    loader.join();
    EXPECT_TRUE(loaded);
    EXPECT_EQ(items.Size(), 8000u);
    (void)drawn;
}

}  // namespace
}  // namespace vd
