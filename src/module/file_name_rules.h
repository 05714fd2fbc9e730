// The two rules that tie the plug-in to its play SDK, as plain functions of
// the module's full path, so that they can be tested without a loaded DLL.
#ifndef VD_MODULE_FILE_NAME_RULES_H
#define VD_MODULE_FILE_NAME_RULES_H

#include <array>
#include <string>

namespace vd {

// Which bytes start a double-byte character in the process's ANSI code page.
using LeadByteTable = std::array<bool, 256>;

// The module path is read into a buffer of 260 characters. A path that fills
// it was cut by the platform and is not used: both rules then fail.
constexpr unsigned kModulePathLimit = 260;

// The path held by the buffer, given the length the platform reported;
// empty when the call failed (0) or the path was cut (the length reached the
// buffer size).
std::string ModulePathFromBuffer(const char* buffer, unsigned reportedLength);

// Position of the last `byte` in `text` that is not the trail byte of a
// double-byte character, or npos.
std::size_t FindLastSingleByte(const std::string& text, char byte, const LeadByteTable& leadBytes);
// Position of the first such `byte` at or after `from`, or npos.
std::size_t FindFirstSingleByte(const std::string& text, char byte, std::size_t from, const LeadByteTable& leadBytes);

// The bare file name: everything after the last backslash; empty when the
// path has no backslash.
std::string ModuleFileNameFromPath(const std::string& modulePath, const LeadByteTable& leadBytes);

// The play-SDK path: the module's directory and its file name without
// everything up to and including the file name's first underscore; empty when
// the path has no backslash or the file name no underscore.
std::string PlaySdkPathFromPath(const std::string& modulePath, const LeadByteTable& leadBytes);

}  // namespace vd

#endif
