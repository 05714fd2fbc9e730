// The play SDK's parsing paths, run over one file's bytes by the fuzzers:
// the AVI parser and index reader, the stream header parser (whole and in
// pieces) and chunk assembler, the picture layouts, the JPEG decoder and
// the sound resampler. Stops the process (a finding) when the parser's work
// exceeds the file's size / 8 index entries or the two ways of parsing a
// stream header disagree.
#ifndef VD_FUZZ_DEMOPLAY_SDK_PATHS_H
#define VD_FUZZ_DEMOPLAY_SDK_PATHS_H

#include <cstddef>
#include <cstdint>

void ExerciseSdkPaths(const uint8_t* data, size_t size);

#endif  // VD_FUZZ_DEMOPLAY_SDK_PATHS_H
