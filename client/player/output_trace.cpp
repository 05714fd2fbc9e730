#include "player/output_trace.h"

#include <cstring>

namespace vdplay {
namespace {

const char* const kOutputs[] = {"ddraw", "drawdib"};
const char* const kReasons[] = {"forced", "unavailable", "format", "cheaper"};

// Takes "<key>=" and the word after it up to a space or the end.
bool TakeField(const std::string& text, size_t* at, const char* key, std::string* value) {
    const size_t keyLength = std::strlen(key);
    if (text.compare(*at, keyLength, key) != 0 || *at + keyLength >= text.size() || text[*at + keyLength] != '=')
        return false;
    const size_t start = *at + keyLength + 1;
    size_t end = text.find(' ', start);
    if (end == std::string::npos) end = text.size();
    if (end == start) return false;
    *value = text.substr(start, end - start);
    *at = end == text.size() ? end : end + 1;
    return true;
}

template <size_t N>
bool OneOf(const std::string& value, const char* const (&words)[N]) {
    for (const char* word : words)
        if (value == word) return true;
    return false;
}

}  // namespace

bool ParseOutputTrace(const char* text, size_t length, OutputTrace* trace) {
    static const char kPrefix[] = "video output: ";
    const size_t prefixLength = sizeof kPrefix - 1;
    if (!text || length <= prefixLength || std::memcmp(text, kPrefix, prefixLength) != 0) return false;
    std::string line(text + prefixLength, length - prefixLength);
    // The length a debug string carries may count its terminating zero.
    if (!line.empty() && line.back() == '\0') line.pop_back();
    if (line.empty() || line.back() != '\n') return false;
    line.pop_back();
    if (!line.empty() && line.back() == '\r') line.pop_back();

    size_t at = 0;
    std::string port, output, reason;
    if (!TakeField(line, &at, "port", &port) || !TakeField(line, &at, "output", &output) ||
        !TakeField(line, &at, "reason", &reason) || at != line.size())
        return false;
    if (port.size() > 9 || port.find_first_not_of("0123456789") != std::string::npos) return false;
    if (!OneOf(output, kOutputs) || !OneOf(reason, kReasons)) return false;
    trace->port = std::stoi(port);
    trace->output = output;
    trace->reason = reason;
    return true;
}

std::string OutputTraceLine(const OutputTrace& trace) {
    return "port " + std::to_string(trace.port) + " video output " + trace.output + " (" + trace.reason + ")";
}

std::string OutputsValue(const std::vector<std::string>& outputsInWallOrder) {
    std::string value;
    bool any = false;
    for (const std::string& output : outputsInWallOrder) {
        if (!value.empty()) value += ",";
        value += output.empty() ? "unknown" : output;
        any = any || !output.empty();
    }
    return any ? value : "unknown";
}

}  // namespace vdplay
