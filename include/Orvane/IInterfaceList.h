// The catalogue: which interfaces the plug-in offers, with named properties.
// Texts stay valid until the list is given back; absent properties and
// indices out of range give an empty text, never a null pointer.
#ifndef ORVANE_IINTERFACELIST_H
#define ORVANE_IINTERFACELIST_H

namespace Orvane {

class IInterface {
public:
    virtual const char* GetName() = 0;                      // 0
    virtual const char* GetInterface() = 0;                 // 1
    virtual const char* GetComment() = 0;                   // 2
    virtual int GetPropertyCount() = 0;                     // 3
    virtual const char* GetPropertyName(int index) = 0;     // 4
    virtual const char* GetProperty(const char* name) = 0;  // 5
    virtual const char* GetPropertyValue(int index) = 0;    // 6
};

class IInterfaceList {
public:
    virtual int GetCount() = 0;                // 0
    virtual IInterface* GetAt(int index) = 0;  // 1 (null when out of range)
};

}  // namespace Orvane

#endif
