// The catalogue the client reads before it uses the plug-in: one entry that
// describes the decoder interface, partly from what the play SDK reports.
#ifndef VD_CATALOGUE_INTERFACE_LIST_H
#define VD_CATALOGUE_INTERFACE_LIST_H

#include <string>
#include <vector>

#include <Orvane/IInterfaceList.h>

#include "catalogue/decoder_info.h"

namespace vd {

class CInterface final : public Orvane::IInterface {
public:
    explicit CInterface(PropertyList properties) : properties_(std::move(properties)) {}

    const char* GetName() override;
    const char* GetInterface() override;
    const char* GetComment() override;
    int GetPropertyCount() override;
    const char* GetPropertyName(int index) override;
    const char* GetProperty(const char* name) override;
    const char* GetPropertyValue(int index) override;

private:
    PropertyList properties_;
};

// Built completely by its constructor, never changed afterwards.
class CInterfaceList final : public Orvane::IInterfaceList {
public:
    // Asks the SDK at sdkPath for its decoder information (loading it only for
    // the call) and names the entry after the plug-in's file name.
    CInterfaceList(const std::string& sdkPath, const std::string& moduleFileName);

    int GetCount() override;
    Orvane::IInterface* GetAt(int index) override;

private:
    std::vector<CInterface> entries_;
};

// The SDK's decoder information: the text KV_GetDecoderInf wrote, or an
// empty map when the library or the entry point is missing or the call fails.
PropertyMap ReadSdkDecoderInfo(const std::string& sdkPath);

}  // namespace vd

#endif
