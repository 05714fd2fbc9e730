// What a client works out from the plug-in's catalogue entry and file name,
// and how it explains the plug-in's results.
#ifndef VD_PLAYER_PLUGIN_FACTS_H
#define VD_PLAYER_PLUGIN_FACTS_H

#include <cstddef>
#include <cstdint>
#include <string>

namespace vdplay {

// The catalogue's "Check" value lists "offset,bytes" items separated by "|":
// a file the plug-in plays holds those bytes at those offsets. True when
// `head` (the first bytes of the file) satisfies every item; an empty value
// accepts every file. Items that are not "number,text" are ignored.
bool MatchesCheck(const std::string& check, const uint8_t* head, size_t size);

// The play SDK a plug-in loads: the file in the same directory named by the
// plug-in's file name after its first underscore ("VD2_DemoPlay.dll" loads
// "DemoPlay.dll"); a name without an underscore names itself.
std::string SdkPathForPlugin(const std::string& pluginPath);

// "E_NOTIMPL", "E_FAIL", or the play SDK's result with its meaning.
std::string ResultText(int result);

// True for the SDK results that mean the file's content is not playable
// (as opposed to a file that cannot be read or a plug-in that refuses).
bool IsUnsupportedContent(int result);
bool IsUnreadable(int result);

constexpr int kResultNotImplemented = int(0x80004001u);
constexpr int kResultFail = int(0x80004005u);

}  // namespace vdplay

#endif  // VD_PLAYER_PLUGIN_FACTS_H
