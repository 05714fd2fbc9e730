#include "player/plugin_facts.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace vdplay {
namespace {

struct CheckItem {
    size_t offset = 0;
    std::string bytes;
};

// Parses "offset,bytes"; false for anything else.
bool ParseItem(const std::string& item, CheckItem* out) {
    const size_t comma = item.find(',');
    if (comma == std::string::npos || comma == 0 || comma + 1 >= item.size()) return false;
    size_t offset = 0;
    constexpr size_t kFar = size_t(1) << 30;  // beyond any header a client reads
    for (size_t i = 0; i < comma; ++i) {
        if (item[i] < '0' || item[i] > '9') return false;
        offset = offset >= kFar ? kFar : offset * 10 + size_t(item[i] - '0');
    }
    out->offset = offset;
    out->bytes = item.substr(comma + 1);
    return true;
}

template <typename F>
void ForEachItem(const std::string& check, F f) {
    size_t start = 0;
    while (start <= check.size()) {
        size_t bar = check.find('|', start);
        if (bar == std::string::npos) bar = check.size();
        CheckItem item;
        if (ParseItem(check.substr(start, bar - start), &item)) f(item);
        start = bar + 1;
    }
}

}  // namespace

bool MatchesCheck(const std::string& check, const uint8_t* head, size_t size) {
    bool ok = true;
    ForEachItem(check, [&](const CheckItem& item) {
        if (item.offset > size || item.bytes.size() > size - item.offset ||
            std::memcmp(head + item.offset, item.bytes.data(), item.bytes.size()) != 0)
            ok = false;
    });
    return ok;
}

std::string SdkPathForPlugin(const std::string& pluginPath) {
    const size_t slash = pluginPath.find_last_of("\\/");
    const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const size_t underscore = pluginPath.find('_', nameStart);
    if (underscore == std::string::npos) return pluginPath;
    return pluginPath.substr(0, nameStart) + pluginPath.substr(underscore + 1);
}

std::string ResultText(int result) {
    switch (result) {
        case 0:
            return "0 (success)";
        case kResultNotImplemented:
            return "E_NOTIMPL (0x80004001, not implemented)";
        case kResultFail:
            return "E_FAIL (0x80004005)";
        default:
            break;
    }
    static const char* const kSdk[] = {"bad argument",
                                       "no such port",
                                       "file not found",
                                       "not an AVI file",
                                       "damaged headers",
                                       "no video stream",
                                       "unsupported video",
                                       "too many ports",
                                       "wrong port type",
                                       "stream buffer full",
                                       "not seekable",
                                       "seek past the end",
                                       "already recording",
                                       "not recording",
                                       "recording file failed",
                                       "called from the callback",
                                       "out of memory",
                                       "buffer too small",
                                       "stream headers not complete yet"};
    if (result < 0 && result >= -int(sizeof kSdk / sizeof kSdk[0]))
        return std::to_string(result) + " (" + kSdk[-result - 1] + ")";
    char text[32];
    std::snprintf(text, sizeof text, "%d (0x%08X)", result, unsigned(result));
    return text;
}

bool IsUnsupportedContent(int result) { return result <= -4 && result >= -7; }
bool IsUnreadable(int result) { return result == -3; }

}  // namespace vdplay
