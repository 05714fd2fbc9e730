// Parses arbitrary text and walks the whole document.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_walk.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    vd::XmlDocument doc(vdtest::CodePageFor(data[0]));
    if (data[0] & 0x80) doc.SetFlags(vd::kDocIgnoreCase);
    doc.SetText(std::string(reinterpret_cast<const char*>(data + 1), size - 1));
    doc.ParseText();
    vdtest::CheckIndex(doc);
    vdtest::Walk(doc);
    // Name arguments cut from the input itself.
    doc.ParseText();
    const std::string name(reinterpret_cast<const char*>(data + 1), size > 9 ? 8 : size - 1);
    doc.NextChildElement(name);
    doc.NextElement(name);
    return 0;
}
