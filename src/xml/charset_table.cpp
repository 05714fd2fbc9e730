#include "xml/charset_table.h"

#include <cstring>

namespace vd {

int32_t CharsetCodePage(std::string_view name) {
    if (name.empty()) return 0;
    if (name.substr(0, 6) == "UTF-32") return kCodePageUtf32Units;
    if (name.size() >= 100) return -1;
    char lowered[100];
    uint32_t sum = 0;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const char c = (name[i] >= 'A' && name[i] <= 'Z') ? static_cast<char>(name[i] + ('a' - 'A')) : name[i];
        lowered[i] = c;
        sum += static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(c)));
    }
    const char* p = kCharsetTable[sum % kCharsetBuckets];
    while (*p) {
        const std::size_t length = static_cast<std::size_t>((p[0] - '0') * 10 + (p[1] - '0'));
        int32_t codePage = 0;
        for (int k = 2; k < 7; ++k) codePage = codePage * 10 + (p[k] - '0');
        if (length == name.size() && std::memcmp(p + 7, lowered, length) == 0) return codePage;
        p += 7 + length;
    }
    return -1;
}

bool EncodingsDiffer(std::string_view a, std::string_view b, uint32_t ansiCodePage) {
    int64_t ca = CharsetCodePage(a);
    int64_t cb = CharsetCodePage(b);
    if (ca == -1 || cb == -1) return false;
    if (ca != 0 && cb != 0) return ca != cb;
    if (ca == 0) ca = ansiCodePage;
    if (cb == 0) cb = ansiCodePage;
    return ca != cb;
}

}  // namespace vd
