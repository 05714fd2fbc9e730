// A character that the target code page cannot show is never swapped for a
// look-alike: a reference to it stays literal, and file text gets the default
// character with the loss recorded. Runs under the ANSI code page of the test
// run (1252, and 936 in the win32 build's second run) and with both code pages
// named explicitly.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "common/scratch_file.h"
#include "xml/codepage.h"
#include "xml/entities.h"
#include "xml/xml_document.h"

namespace vd {
namespace {

using vdtest::ScratchFile;
using vdtest::Utf16LeBytes;

struct FromWideCase {
    uint32_t codePage;
    std::u16string units;
    std::string bytes;
    bool lossy;
};

TEST(XmlNoBestFit, ConversionFromUtf16) {
    const FromWideCase cases[] = {
        {1252, u"\u03B1", "?", true},      // small alpha, not 'a'
        {1252, u"\u0391", "?", true},      // capital alpha, not 'A'
        {1252, u"x\u0100y", "x?y", true},  // A with macron, not 'A'
        {1252, u"\u2212", "?", true},      // minus sign, not '-'
        {1252, u"\uFF21", "?", true},      // full-width A
        {1252, u"\u00C1\u20AC\u00FF", "\xC1\x80\xFF", false},
        {936, u"\u00C1", "?", true},  // capital A acute, not the small one
        {936, u"\u0100", "?", true},
        {936, u"\u00E1\u03B1\u0101", "\xA8\xA2\xA6\xC1\xA8\xA1", false},
        {936, u"\uFF21\u221E", "\xA3\xC1\xA1\xDE", false},
        {936, u"\u00C1\u4E2D", "?\xD6\xD0", true},
        // A code page that cannot be asked about loss still converts.
        {65001, u"\u03B1\u0100", "\xCE\xB1\xC4\x80", false},
    };
    for (const FromWideCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "code page " << c.codePage << ", expected " << c.bytes);
        std::string out;
        bool lossy = !c.lossy;
        ASSERT_TRUE(codepage::FromWide(c.codePage, c.units.data(), c.units.size(), out, &lossy));
        EXPECT_EQ(out, c.bytes);
        EXPECT_EQ(lossy, c.lossy);
        // Without the question the bytes are the same.
        std::string unasked;
        ASSERT_TRUE(codepage::FromWide(c.codePage, c.units.data(), c.units.size(), unasked, nullptr));
        EXPECT_EQ(unasked, c.bytes);
    }
}

struct ReferenceCase {
    const char* escaped;
    const char* cp1252;
    const char* cp936;
};

const ReferenceCase kReferences[] = {
    {"&alpha; &#x3B1;", "&alpha; &#x3B1;", "\xA6\xC1 \xA6\xC1"},
    {"&Aacute;", "\xC1", "&Aacute;"},
    {"&aacute;", "\xE1", "\xA8\xA2"},
    {"&#x100;&#257;", "&#x100;&#257;", "&#x100;\xA8\xA1"},
    {"&minus;&#xFF21;", "&minus;&#xFF21;", "&minus;\xA3\xC1"},
    {"&euro;&infin;", "\x80&infin;", "\x80\xA1\xDE"},
};

TEST(XmlNoBestFit, ReferencesStayLiteral) {
    const CharClasses cp1252(1252), cp936(936);
    for (const ReferenceCase& c : kReferences) {
        SCOPED_TRACE(c.escaped);
        EXPECT_EQ(DecodeEntities(c.escaped, std::strlen(c.escaped), cp1252), c.cp1252);
        EXPECT_EQ(DecodeEntities(c.escaped, std::strlen(c.escaped), cp936), c.cp936);
    }
}

// The document in the process's own code page, as the overlay reader uses it.
TEST(XmlNoBestFit, AttributeUnderTheAnsiCodePage) {
    const uint32_t ansi = codepage::AnsiCodePage();
    ASSERT_TRUE(ansi == 1252 || ansi == 936) << ansi;
    if (const char* expected = std::getenv("VD_EXPECT_ANSI_CODE_PAGE")) {
        ASSERT_EQ(ansi, static_cast<uint32_t>(std::atoi(expected)));
    }
    for (const ReferenceCase& c : kReferences) {
        SCOPED_TRACE(c.escaped);
        XmlDocument doc;
        doc.SetText(std::string("<r a=\"") + c.escaped + "\">" + c.escaped + "</r>");
        ASSERT_TRUE(doc.ParseText());
        ASSERT_TRUE(doc.NextElement());
        const char* expected = ansi == 1252 ? c.cp1252 : c.cp936;
        EXPECT_EQ(doc.AttributeValue("a"), expected);
        EXPECT_EQ(doc.ElementText(), expected);
    }
}

struct FileCase {
    const char* what;
    std::string bytes;
    uint32_t codePage;
    std::string text;
    bool loss;
};

TEST(XmlNoBestFit, FileTextGetsTheDefaultCharacterAndRecordsTheLoss) {
    // "Áα Ā" in UTF-8 (markup first, so read as UTF-8), with a mark, and in UTF-16.
    const std::string utf8 = "<r>\xC3\x81\xCE\xB1 \xC4\x80</r>";
    const std::string utf16 = "\xFF\xFE" + Utf16LeBytes(u"<r>\u00C1\u03B1 \u0100</r>");
    const uint32_t ansi = codepage::AnsiCodePage();
    const FileCase cases[] = {
        {"utf-8 under 1252", utf8, 1252, "<r>\xC1? ?</r>", true},
        {"utf-8 mark under 1252", "\xEF\xBB\xBF" + utf8, 1252, "<r>\xC1? ?</r>", true},
        {"utf-16 under 1252", utf16, 1252, "<r>\xC1? ?</r>", true},
        {"utf-8 under 936", utf8, 936, "<r>?\xA6\xC1 ?</r>", true},
        {"utf-16 under 936", utf16, 936, "<r>?\xA6\xC1 ?</r>", true},
        {"representable under 1252", "<r>\xC3\x81\xE2\x82\xAC</r>", 1252, "<r>\xC1\x80</r>", false},
        {"representable under 936", "<r>\xC3\xA1\xCE\xB1</r>", 936, "<r>\xA8\xA2\xA6\xC1</r>", false},
        {"declared latin1 under 936", "<?xml version=\"1.0\" encoding=\"latin1\"?><r>\xC1</r>", 936,
         "<?xml version=\"1.0\" encoding=\"latin1\"?><r>?</r>", true},
        {"declared greek under 1252", "<?xml version=\"1.0\" encoding=\"windows-1253\"?><r>\xE1</r>", 1252,
         "<?xml version=\"1.0\" encoding=\"windows-1253\"?><r>?</r>", true},
    };
    for (const FileCase& c : cases) {
        SCOPED_TRACE(c.what);
        ScratchFile file(std::to_string(ansi));
        file.Write(c.bytes);
        // Explicitly in the code page, and once more through the process's
        // own code page when it is the same one.
        for (uint32_t documentCodePage : {c.codePage, c.codePage == ansi ? 0u : c.codePage}) {
            XmlDocument doc(documentCodePage);
            ASSERT_TRUE(doc.ReadDocumentFile(file.Path())) << doc.ResultLog();
            EXPECT_EQ(doc.Text(), c.text);
            EXPECT_EQ(doc.ResultLog().find("<conversion_loss/>") != std::string::npos, c.loss) << doc.ResultLog();
        }
    }
}

}  // namespace
}  // namespace vd
