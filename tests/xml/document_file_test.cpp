#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "xml/codepage.h"
#include "xml/xml_document.h"

namespace vd {
namespace {

// A file in the working directory, named after the running test and the
// code page (the same test may run at the same time in another locale),
// removed at the end.
class TempFile {
public:
    TempFile() {
        const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
        path_ = std::string("xml_") + info->test_suite_name() + "_" + info->name() + "_" +
                std::to_string(codepage::AnsiCodePage()) + ".tmp";
        std::remove(path_.c_str());
    }
    ~TempFile() { std::remove(path_.c_str()); }
    const char* Path() const { return path_.c_str(); }
    void Write(const std::string& bytes) const {
        std::FILE* f = std::fopen(path_.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), f), bytes.size());
        std::fclose(f);
    }
    std::string Read() const {
        std::string bytes;
        std::FILE* f = std::fopen(path_.c_str(), "rb");
        if (!f) return "<missing>";
        char buffer[4096];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) bytes.append(buffer, n);
        std::fclose(f);
        return bytes;
    }

private:
    std::string path_;
};

std::string Le16(const std::string& latin) {
    std::string out;
    for (char c : latin) {
        out += c;
        out += '\0';
    }
    return out;
}

std::string Be16(const std::string& latin) {
    std::string out;
    for (char c : latin) {
        out += '\0';
        out += c;
    }
    return out;
}

struct ReadCase {
    const char* what;
    std::string bytes;
    uint32_t codePage;
    std::string text;
    std::string log;
    uint32_t flags;
};

TEST(XmlDocumentFile, Reading) {
    const ReadCase cases[] = {
        // Nothing is examined in an empty file, so its flags stay.
        {"empty", "", 1252, "", "<read encoding=\"\" length=\"0\"/>", kDocUtf16BigEndian | kDocUtf16},
        {"utf-8 mark", "\xEF\xBB\xBF<r>caf\xC3\xA9</r>", 1252, "<r>caf\xE9</r>",
         "<bom/><read encoding=\"UTF-8\" length=\"12\"/><converted_to encoding=\"\" length=\"11\"/>", kDocUtf8Mark},
        {"utf-8 mark only", "\xEF\xBB\xBF", 1252, "", "<bom/><read encoding=\"UTF-8\" length=\"0\"/>", kDocUtf8Mark},
        {"utf-16le", "\xFF\xFE" + Le16("<r>\xE9</r>"), 1252, "<r>\xE9</r>",
         "<bom/><read encoding=\"UTF-16LE\" length=\"8\"/><converted_to encoding=\"\" length=\"8\"/>", kDocUtf16},
        {"utf-16be", "\xFE\xFF" + Be16("<r/>"), 1252, "<r/>",
         "<bom/><read encoding=\"UTF-16BE\" length=\"4\"/><endian_swap/><converted_to encoding=\"\" length=\"4\"/>",
         kDocUtf16BigEndian},
        {"utf-16 zero units", "\xFF\xFE" + Le16(std::string("<\0r/>", 5)), 1252, "<r/>",
         "<bom/><read encoding=\"UTF-16LE\" length=\"5\"/><nulls_removed count=\"1\"/>"
         "<converted_to encoding=\"\" length=\"4\"/>",
         kDocUtf16},
        {"utf-16 loss", "\xFF\xFE" + std::string("\x2D\x4E", 2), 1252, "?",
         "<bom/><read encoding=\"UTF-16LE\" length=\"1\"/><converted_to encoding=\"\" length=\"1\"/>"
         "<conversion_loss/>",
         kDocUtf16},
        {"markup means utf-8", "<r>plain</r>", 1252, "<r>plain</r>",
         "<read encoding=\"UTF-8\" length=\"12\"/><converted_to encoding=\"\" length=\"12\"/>", 0},
        {"detected utf-8", "plain caf\xC3\xA9", 1252, "plain caf\xE9",
         "<read encoding=\"UTF-8\" length=\"11\"/><converted_to encoding=\"\" length=\"10\"/><utf8_detection/>", 0},
        {"not utf-8", "caf\xE9 x", 1252, "caf\xE9 x", "<read encoding=\"\" length=\"6\"/><utf8_detection/>", 0},
        {"ascii", "abc", 1252, "abc", "<read encoding=\"UTF-8\" length=\"3\"/><utf8_detection/>", 0},
        {"zero bytes", std::string("ab\0c", 4), 1252, "abc",
         "<read encoding=\"UTF-8\" length=\"4\"/><nulls_removed count=\"1\"/><utf8_detection/>", 0},
        {"declared ansi", "<?xml version=\"1.0\" encoding=\"windows-1252\"?><r>\xE9</r>", 1252,
         "<?xml version=\"1.0\" encoding=\"windows-1252\"?><r>\xE9</r>",
         "<read encoding=\"windows-1252\" length=\"53\"/>", 0},
        {"declared other", "<?xml version=\"1.0\" encoding=\"windows-1252\"?><r>\xE9</r>", 936,
         "<?xml version=\"1.0\" encoding=\"windows-1252\"?><r>\xA8\xA6</r>",
         "<read encoding=\"windows-1252\" length=\"53\"/><converted_to encoding=\"\" length=\"54\"/>", 0},
        {"declared unknown", "<?xml encoding=\"x-unknown\"?><r>\xE9</r>", 1252,
         "<?xml encoding=\"x-unknown\"?><r>\xE9</r>", "<read encoding=\"x-unknown\" length=\"36\"/>", 0},
        {"declared chinese", "<?xml encoding=\"gb2312\"?><r>\xD6\xD0</r>", 1252, "<?xml encoding=\"gb2312\"?><r>?</r>",
         "<read encoding=\"gb2312\" length=\"34\"/><converted_to encoding=\"\" length=\"33\"/><conversion_loss/>", 0},
        {"html meta",
         "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\"></head>"
         "<body>\xC3\xA9</body></html>",
         1252,
         "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\"></head>"
         "<body>\xE9</body></html>",
         "<read encoding=\"utf-8\" length=\"108\"/><converted_to encoding=\"\" length=\"107\"/>", 0},
    };
    for (const ReadCase& c : cases) {
        SCOPED_TRACE(c.what);
        TempFile file;
        file.Write(c.bytes);
        XmlDocument doc(c.codePage);
        doc.SetFlags(kDocUtf16BigEndian | kDocUtf16 | kDocIgnoreCase);  // stale encoding flags are cleared
        EXPECT_TRUE(doc.ReadDocumentFile(file.Path()));
        EXPECT_EQ(doc.Text(), c.text);
        EXPECT_EQ(doc.ResultLog(), c.log);
        EXPECT_EQ(doc.Flags(), c.flags | kDocIgnoreCase);
    }
}

TEST(XmlDocumentFile, ReadThenParse) {
    TempFile file;
    file.Write("\xEF\xBB\xBF<r a=\"\xC3\xA9\"><x/></r>");
    XmlDocument doc(1252);
    ASSERT_TRUE(doc.ReadDocumentFile(file.Path()));
    ASSERT_TRUE(doc.ParseText());
    ASSERT_TRUE(doc.NextElement());
    EXPECT_EQ(doc.AttributeValue("a"), "\xE9");
    EXPECT_EQ(doc.ResultLog(),
              "<bom/><read encoding=\"UTF-8\" length=\"18\"/><converted_to encoding=\"\" length=\"17\"/>");
}

TEST(XmlDocumentFile, MissingFile) {
    XmlDocument doc(1252);
    doc.SetText("<old/>");
    EXPECT_FALSE(doc.ReadDocumentFile("no_such_dir_for_xml_tests/missing.lti"));
    EXPECT_EQ(doc.Text(), "");
    EXPECT_EQ(doc.ResultLog().rfind("<file_error msg=\"", 0), 0u) << doc.ResultLog();
    EXPECT_NE(doc.ResultLog().find("\" n=\""), std::string::npos) << doc.ResultLog();
    EXPECT_EQ(doc.ResultLog().find('\n'), std::string::npos);
    EXPECT_FALSE(doc.ParseText());
}

struct WriteCase {
    const char* what;
    uint32_t flags;
    std::string bytes;
    std::string log;
    std::string readBack;
};

TEST(XmlDocumentFile, Writing) {
    const std::string text = "<r>\xE9</r>";
    const WriteCase cases[] = {
        // Without a mark or declaration, text that starts with '<' is read as
        // UTF-8, which this 1252 text is not.
        {"ansi", 0, text, "<write encoding=\"\" length=\"8\"/>", "<r>?</r>"},
        {"utf-8", kDocUtf8Mark, "\xEF\xBB\xBF<r>\xC3\xA9</r>",
         "<bom/><converted_from encoding=\"\" length=\"8\"/><write encoding=\"UTF-8\" length=\"9\"/>", text},
        {"utf-16le", kDocUtf16, "\xFF\xFE" + Le16(text),
         "<bom/><converted_from encoding=\"\" length=\"8\"/><write encoding=\"UTF-16LE\" length=\"8\"/>", text},
        {"utf-16be", kDocUtf16BigEndian, "\xFE\xFF" + Be16(text),
         "<bom/><converted_from encoding=\"\" length=\"8\"/><endian_swap/><write encoding=\"UTF-16BE\" length=\"8\"/>",
         text},
    };
    for (const WriteCase& c : cases) {
        SCOPED_TRACE(c.what);
        TempFile file;
        XmlDocument doc(1252);
        doc.SetText(text);
        doc.SetFlags(c.flags);
        ASSERT_TRUE(doc.WriteDocumentFile(file.Path()));
        EXPECT_EQ(file.Read(), c.bytes);
        EXPECT_EQ(doc.ResultLog(), c.log);
        EXPECT_EQ(doc.Flags(), c.flags);
        // And back.
        XmlDocument back(1252);
        ASSERT_TRUE(back.ReadDocumentFile(file.Path()));
        EXPECT_EQ(back.Text(), c.readBack);
    }
}

TEST(XmlDocumentFile, AppendingWritesTheMarkOnce) {
    TempFile file;
    XmlDocument doc(1252);
    doc.SetText("<a/>");
    doc.SetFlags(kDocUtf16 | kDocAppend);
    ASSERT_TRUE(doc.WriteDocumentFile(file.Path()));
    ASSERT_TRUE(doc.WriteDocumentFile(file.Path()));
    EXPECT_EQ(doc.ResultLog(),
              "<converted_from encoding=\"\" length=\"4\"/><write encoding=\"UTF-16LE\" length=\"4\"/>");
    EXPECT_EQ(file.Read(), "\xFF\xFE" + Le16("<a/><a/>"));
}

TEST(XmlDocumentFile, WritingEmptyTextAndFailures) {
    TempFile file;
    XmlDocument doc(1252);
    ASSERT_TRUE(doc.WriteDocumentFile(file.Path()));
    EXPECT_EQ(doc.ResultLog(), "<write encoding=\"\" length=\"0\"/>");
    EXPECT_EQ(file.Read(), "");
    EXPECT_FALSE(doc.WriteDocumentFile("no_such_dir_for_xml_tests/out.xml"));
    EXPECT_EQ(doc.ResultLog().rfind("<file_error msg=\"", 0), 0u) << doc.ResultLog();
}

}  // namespace
}  // namespace vd

namespace vd {
namespace {

TEST(XmlDocumentFile, OnlyTheFirstKilobyteIsSearchedForADeclaration) {
    // A declaration-like meta element past the first 1024 bytes is not seen;
    // the file starts with '<', so it is taken as UTF-8.
    const std::string lateMeta = "<html><head>" + std::string(1100, ' ') +
                                 "<meta http-equiv=\"Content-Type\" content=\"charset=windows-1252\"></head>"
                                 "<body>\xE9</body></html>";
    TempFile file;
    file.Write(lateMeta);
    XmlDocument doc(1252);
    ASSERT_TRUE(doc.ReadDocumentFile(file.Path()));
    EXPECT_EQ(doc.ResultLog().rfind("<read encoding=\"UTF-8\"", 0), 0u) << doc.ResultLog();
    EXPECT_NE(doc.Text().find("<body>?</body>"), std::string::npos);

    // A byte-order mark wins over what the document declares.
    file.Write("\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"windows-1252\"?><r>\xC3\xA9</r>");
    ASSERT_TRUE(doc.ReadDocumentFile(file.Path()));
    EXPECT_EQ(doc.Text(), "<?xml version=\"1.0\" encoding=\"windows-1252\"?><r>\xE9</r>");
    EXPECT_EQ(doc.Flags(), kDocUtf8Mark);
}

}  // namespace
}  // namespace vd

namespace vd {
namespace {

// A file of 2 GiB (sparse: one byte written at its end) is past what the text
// can hold: it is refused with a size entry, in a 32-bit process too, where
// its size does not fit the C runtime's long.
TEST(XmlDocumentFile, AFileTooLargeForTheTextIsRefused) {
    TempFile file;
    std::FILE* f = std::fopen(file.Path(), "wb");
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(std::fseek(f, 0x7FFFFFFF, SEEK_SET), 0);
    ASSERT_EQ(std::fputc('<', f), '<');
    ASSERT_EQ(std::fclose(f), 0);

    XmlDocument doc(1252);
    doc.SetText("<old/>");
    EXPECT_FALSE(doc.ReadDocumentFile(file.Path()));
    EXPECT_EQ(doc.ResultLog(), "<size_limit type=\"text\"/>");
    EXPECT_EQ(doc.Text(), "");
    EXPECT_FALSE(doc.ParseText());
}

}  // namespace
}  // namespace vd

namespace vd {
namespace {

// A file just small enough for the text but too large for the memory of a
// 32-bit process fails the read with an entry; nothing is thrown. (A 64-bit
// process could hold it, so the case runs in 32-bit builds only.)
TEST(XmlDocumentFile, AFileTooLargeForMemoryFailsTheRead) {
    if (sizeof(void*) > 4) GTEST_SKIP() << "a 64-bit process can hold the file";
    TempFile file;
    std::FILE* f = std::fopen(file.Path(), "wb");
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(std::fseek(f, 0x7FFFFFFE, SEEK_SET), 0);
    ASSERT_EQ(std::fputc('<', f), '<');
    ASSERT_EQ(std::fclose(f), 0);

    XmlDocument doc(1252);
    doc.SetText("<old/>");
    bool read = true;
    EXPECT_NO_THROW(read = doc.ReadDocumentFile(file.Path()));
    EXPECT_FALSE(read);
    EXPECT_EQ(doc.ResultLog().rfind("<file_error msg=\"", 0), 0u) << doc.ResultLog();
    EXPECT_NE(doc.ResultLog().find("\" n=\"8\"/>"), std::string::npos) << doc.ResultLog();
    EXPECT_EQ(doc.Text(), "");
    EXPECT_EQ(doc.Flags() & (kDocReading | kDocWriting), 0u);
}

}  // namespace
}  // namespace vd

namespace vd {
namespace {

// A declared charset that the table names but the platform cannot convert
// (no such code page installed, or a 16- or 32-bit encoding named in 8-bit
// text) leaves the bytes as they are, as an unknown name does, instead of
// emptying the text.
TEST(XmlDocumentFile, ACharsetThePlatformCannotConvertLeavesTheBytes) {
    const char* const names[] = {"pt154", "cp853", "utf-16be", "utf-32", "UTF-32"};
    for (const char* name : names) {
        SCOPED_TRACE(name);
        const std::string bytes = std::string("<?xml version=\"1.0\" encoding=\"") + name + "\"?><r a=\"1\">\xE9</r>";
        TempFile file;
        file.Write(bytes);
        XmlDocument doc(1252);
        ASSERT_TRUE(doc.ReadDocumentFile(file.Path()));
        EXPECT_EQ(doc.Text(), bytes);
        EXPECT_EQ(doc.ResultLog(),
                  std::string("<read encoding=\"") + name + "\" length=\"" + std::to_string(bytes.size()) + "\"/>");
        ASSERT_TRUE(doc.ParseText());
        ASSERT_TRUE(doc.NextElement());
        EXPECT_EQ(doc.AttributeValue("a"), "1");
    }
}

}  // namespace
}  // namespace vd
