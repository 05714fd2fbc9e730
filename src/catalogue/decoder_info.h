// What the catalogue makes of the play SDK's decoder information: the
// "key=value;..." text, the "Check" rewrite, the module tag and the order of
// the entry's properties. Plain computation, no platform calls.
#ifndef VD_CATALOGUE_DECODER_INFO_H
#define VD_CATALOGUE_DECODER_INFO_H

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace vd {

using PropertyMap = std::map<std::string, std::string>;
using PropertyList = std::vector<std::pair<std::string, std::string>>;

// The SDK writes at most this many bytes, NUL included.
constexpr int kDecoderInfoSize = 1024;

// Items separated by ';', each "key=value" (only the first '=' separates).
// Items without '=' are stored under "Name", "Name1", "Name2", ...; the last
// occurrence of a key wins.
PropertyMap ParseDecoderInfo(const std::string& text);

// Pieces between separator bytes; empty pieces count except a trailing one.
std::vector<std::string> SplitText(const std::string& text, char separator);

// Rewrites the SDK's "Check" value ("a,b" and "a,b,c" items separated by '|')
// into the catalogue's form.
std::string CheckRule(const std::string& sdkCheck);

// The part of the plug-in's file name that names its SDK: after the first
// underscore, up to the first dot after it.
std::string ModuleTag(const std::string& moduleFileName);

// The entry's properties in their order: "Interface", "Name", then
// "Protocol", "Check", "HeadSize", "FrameType", "Comment" as far as the SDK
// gave the values they depend on.
PropertyList BuildCatalogueProperties(const PropertyMap& sdkInfo, const std::string& moduleFileName);

}  // namespace vd

#endif
