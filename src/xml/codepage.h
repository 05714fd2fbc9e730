// What the XML document needs of the platform's code-page services: the
// process's ANSI code page, which bytes lead a double-byte character, and the
// conversions between multibyte text and UTF-16. One implementation calls the
// Windows API; a small host implementation serves the native test build.
#ifndef VD_XML_CODEPAGE_H
#define VD_XML_CODEPAGE_H

#include <cstddef>
#include <cstdint>
#include <string>

namespace vd {
namespace codepage {

constexpr uint32_t kUtf16 = 1200;
constexpr uint32_t kUtf16BigEndian = 1201;
constexpr uint32_t kUtf8 = 65001;

// The code page of the process's multibyte texts (GetACP on Windows).
uint32_t AnsiCodePage();

// Whether the platform can convert text of `codePage` (a multibyte code
// page; UTF-16 is not one).
bool HasCodePage(uint32_t codePage);

// Marks in `leadBytes` (256 entries, cleared first) every byte that starts a
// double-byte character of `codePage`. False when the code page is unknown.
bool LeadBytes(uint32_t codePage, bool leadBytes[256]);

// Multibyte text of `codePage` to UTF-16. Invalid input becomes the platform's
// replacement character; false (and `out` empty) when the code page is unknown.
bool ToWide(uint32_t codePage, const char* text, std::size_t length, std::u16string& out);

// UTF-16 to multibyte text of `codePage`. `lossy`, when given and the code page
// allows the question, is set when some character had no equivalent and the
// default character was used instead.
bool FromWide(uint32_t codePage, const char16_t* units, std::size_t length, std::string& out, bool* lossy);

// Code pages whose conversion from UTF-16 cannot report a lost character.
inline bool CannotReportLoss(uint32_t codePage) {
    switch (codePage) {
        case 50220:
        case 50221:
        case 50222:
        case 50225:
        case 50227:
        case 50229:
        case 52936:
        case 54936:
        case 65000:
        case 65001:
            return true;
        default:
            return codePage >= 57002 && codePage <= 57011;
    }
}

// The error code of the last failed file operation and the system's message
// for an error code (one line, without the line break).
uint32_t LastFileError();
std::string SystemMessage(uint32_t error);
// The error code of a request for more memory than could be had.
uint32_t OutOfMemoryError();

}  // namespace codepage
}  // namespace vd

#endif
