#include "module/file_name_rules.h"

namespace vd {

namespace {

// Calls visit(position) for every byte that starts a character, in order.
template <typename Visit>
void ForEachCharacterStart(const std::string& text, std::size_t from, const LeadByteTable& leadBytes, Visit visit) {
    std::size_t i = from;
    while (i < text.size()) {
        if (!visit(i)) return;
        const bool lead = leadBytes[static_cast<unsigned char>(text[i])];
        i += (lead && i + 1 < text.size()) ? 2 : 1;
    }
}

}  // namespace

std::size_t FindLastSingleByte(const std::string& text, char byte, const LeadByteTable& leadBytes) {
    std::size_t found = std::string::npos;
    ForEachCharacterStart(text, 0, leadBytes, [&](std::size_t i) {
        if (text[i] == byte) found = i;
        return true;
    });
    return found;
}

std::size_t FindFirstSingleByte(const std::string& text, char byte, std::size_t from, const LeadByteTable& leadBytes) {
    std::size_t found = std::string::npos;
    ForEachCharacterStart(text, from, leadBytes, [&](std::size_t i) {
        if (text[i] != byte) return true;
        found = i;
        return false;
    });
    return found;
}

std::string ModulePathFromBuffer(const char* buffer, unsigned reportedLength) {
    if (reportedLength == 0 || reportedLength >= kModulePathLimit) return std::string();
    return std::string(buffer, reportedLength);
}

std::string ModuleFileNameFromPath(const std::string& modulePath, const LeadByteTable& leadBytes) {
    const std::size_t slash = FindLastSingleByte(modulePath, '\\', leadBytes);
    if (slash == std::string::npos) return std::string();
    return modulePath.substr(slash + 1);
}

std::string PlaySdkPathFromPath(const std::string& modulePath, const LeadByteTable& leadBytes) {
    const std::size_t slash = FindLastSingleByte(modulePath, '\\', leadBytes);
    if (slash == std::string::npos) return std::string();
    // The search starts at the backslash, so underscores of the directories
    // never count.
    const std::size_t underscore = FindFirstSingleByte(modulePath, '_', slash, leadBytes);
    if (underscore == std::string::npos) return std::string();
    return modulePath.substr(0, slash + 1) + modulePath.substr(underscore + 1);
}

}  // namespace vd
