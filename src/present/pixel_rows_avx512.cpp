// RGB32-to-4:2:0 row kernels for CPUs with AVX-512 BW, VL, VNNI and VBMI, on
// 256-bit registers, 32 pixels per step. The byte dot product sums a pixel's
// weighted components in one instruction, and the two-table byte permute
// picks the result bytes out of the sums, where the AVX2 kernels need
// several adds, shifts and packs. Compiled with the AVX-512 options and only
// called after a CPU check; it shares no inline code with the other files.
#include <immintrin.h>

#include "present/pixel_rows.h"

namespace vd {
namespace {

inline __m256i Load(const std::uint8_t* p) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

// Byte indexes into a pair of vectors for a two-table byte permute: byte
// `offset` of each of the 16 dwords of (a, b), placed at `at`..at+15.
inline __m256i DwordByteIndexes(int offset, int at) {
    alignas(32) char idx[32] = {};
    for (int j = 0; j < 16; ++j) idx[at + j] = static_cast<char>(j < 8 ? 4 * j + offset : 32 + 4 * (j - 8) + offset);
    return _mm256_load_si256(reinterpret_cast<const __m256i*>(idx));
}

// Luma sums of 8 pixels. With every component taken as c - 128 (top bit
// flipped) and the weights 25, 129, 66, 0 as the unsigned operand, the dot
// product is the true sum minus 220*128; starting it from 32256 gives
// sum + 4096 (in 4096..60356), whose second byte is Y = (sum >> 8) + 16.
inline __m256i LumaSums(__m256i pixels) {
    const __m256i coef = _mm256_set1_epi32(0x00428119);  // bytes 25, 129, 66, 0
    const __m256i signBit = _mm256_set1_epi8(static_cast<char>(0x80));
    return _mm256_dpbusd_epi32(_mm256_set1_epi32(32256), coef, _mm256_xor_si256(pixels, signBit));
}

// The Y bytes of four vectors of luma sums (32 pixels), in order.
inline __m256i LumaBytes(const __m256i* d, __m256i lowIdx, __m256i highIdx) {
    const __m256i low = _mm256_permutex2var_epi8(d[0], lowIdx, d[1]);     // pixels 0-15 in bytes 0-15
    const __m256i high = _mm256_permutex2var_epi8(d[2], highIdx, d[3]);   // pixels 16-31 in bytes 16-31
    return _mm256_blend_epi32(low, high, 0xF0);
}

// The left (even) and right (odd) pixels of the blocks of a and b, in the
// same block order: per lane, blocks 0 1 of a, then 0 1 of b (a and b hold
// 4 blocks each, 2 per lane).
inline __m256i Even(__m256i a, __m256i b) {
    return _mm256_castps_si256(
        _mm256_shuffle_ps(_mm256_castsi256_ps(a), _mm256_castsi256_ps(b), _MM_SHUFFLE(2, 0, 2, 0)));
}
inline __m256i Odd(__m256i a, __m256i b) {
    return _mm256_castps_si256(
        _mm256_shuffle_ps(_mm256_castsi256_ps(a), _mm256_castsi256_ps(b), _MM_SHUFFLE(3, 1, 3, 1)));
}

// Byte 0 of the block sums of (first, second) in block order. Dword k of a
// sum vector holds block {0, 1, 4, 5, 2, 3, 6, 7}[k] of its eight.
inline __m256i ChromaByteIndexes() {
    static const int dwordOfBlock[8] = {0, 1, 4, 5, 2, 3, 6, 7};
    alignas(32) char idx[32] = {};
    for (int j = 0; j < 16; ++j) idx[j] = static_cast<char>((j < 8 ? 0 : 32) + 4 * dwordOfBlock[j % 8]);
    return _mm256_load_si256(reinterpret_cast<const __m256i*>(idx));
}

}  // namespace

void Rgb32ToYRow_AVX512(const std::uint8_t* rgb, std::uint8_t* y, int width) {
    const __m256i lowIdx = DwordByteIndexes(1, 0);
    const __m256i highIdx = DwordByteIndexes(1, 16);
    int x = 0;
    for (; x + 32 <= width; x += 32) {
        const __m256i d[4] = {LumaSums(Load(rgb + 4 * x)), LumaSums(Load(rgb + 4 * x + 32)),
                              LumaSums(Load(rgb + 4 * x + 64)), LumaSums(Load(rgb + 4 * x + 96))};
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(y + x), LumaBytes(d, lowIdx, highIdx));
    }
    Rgb32ToYRow_C(rgb + 4 * x, y + x, width - x);
}

void Rgb32ToYuvRowPair_AVX512(const std::uint8_t* rgb0, const std::uint8_t* rgb1, std::uint8_t* y0,
                              std::uint8_t* y1, std::uint8_t* u, std::uint8_t* v, int width) {
    const __m256i uCoef = _mm256_set1_epi32(0x00DAB670);  // bytes 112, -74, -38, 0
    const __m256i vCoef = _mm256_set1_epi32(0x0070A2EE);  // bytes -18, -94, 112, 0
    // Starting the chroma sums from 128 * 1024 makes them positive and puts
    // the +128 in: (sum >> 10) lies in 16..239.
    const __m256i chromaBias = _mm256_set1_epi32(128 * 1024);
    const __m256i zero = _mm256_setzero_si256();
    const __m256i lumaLowIdx = DwordByteIndexes(1, 0);
    const __m256i lumaHighIdx = DwordByteIndexes(1, 16);
    const __m256i chromaIdx = ChromaByteIndexes();
    int x = 0;
    for (; x + 32 <= width; x += 32) {
        // Both halves of 16 columns: the luma sums of their four pixel
        // vectors and the chroma sums of their 8 blocks, started together so
        // that the independent chains overlap.
        __m256i d0[4], d1[4], us[2], vs[2];
        for (int h = 0; h < 2; ++h) {
            const __m256i a0 = Load(rgb0 + 4 * x + 64 * h);
            const __m256i b0 = Load(rgb0 + 4 * x + 64 * h + 32);
            const __m256i a1 = Load(rgb1 + 4 * x + 64 * h);
            const __m256i b1 = Load(rgb1 + 4 * x + 64 * h + 32);
            // The left (even) and right (odd) pixels of each block of both
            // rows go through the dot product into one sum per block.
            const __m256i e0 = Even(a0, b0), o0 = Odd(a0, b0), e1 = Even(a1, b1), o1 = Odd(a1, b1);
            const __m256i su = _mm256_add_epi32(
                _mm256_dpbusd_epi32(_mm256_dpbusd_epi32(chromaBias, e0, uCoef), o0, uCoef),
                _mm256_dpbusd_epi32(_mm256_dpbusd_epi32(zero, e1, uCoef), o1, uCoef));
            const __m256i sv = _mm256_add_epi32(
                _mm256_dpbusd_epi32(_mm256_dpbusd_epi32(chromaBias, e0, vCoef), o0, vCoef),
                _mm256_dpbusd_epi32(_mm256_dpbusd_epi32(zero, e1, vCoef), o1, vCoef));
            d0[2 * h] = LumaSums(a0);
            d0[2 * h + 1] = LumaSums(b0);
            d1[2 * h] = LumaSums(a1);
            d1[2 * h + 1] = LumaSums(b1);
            us[h] = _mm256_srli_epi32(su, 10);
            vs[h] = _mm256_srli_epi32(sv, 10);
        }
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(y0 + x), LumaBytes(d0, lumaLowIdx, lumaHighIdx));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(y1 + x), LumaBytes(d1, lumaLowIdx, lumaHighIdx));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(u + x / 2),
                         _mm256_castsi256_si128(_mm256_permutex2var_epi8(us[0], chromaIdx, us[1])));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(v + x / 2),
                         _mm256_castsi256_si128(_mm256_permutex2var_epi8(vs[0], chromaIdx, vs[1])));
    }
    Rgb32ToYuvRowPair_C(rgb0 + 4 * x, rgb1 + 4 * x, y0 + x, y1 + x, u + x / 2, v + x / 2, width - x);
}

}  // namespace vd
