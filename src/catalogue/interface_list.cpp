#include "catalogue/interface_list.h"

#include <windows.h>

#include <cstring>

#include "engine/sdk_library.h"

namespace vd {

namespace {

const char kEmptyText[] = "";

// ANSI to wide and back: the same text for anything valid in the code page.
std::string RoundTripThroughWide(const std::string& text) {
    if (text.empty()) return text;
    const int wideLength = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (wideLength <= 0) return std::string();
    std::wstring wide(static_cast<std::size_t>(wideLength), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &wide[0], wideLength);
    const int ansiLength = WideCharToMultiByte(CP_ACP, 0, wide.data(), wideLength, nullptr, 0, nullptr, nullptr);
    if (ansiLength <= 0) return std::string();
    std::string ansi(static_cast<std::size_t>(ansiLength), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide.data(), wideLength, &ansi[0], ansiLength, nullptr, nullptr);
    return ansi;
}

}  // namespace

PropertyMap ReadSdkDecoderInfo(const std::string& sdkPath) {
    SdkLibrary sdk;
    if (!sdk.Load(sdkPath)) return PropertyMap();

    char buffer[kDecoderInfoSize + 1] = {};
    int result = -1;
    if (const auto getDecoderInf = sdk.Resolve<KvGetDecoderInfFn>("KV_GetDecoderInf")) {
        result = getDecoderInf(buffer, kDecoderInfoSize);
    }
    sdk.Unload();
    if (result != 0) return PropertyMap();

    // A text that fills the buffer without a NUL ends at the buffer's end.
    buffer[kDecoderInfoSize] = '\0';
    return ParseDecoderInfo(RoundTripThroughWide(std::string(buffer, strnlen(buffer, kDecoderInfoSize))));
}

CInterfaceList::CInterfaceList(const std::string& sdkPath, const std::string& moduleFileName) {
    entries_.emplace_back(BuildCatalogueProperties(ReadSdkDecoderInfo(sdkPath), moduleFileName));
}

int CInterfaceList::GetCount() { return static_cast<int>(entries_.size()); }

Orvane::IInterface* CInterfaceList::GetAt(int index) {
    if (index < 0 || index >= GetCount()) return nullptr;
    return &entries_[static_cast<std::size_t>(index)];
}

const char* CInterface::GetName() { return GetProperty("Name"); }
const char* CInterface::GetInterface() { return GetProperty("Interface"); }
const char* CInterface::GetComment() { return GetProperty("Comment"); }

int CInterface::GetPropertyCount() { return static_cast<int>(properties_.size()); }

const char* CInterface::GetPropertyName(int index) {
    if (index < 0 || index >= GetPropertyCount()) return kEmptyText;
    return properties_[static_cast<std::size_t>(index)].first.c_str();
}

const char* CInterface::GetProperty(const char* name) {
    if (!name) return kEmptyText;
    for (const auto& property : properties_) {
        if (property.first == name) return property.second.c_str();
    }
    return kEmptyText;
}

const char* CInterface::GetPropertyValue(int index) {
    if (index < 0 || index >= GetPropertyCount()) return kEmptyText;
    return properties_[static_cast<std::size_t>(index)].second.c_str();
}

}  // namespace vd
