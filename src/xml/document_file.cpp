// Reading a whole file into the document text and writing the text to a file,
// each in the file's encoding, with every step recorded in the result log.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <exception>

#include "xml/charset_table.h"
#include "xml/codepage.h"
#include "xml/encoding.h"
#include "xml/xml_document.h"

namespace vd {
namespace {

struct ByteOrderMark {
    const char* bytes;
    std::size_t length;
    const char* encoding;
    uint32_t flag;
    std::size_t unitSize;
};

const ByteOrderMark kByteOrderMarks[] = {
    {"\xEF\xBB\xBF", 3, "UTF-8", kDocUtf8Mark, 1},
    {"\xFF\xFE", 2, "UTF-16LE", kDocUtf16, 2},
    {"\xFE\xFF", 2, "UTF-16BE", kDocUtf16BigEndian, 2},
};

constexpr uint32_t kEncodingFlags = kDocUtf16 | kDocUtf8Mark | kDocUtf16BigEndian;
constexpr uint32_t kOpenFlags = kDocReading | kDocWriting | kDocAppend;
constexpr std::size_t kHeadLength = 1024;

void LogFileError(std::string& log, const CharClasses& classes, uint32_t error = codepage::LastFileError()) {
    XmlDocument::AppendResultEntry(log, classes, "file_error", "msg", codepage::SystemMessage(error), "n",
                                   static_cast<long long>(static_cast<int32_t>(error)));
}

// Removes every zero unit; returns how many there were.
std::size_t RemoveZeroUnits(std::string& bytes, std::size_t unitSize) {
    std::size_t kept = 0, removed = 0;
    const std::size_t units = bytes.size() / unitSize;
    for (std::size_t u = 0; u < units; ++u) {
        const char* unit = bytes.data() + u * unitSize;
        bool zero = true;
        for (std::size_t k = 0; k < unitSize; ++k) zero = zero && unit[k] == 0;
        if (zero) {
            ++removed;
            continue;
        }
        if (kept != u) std::memmove(&bytes[kept * unitSize], unit, unitSize);
        ++kept;
    }
    bytes.resize(kept * unitSize);
    return removed;
}

void SwapUnits(std::string& bytes) {
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) std::swap(bytes[i], bytes[i + 1]);
}

// The size of an open file, which is left positioned at its start; -1 when it
// cannot be told. Told in 64 bits, so that a file past 2 GiB comes out as too
// large for the text rather than as a failed call.
long long FileSize(std::FILE* file) {
#ifdef _WIN32
    if (_fseeki64(file, 0, SEEK_END) != 0) return -1;
    const long long size = _ftelli64(file);
    if (size < 0 || _fseeki64(file, 0, SEEK_SET) != 0) return -1;
#else
    if (fseeko(file, 0, SEEK_END) != 0) return -1;
    const long long size = ftello(file);
    if (size < 0 || fseeko(file, 0, SEEK_SET) != 0) return -1;
#endif
    return size;
}

// Closes the file; a failed close is a file error.
bool Close(std::FILE* file, std::string& log, const CharClasses& classes) {
    if (std::fclose(file) != 0) {
        LogFileError(log, classes);
        return false;
    }
    return true;
}

}  // namespace

bool XmlDocument::ReadDocumentFile(const char* path) {
    SetText(std::string());
    resultLog_.clear();
    std::string& log = resultLog_;
    std::FILE* file = std::fopen(path, "rb");
    if (!file) {
        LogFileError(log, classes_);
        return false;
    }
    uint32_t flags = (flags_ & ~kOpenFlags) | kDocReading;
    flags_ = flags;
    auto fail = [&]() {
        LogFileError(log, classes_);
        std::fclose(file);
        flags_ &= ~kOpenFlags;
        text_.clear();
        return false;
    };
    const long long size = FileSize(file);
    if (size < 0) return fail();
    if (static_cast<unsigned long long>(size) > kMaxTextLength) {
        Log("size_limit", "type", "text");
        std::fclose(file);
        flags_ &= ~kOpenFlags;
        return false;
    }

    std::string encoding;
    std::size_t unitSize = 1;
    std::size_t consumed = 0;
    if (size > 0) {
        char head[kHeadLength];
        const std::size_t headLength = std::min<std::size_t>(static_cast<std::size_t>(size), kHeadLength);
        if (std::fread(head, 1, headLength, file) != headLength) return fail();
        flags &= ~kEncodingFlags;
        const ByteOrderMark* mark = nullptr;
        for (const ByteOrderMark& m : kByteOrderMarks) {
            if (headLength >= m.length && std::memcmp(head, m.bytes, m.length) == 0) {
                mark = &m;
                break;
            }
        }
        if (mark) {
            flags |= mark->flag;
            unitSize = mark->unitSize;
            encoding = mark->encoding;
            consumed = mark->length;
            Log("bom");
        } else {
            encoding = FindDeclaredEncoding(head, headLength, classes_);
            if (encoding.empty() && head[0] == '<') encoding = "UTF-8";
        }
        if (std::fseek(file, static_cast<long>(consumed), SEEK_SET) != 0) return fail();
    }

    // The rest of the file as one block. A file the process has no room for
    // fails the read like any other error instead of throwing.
    std::string bytes;
    try {
        bytes.resize(static_cast<std::size_t>(size) - consumed);
    } catch (const std::exception&) {
        LogFileError(log, classes_, codepage::OutOfMemoryError());
        std::fclose(file);
        flags_ &= ~kOpenFlags;
        return false;
    }
    if (!bytes.empty() && std::fread(&bytes[0], 1, bytes.size(), file) != bytes.size()) return fail();
    if (!Close(file, log, classes_)) {
        flags_ &= ~kOpenFlags;
        return false;
    }
    const uint32_t ansi = classes_.CodePage();
    bool lossy = false;
    try {
        if (bytes.empty()) {
            Log("read", "encoding", encoding, "length", 0);
        } else if (flags & (kDocUtf16 | kDocUtf16BigEndian)) {
            Log("read", "encoding", encoding, "length", static_cast<long long>(bytes.size() / unitSize));
            bytes.resize(bytes.size() / 2 * 2);
            const std::size_t zeros = RemoveZeroUnits(bytes, 2);
            if (zeros) Log("nulls_removed", nullptr, {}, "count", static_cast<long long>(zeros));
            if (flags & kDocUtf16BigEndian) {
                SwapUnits(bytes);
                Log("endian_swap");
            }
            text_ = ConvertText("", "UTF-16", bytes, ansi, &lossy);
            Log("converted_to", "encoding", "", "length", static_cast<long long>(text_.size()));
            if (lossy) Log("conversion_loss");
        } else if (!EncodingsDiffer(encoding, "", ansi)) {
            const bool guessed = encoding.empty();
            const std::size_t length = bytes.size();
            const std::size_t zeros = RemoveZeroUnits(bytes, 1);
            const Utf8Test utf8 = guessed ? TestUtf8(bytes.data(), bytes.size()) : Utf8Test::kInvalid;
            if (utf8 != Utf8Test::kInvalid) encoding = "UTF-8";
            Log("read", "encoding", encoding, "length", static_cast<long long>(length));
            if (zeros) Log("nulls_removed", nullptr, {}, "count", static_cast<long long>(zeros));
            if (utf8 == Utf8Test::kMultibyte) {
                text_ = ConvertOwnedText("", "UTF-8", std::move(bytes), ansi, &lossy);
                Log("converted_to", "encoding", "", "length", static_cast<long long>(text_.size()));
                if (lossy) Log("conversion_loss");
            } else {
                text_ = std::move(bytes);
            }
            if (guessed) Log("utf8_detection");
        } else {
            Log("read", "encoding", encoding, "length", static_cast<long long>(bytes.size()));
            // Moves the bytes only when they come back unchanged, so the
            // fall-back below still has them otherwise.
            text_ = ConvertOwnedText("", encoding, std::move(bytes), ansi, &lossy);
            if (text_.empty()) {
                // Nothing comes out of bytes only when the platform cannot
                // read the encoding (a code page it does not have, or a 16- or
                // 32-bit encoding named in 8-bit text): the bytes stay as they
                // are, as for a name the table does not know.
                text_ = std::move(bytes);
            } else {
                Log("converted_to", "encoding", "", "length", static_cast<long long>(text_.size()));
                if (lossy) Log("conversion_loss");
            }
        }
    } catch (const std::exception&) {
        // No room for the converted text.
        text_.clear();
        LogFileError(log, classes_, codepage::OutOfMemoryError());
        flags_ &= ~kOpenFlags;
        return false;
    }
    flags_ = flags & ~kOpenFlags;
    return true;
}

bool XmlDocument::WriteDocumentFile(const char* path) {
    resultLog_.clear();
    std::string& log = resultLog_;
    const bool append = (flags_ & kDocAppend) != 0;
    std::FILE* file = std::fopen(path, append ? "ab" : "wb");
    if (!file) {
        LogFileError(log, classes_);
        return false;
    }
    const uint32_t savedFlags = flags_;
    flags_ |= kDocWriting;
    auto fail = [&]() {
        LogFileError(log, classes_);
        std::fclose(file);
        flags_ = savedFlags;
        return false;
    };
    long long size = 0;
    if (append && (size = FileSize(file)) < 0) return fail();
    const ByteOrderMark* mark = nullptr;
    for (const ByteOrderMark& m : kByteOrderMarks) {
        if (flags_ & m.flag) {
            mark = &m;
            break;
        }
    }
    const std::string encoding = mark ? mark->encoding : "";
    if (mark && size == 0) {
        if (std::fwrite(mark->bytes, 1, mark->length, file) != mark->length) return fail();
        Log("bom");
    }
    const uint32_t ansi = classes_.CodePage();
    std::string bytes;
    std::size_t units = 0;
    bool lossy = false;
    if (text_.empty()) {
        // nothing to convert
    } else if (mark && mark->unitSize == 2) {
        bytes = ConvertText("UTF-16", "", text_, ansi, nullptr);
        Log("converted_from", "encoding", "", "length", static_cast<long long>(text_.size()));
        if (mark->flag == kDocUtf16BigEndian) {
            SwapUnits(bytes);
            Log("endian_swap");
        }
        units = bytes.size() / 2;
    } else if (EncodingsDiffer(encoding, "", ansi)) {
        bytes = ConvertText(encoding, "", text_, ansi, &lossy);
        Log("converted_from", "encoding", "", "length", static_cast<long long>(text_.size()));
        if (lossy) Log("conversion_loss");
        units = bytes.size();
    } else {
        bytes = text_;
        units = bytes.size();
    }
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size()) return fail();
    Log("write", "encoding", encoding, "length", static_cast<long long>(units));
    const bool closed = Close(file, log, classes_);
    flags_ = savedFlags;
    return closed;
}

}  // namespace vd
