// The code-page layer over the Windows API.
#include "xml/codepage.h"

#include <windows.h>

#include <climits>

namespace vd {
namespace codepage {

uint32_t AnsiCodePage() { return GetACP(); }

bool HasCodePage(uint32_t codePage) {
    return codePage != kUtf16 && codePage != kUtf16BigEndian && IsValidCodePage(codePage);
}

bool LeadBytes(uint32_t codePage, bool leadBytes[256]) {
    for (int i = 0; i < 256; ++i) leadBytes[i] = false;
    CPINFO info;
    if (!GetCPInfo(codePage, &info)) return false;
    // Pairs of inclusive ranges, ended by a pair of zeros.
    for (int i = 0; i + 1 < MAX_LEADBYTES && info.LeadByte[i] != 0; i += 2) {
        for (unsigned b = info.LeadByte[i]; b <= info.LeadByte[i + 1] && b < 256; ++b) leadBytes[b] = true;
    }
    return true;
}

bool ToWide(uint32_t codePage, const char* text, std::size_t length, std::u16string& out) {
    out.clear();
    if (length == 0) return true;
    if (length > INT_MAX) return false;
    const int needed = MultiByteToWideChar(codePage, 0, text, static_cast<int>(length), nullptr, 0);
    if (needed <= 0) return false;
    out.resize(static_cast<std::size_t>(needed));
    const int written =
        MultiByteToWideChar(codePage, 0, text, static_cast<int>(length), reinterpret_cast<wchar_t*>(&out[0]), needed);
    out.resize(written > 0 ? static_cast<std::size_t>(written) : 0);
    return written > 0;
}

namespace {

// Code pages whose conversion from UTF-16 takes no flags and no used-default
// question: the stateful and Unicode ones, and the symbol code page.
bool TakesNoFlags(uint32_t codePage) { return codePage == 42 || CannotReportLoss(codePage); }

}  // namespace

bool FromWide(uint32_t codePage, const char16_t* units, std::size_t length, std::string& out, bool* lossy) {
    out.clear();
    if (lossy) *lossy = false;
    if (length == 0) return true;
    if (length > INT_MAX / 4) return false;
    const wchar_t* wide = reinterpret_cast<const wchar_t*>(units);
    // No best fit: a character without an equivalent must become the default
    // character (and be reported), never a look-alike such as 'a' for alpha.
    // The size is asked with the same flags, as best fit can change it.
    const DWORD flags = TakesNoFlags(codePage) ? 0 : WC_NO_BEST_FIT_CHARS;
    BOOL usedDefault = FALSE;
    BOOL* ask = (lossy && !TakesNoFlags(codePage)) ? &usedDefault : nullptr;
    const int needed =
        WideCharToMultiByte(codePage, flags, wide, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
    if (needed <= 0) return false;
    out.resize(static_cast<std::size_t>(needed));
    const int written =
        WideCharToMultiByte(codePage, flags, wide, static_cast<int>(length), &out[0], needed, nullptr, ask);
    out.resize(written > 0 ? static_cast<std::size_t>(written) : 0);
    if (ask) *lossy = usedDefault != FALSE;
    return written > 0;
}

uint32_t LastFileError() { return GetLastError(); }

uint32_t OutOfMemoryError() { return ERROR_NOT_ENOUGH_MEMORY; }

std::string SystemMessage(uint32_t error) {
    char* buffer = nullptr;
    const DWORD n =
        FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, error, 0, reinterpret_cast<char*>(&buffer), 0, nullptr);
    std::string message;
    if (n > 0 && buffer) message.assign(buffer, n > 100 ? 100 : n);
    if (buffer) LocalFree(buffer);
    const std::size_t cut = message.find_first_of("\r\n");
    if (cut != std::string::npos) message.resize(cut);
    return message;
}

}  // namespace codepage
}  // namespace vd
