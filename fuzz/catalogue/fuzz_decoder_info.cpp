// The SDK's decoder information is text from another library: parse it and
// build the catalogue entry from it, whatever the bytes, within the 1024 the
// SDK may write; the properties must keep their order and end rule.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "catalogue/decoder_info.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > static_cast<std::size_t>(vd::kDecoderInfoSize)) size = vd::kDecoderInfoSize;
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::string sdkText = text.substr(0, text.find('\0'));
    const vd::PropertyMap info = vd::ParseDecoderInfo(sdkText);
    const vd::PropertyList entry = vd::BuildCatalogueProperties(info, "VD2_DemoPlay.dll");

    static const char* const kOrder[] = {"Interface", "Name", "Protocol", "Check", "HeadSize", "FrameType", "Comment"};
    const std::size_t n = entry.size();
    if (n != 2 && n != 3 && n != 4 && n != 7) std::abort();
    for (std::size_t i = 0; i < entry.size(); ++i) {
        if (entry[i].first != kOrder[i]) std::abort();
    }
    if (entry.size() >= 4) {
        // The rewritten check list never starts or ends with a separator and
        // never holds an empty item.
        const std::string& check = entry[3].second;
        if (!check.empty() && (check.front() == '|' || check.back() == '|' || check.find("||") != std::string::npos))
            std::abort();
        if (check.size() > info.at("Check").size()) std::abort();
    }
    return 0;
}
