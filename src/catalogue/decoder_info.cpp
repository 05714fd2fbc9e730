#include "catalogue/decoder_info.h"

namespace vd {

PropertyMap ParseDecoderInfo(const std::string& text) {
    PropertyMap map;
    std::string key;
    std::string value;
    bool readingKey = true;
    int unnamedCount = 0;

    auto storeItem = [&]() {
        if (readingKey) {
            const std::string generated =
                unnamedCount == 0 ? std::string("Name") : "Name" + std::to_string(unnamedCount);
            ++unnamedCount;
            map[generated] = key;
        } else {
            map[key] = value;
        }
        key.clear();
        value.clear();
        readingKey = true;
    };

    for (const char c : text) {
        if (c == '=' && readingKey) {
            readingKey = false;
        } else if (c == ';') {
            storeItem();
        } else if (readingKey) {
            key.push_back(c);
        } else {
            value.push_back(c);
        }
    }
    if (!key.empty()) storeItem();
    return map;
}

std::vector<std::string> SplitText(const std::string& text, char separator) {
    std::vector<std::string> pieces;
    std::string current;
    for (const char c : text) {
        if (c == separator) {
            pieces.push_back(current);
            current.clear();
        } else {
            current.push_back(c);
        }
    }
    if (!current.empty()) pieces.push_back(current);
    return pieces;
}

std::string CheckRule(const std::string& sdkCheck) {
    std::string result;
    for (const std::string& item : SplitText(sdkCheck, '|')) {
        if (item.empty()) continue;
        const std::vector<std::string> fields = SplitText(item, ',');
        std::string kept;
        if (fields.size() == 2) {
            kept = fields[0] + "," + fields[1];
        } else if (fields.size() == 3) {
            const std::string& pattern = fields[2];
            const bool hexNumber = pattern.size() >= 2 && pattern[0] == '0' && (pattern[1] == 'X' || pattern[1] == 'x');
            if (pattern.size() <= 2 || hexNumber) continue;
            kept = fields[0] + "," + pattern;
        } else {
            continue;
        }
        if (!result.empty() && result.back() != '|') result.push_back('|');
        result += kept;
    }
    return result;
}

std::string ModuleTag(const std::string& moduleFileName) {
    const std::size_t underscore = moduleFileName.find('_');
    const std::size_t start = underscore == std::string::npos ? 0 : underscore + 1;
    const std::size_t dot = moduleFileName.find('.');
    if (dot != std::string::npos && dot >= start) return moduleFileName.substr(start, dot - start);
    return moduleFileName.substr(start);
}

PropertyList BuildCatalogueProperties(const PropertyMap& sdkInfo, const std::string& moduleFileName) {
    PropertyList properties;
    properties.emplace_back("Interface", "IVideoDecoder_M");
    properties.emplace_back("Name", "CVideoDecoder" + ModuleTag(moduleFileName));

    const auto protocol = sdkInfo.find("Protocol");
    if (protocol == sdkInfo.end()) return properties;
    properties.emplace_back("Protocol", protocol->second);

    const auto check = sdkInfo.find("Check");
    if (check == sdkInfo.end()) return properties;
    properties.emplace_back("Check", CheckRule(check->second));

    const auto headLength = sdkInfo.find("FileHeadLen");
    if (headLength == sdkInfo.end()) return properties;
    properties.emplace_back("HeadSize", headLength->second);
    properties.emplace_back("FrameType", "");
    properties.emplace_back("Comment", "");
    return properties;
}

}  // namespace vd
