// Parses a document and applies a script of navigation and editing steps,
// checking the element index after every edit.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_walk.h"

namespace {

const char* const kElementNames[] = {"a", "Line", "Point", "x:y", "\xD6\xD0", "bad name", ""};
const uint32_t kFlagBits[] = {vd::kAddCdata,          vd::kAddNoLineBreaks, vd::kAddSpacedEmpty,
                              vd::kAddKeepReferences, vd::kAddStartTagOnly, vd::kAddEscapeQuotes,
                              vd::kAddReplaceContent, vd::kAddBefore,       vd::kAddChild};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    // First byte: code page; second: length of the document part.
    const std::size_t docLength = data[1] < size - 2 ? data[1] : size - 2;
    vd::XmlDocument doc(vdtest::CodePageFor(data[0]));
    doc.SetText(std::string(reinterpret_cast<const char*>(data + 2), docLength));
    doc.ParseText();
    const uint8_t* op = data + 2 + docLength;
    const uint8_t* end = data + size;
    while (op + 3 <= end) {
        const uint8_t kind = op[0] % 8;
        const uint8_t a = op[1];
        const uint8_t b = op[2];
        op += 3;
        const char* name = kElementNames[a % 7];
        switch (kind) {
            case 0:
                doc.NextElement();
                break;
            case 1:
                doc.NextChildElement();
                break;
            case 2:
                doc.EnterElement();
                break;
            case 3:
                doc.LeaveElement();
                break;
            case 4:
            case 5: {
                uint32_t flags = 0;
                for (int k = 0; k < 8; ++k)
                    if (b & (1u << k)) flags |= kFlagBits[k];
                if (a & 0x80) flags |= vd::kAddChild;
                std::string value;
                if (a & 0x40)
                    value.assign(reinterpret_cast<const char*>(op),
                                 static_cast<std::size_t>(end - op) < 6 ? end - op : 6);
                doc.AddElement(name, (a & 0x40) ? value.c_str() : nullptr, flags);
                break;
            }
            case 6: {
                const std::string value(reinterpret_cast<const char*>(op),
                                        static_cast<std::size_t>(end - op) < (b & 7) ? end - op : (b & 7));
                doc.SetAttribute(name, value);
                break;
            }
            default:
                doc.SetAttribute(name, static_cast<int>(b) - 128);
                break;
        }
        vdtest::CheckIndex(doc);
        doc.ElementName();
        doc.ElementText();
        doc.ChildElementText();
    }
    doc.ParseText();
    vdtest::CheckIndex(doc);
    vdtest::Walk(doc);
    return 0;
}
