// Row kernels of the pixel conversions. Each conversion has a portable
// reference kernel (the definition of the arithmetic, and the oracle the SIMD
// kernels are tested against) and SIMD kernels of the same signature that
// handle any width: they run their wide loop over the bulk of the row and hand
// the remainder to the reference kernel.
#ifndef VD_PIXEL_PIXEL_ROWS_H
#define VD_PIXEL_PIXEL_ROWS_H

#include <cstdint>

namespace vd {

// Y of `width` RGB32 pixels.
using Rgb32ToYRowFn = void (*)(const std::uint8_t* rgb, std::uint8_t* y, int width);
// Two RGB32 rows of `width` pixels (even) to two Y rows and width / 2 U and V
// samples, one per 2 x 2 block.
using Rgb32ToYuvRowPairFn = void (*)(const std::uint8_t* rgb0, const std::uint8_t* rgb1, std::uint8_t* y0,
                                     std::uint8_t* y1, std::uint8_t* u, std::uint8_t* v, int width);
// Two Y rows of `width` pixels (even) sharing width / 2 U and V samples to two
// RGB32 rows. The two rows may be the same row (then it is written twice with
// the same values).
using Yuv420ToRgb32RowPairFn = void (*)(const std::uint8_t* y0, const std::uint8_t* y1, const std::uint8_t* u,
                                        const std::uint8_t* v, std::uint8_t* rgb0, std::uint8_t* rgb1, int width);

struct PixelKernels {
    const char* name;
    Rgb32ToYRowFn rgb32ToYRow;
    Rgb32ToYuvRowPairFn rgb32ToYuvRowPair;
    Yuv420ToRgb32RowPairFn yuv420ToRgb32RowPair;
};

// Reference kernels.
void Rgb32ToYRow_C(const std::uint8_t* rgb, std::uint8_t* y, int width);
void Rgb32ToYuvRowPair_C(const std::uint8_t* rgb0, const std::uint8_t* rgb1, std::uint8_t* y0, std::uint8_t* y1,
                         std::uint8_t* u, std::uint8_t* v, int width);
void Yuv420ToRgb32RowPair_C(const std::uint8_t* y0, const std::uint8_t* y1, const std::uint8_t* u,
                            const std::uint8_t* v, std::uint8_t* rgb0, std::uint8_t* rgb1, int width);
// One pixel, for the odd column and the rows without chroma.
void Yuv420ToRgb32Pixel_C(std::uint8_t y, std::uint8_t u, std::uint8_t v, std::uint8_t* rgb);

// SSE2 kernels (x86 only; the caller checks the CPU).
void Rgb32ToYRow_SSE2(const std::uint8_t* rgb, std::uint8_t* y, int width);
void Rgb32ToYuvRowPair_SSE2(const std::uint8_t* rgb0, const std::uint8_t* rgb1, std::uint8_t* y0, std::uint8_t* y1,
                            std::uint8_t* u, std::uint8_t* v, int width);
void Yuv420ToRgb32RowPair_SSE2(const std::uint8_t* y0, const std::uint8_t* y1, const std::uint8_t* u,
                               const std::uint8_t* v, std::uint8_t* rgb0, std::uint8_t* rgb1, int width);

// AVX2 kernels (x86 only; the caller checks the CPU).
void Rgb32ToYRow_AVX2(const std::uint8_t* rgb, std::uint8_t* y, int width);
void Rgb32ToYuvRowPair_AVX2(const std::uint8_t* rgb0, const std::uint8_t* rgb1, std::uint8_t* y0, std::uint8_t* y1,
                            std::uint8_t* u, std::uint8_t* v, int width);
void Yuv420ToRgb32RowPair_AVX2(const std::uint8_t* y0, const std::uint8_t* y1, const std::uint8_t* u,
                               const std::uint8_t* v, std::uint8_t* rgb0, std::uint8_t* rgb1, int width);

// AVX-512 kernels, 512-bit steps with a 256-bit step for the rest (x86 only;
// the caller checks the CPU for AVX2 and AVX-512 BW, VL, VNNI and VBMI).
void Rgb32ToYRow_AVX512(const std::uint8_t* rgb, std::uint8_t* y, int width);
void Rgb32ToYuvRowPair_AVX512(const std::uint8_t* rgb0, const std::uint8_t* rgb1, std::uint8_t* y0, std::uint8_t* y1,
                              std::uint8_t* u, std::uint8_t* v, int width);
void Yuv420ToRgb32RowPair_AVX512(const std::uint8_t* y0, const std::uint8_t* y1, const std::uint8_t* u,
                                 const std::uint8_t* v, std::uint8_t* rgb0, std::uint8_t* rgb1, int width);

// Kernel sets, from the portable one to the widest. A set is usable when the
// CPU has its instructions.
enum class PixelIsa { Portable, Sse2, Avx2, Avx512 };
constexpr PixelIsa kAllPixelIsas[] = {PixelIsa::Portable, PixelIsa::Sse2, PixelIsa::Avx2, PixelIsa::Avx512};
bool PixelIsaAvailable(PixelIsa isa);
const PixelKernels& PixelKernelsFor(PixelIsa isa);
// The widest usable set, chosen once.
const PixelKernels& ActivePixelKernels();

// The plane functions of pixel_convert.h with an explicit kernel set.
void ConvertRgb32ToYuv420With(const PixelKernels& kernels, const std::uint8_t* source, int sourceStride,
                              std::uint8_t* yPlane, std::uint8_t* uPlane, std::uint8_t* vPlane, int yStride,
                              int chromaStride, int width, int height, int flip);
void ConvertYuv420ToRgb32With(const PixelKernels& kernels, std::uint8_t* destination, int destinationStride,
                              const std::uint8_t* yPlane, const std::uint8_t* uPlane, const std::uint8_t* vPlane,
                              int yStride, int chromaStride, int width, int height, int flip);

}  // namespace vd

#endif  // VD_PIXEL_PIXEL_ROWS_H
