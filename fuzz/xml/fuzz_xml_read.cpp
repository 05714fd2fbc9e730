// Reads arbitrary bytes as a file through encoding detection and conversion,
// then parses and walks the result; also converts the bytes between names.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "fuzz_walk.h"
#include "xml/encoding.h"

namespace {

// The scratch file, removed when the fuzzer exits.
struct ScratchFile {
    std::string path = "/tmp/vd_fuzz_xml_read_" + std::to_string(getpid()) + ".xml";
    ~ScratchFile() { std::remove(path.c_str()); }
};

const char* const kNames[] = {"",       "UTF-8",        "UTF-16",   "UTF-32",   "gb2312",
                              "latin1", "windows-1252", "utf-16be", "x-unknown"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    static const ScratchFile scratch;
    const std::string& path = scratch.path;
    const uint32_t codePage = vdtest::CodePageFor(data[0]);
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return 0;
    std::fwrite(data + 1, 1, size - 1, f);
    std::fclose(f);
    vd::XmlDocument doc(codePage);
    if (doc.ReadDocumentFile(path.c_str())) {
        doc.ParseText();
        vdtest::CheckIndex(doc);
        vdtest::Walk(doc);
    }
    const std::string bytes(reinterpret_cast<const char*>(data + 1), size - 1);
    const char* to = kNames[(data[0] >> 2) % 9];
    const char* from = kNames[(data[0] >> 5) % 9];
    bool lossy = false;
    vd::ConvertText(to, from, bytes, codePage, &lossy);
    vd::TestUtf8(bytes.data(), bytes.size());
    vd::FindDeclaredEncoding(bytes.data(), bytes.size(), doc.Classes());
    return 0;
}
