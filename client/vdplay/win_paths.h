// File-system helpers for vdplay on Windows (and under Wine).
#ifndef VD_VDPLAY_WIN_PATHS_H
#define VD_VDPLAY_WIN_PATHS_H

#include <cstdint>
#include <string>
#include <vector>

namespace vdplay {

// Under Wine a path given in the Unix way ("/tmp/x.avi") names drive Z:; on
// Windows the path is left as it is.
std::string NativePath(const std::string& path);
// The directory that holds vdplay.exe, with a trailing backslash.
std::string ProgramDirectory();
bool FileExists(const std::string& path);
// -1 when the file does not exist.
int64_t FileSize(const std::string& path);
// Reads up to `limit` bytes from the start of a file; false (with the system's
// reason in *why) when it cannot be opened or read.
bool ReadHead(const std::string& path, size_t limit, std::vector<uint8_t>* out, std::string* why);
// The system's text for an error number, on one line.
std::string SystemMessage(unsigned long error);

}  // namespace vdplay

#endif  // VD_VDPLAY_WIN_PATHS_H
