// Chooses the row kernels by CPU feature, once.
#include "pixel/pixel_rows.h"

#include <initializer_list>

namespace vd {
namespace {

#if defined(__i386__) || defined(__x86_64__)
#define VD_PIXEL_X86 1
#else
#define VD_PIXEL_X86 0
#endif

const PixelKernels kPortable = {"portable", Rgb32ToYRow_C, Rgb32ToYuvRowPair_C, Yuv420ToRgb32RowPair_C};
#if VD_PIXEL_X86
const PixelKernels kSse2 = {"sse2", Rgb32ToYRow_SSE2, Rgb32ToYuvRowPair_SSE2, Yuv420ToRgb32RowPair_SSE2};
const PixelKernels kAvx2 = {"avx2", Rgb32ToYRow_AVX2, Rgb32ToYuvRowPair_AVX2, Yuv420ToRgb32RowPair_AVX2};
const PixelKernels kAvx512 = {"avx512", Rgb32ToYRow_AVX512, Rgb32ToYuvRowPair_AVX512, Yuv420ToRgb32RowPair_AVX512};
#endif

}  // namespace

bool PixelIsaAvailable(PixelIsa isa) {
    switch (isa) {
        case PixelIsa::Portable:
            return true;
#if VD_PIXEL_X86
        case PixelIsa::Sse2:
            __builtin_cpu_init();
            return __builtin_cpu_supports("sse2");
        case PixelIsa::Avx2:
            // The check includes the operating system's support for the
            // wide registers.
            __builtin_cpu_init();
            return __builtin_cpu_supports("avx2");
        case PixelIsa::Avx512:
            __builtin_cpu_init();
            return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("avx512bw") &&
                   __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512vnni") &&
                   __builtin_cpu_supports("avx512vbmi");
#endif
        default:
            return false;
    }
}

const PixelKernels& PixelKernelsFor(PixelIsa isa) {
#if VD_PIXEL_X86
    if (isa == PixelIsa::Avx512) return kAvx512;
    if (isa == PixelIsa::Avx2) return kAvx2;
    if (isa == PixelIsa::Sse2) return kSse2;
#endif
    (void)isa;
    return kPortable;
}

const PixelKernels& ActivePixelKernels() {
    static const PixelKernels& active = []() -> const PixelKernels& {
        for (PixelIsa isa : {PixelIsa::Avx512, PixelIsa::Avx2, PixelIsa::Sse2}) {
            if (PixelIsaAvailable(isa)) return PixelKernelsFor(isa);
        }
        return kPortable;
    }();
    return active;
}

}  // namespace vd
