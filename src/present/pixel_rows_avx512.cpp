// RGB32-to-4:2:0 row kernels for CPUs with AVX-512 BW, VL, VNNI and VBMI, 64
// pixels per step on 512-bit registers and one 32-pixel step on 256-bit ones
// for the rest. The byte dot product sums a pixel's
// weighted components in one instruction, and the two-table byte permute
// picks the result bytes out of the sums, where the AVX2 kernels need
// several adds, shifts and packs. Compiled with the AVX-512 options and only
// called after a CPU check; it shares no inline code with the other files.
#include <immintrin.h>

#include "present/pixel_rows.h"

namespace vd {
namespace {

// Byte indexes for the two-table byte permutes (bit 5, or bit 6 for 512-bit
// vectors, selects the second table):
// - luma: byte 1 of each dword of (a, b) in order, placed in the low half
//   (Low) or the high half (High) of the result;
// - chroma: byte 0 of each block sum of (a, b) in block order. Per 128-bit
//   lane, a sum vector holds blocks 2l, 2l+1 of its first source vector and
//   then the same two of its second (see Even and Odd).
alignas(32) const char kLumaLow256[32] = {
    1, 5, 9, 13, 17, 21, 25, 29, 33, 37, 41, 45, 49, 53, 57, 61, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0};
alignas(32) const char kLumaHigh256[32] = {
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 5, 9, 13, 17, 21, 25, 29, 33, 37, 41, 45,
    49, 53, 57, 61};
alignas(32) const char kChroma256[32] = {
    0, 4, 16, 20, 8, 12, 24, 28, 32, 36, 48, 52, 40, 44, 56, 60, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0};
alignas(64) const char kLumaLow512[64] = {
    1, 5, 9, 13, 17, 21, 25, 29, 33, 37, 41, 45, 49, 53, 57, 61, 65, 69, 73, 77, 81, 85, 89, 93,
    97, 101, 105, 109, 113, 117, 121, 125, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
alignas(64) const char kLumaHigh512[64] = {
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    1, 5, 9, 13, 17, 21, 25, 29, 33, 37, 41, 45, 49, 53, 57, 61, 65, 69, 73, 77, 81, 85, 89, 93,
    97, 101, 105, 109, 113, 117, 121, 125};
alignas(64) const char kChroma512[64] = {
    0, 4, 16, 20, 32, 36, 48, 52, 8, 12, 24, 28, 40, 44, 56, 60, 64, 68, 80, 84, 96, 100, 112, 116,
    72, 76, 88, 92, 104, 108, 120, 124, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};


inline __m256i Load(const std::uint8_t* p) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
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

// The same steps on 512-bit registers: 64 pixels, 32 blocks. The 128-bit
// lanes work as in the 256-bit code, so the index tables follow the same
// rules over four lanes.
inline __m512i Load512(const std::uint8_t* p) {
    return _mm512_loadu_si512(reinterpret_cast<const void*>(p));
}

inline __m512i LumaSums512(__m512i pixels) {
    const __m512i coef = _mm512_set1_epi32(0x00428119);  // bytes 25, 129, 66, 0
    const __m512i signBit = _mm512_set1_epi8(static_cast<char>(0x80));
    return _mm512_dpbusd_epi32(_mm512_set1_epi32(32256), coef, _mm512_xor_si512(pixels, signBit));
}

inline __m512i LumaBytes512(const __m512i* d, __m512i lowIdx, __m512i highIdx) {
    const __m512i low = _mm512_permutex2var_epi8(d[0], lowIdx, d[1]);    // pixels 0-31 in bytes 0-31
    const __m512i high = _mm512_permutex2var_epi8(d[2], highIdx, d[3]);  // pixels 32-63 in bytes 32-63
    return _mm512_mask_blend_epi64(0xF0, low, high);
}

inline __m512i Even512(__m512i a, __m512i b) {
    return _mm512_castps_si512(
        _mm512_shuffle_ps(_mm512_castsi512_ps(a), _mm512_castsi512_ps(b), _MM_SHUFFLE(2, 0, 2, 0)));
}
inline __m512i Odd512(__m512i a, __m512i b) {
    return _mm512_castps_si512(
        _mm512_shuffle_ps(_mm512_castsi512_ps(a), _mm512_castsi512_ps(b), _MM_SHUFFLE(3, 1, 3, 1)));
}

struct Tables512 {
    __m512i lumaLow = _mm512_load_si512(reinterpret_cast<const void*>(kLumaLow512));
    __m512i lumaHigh = _mm512_load_si512(reinterpret_cast<const void*>(kLumaHigh512));
    __m512i chroma = _mm512_load_si512(reinterpret_cast<const void*>(kChroma512));
};

inline void Luma64(const std::uint8_t* rgb, std::uint8_t* y, const Tables512& t) {
    const __m512i d[4] = {LumaSums512(Load512(rgb)), LumaSums512(Load512(rgb + 64)),
                          LumaSums512(Load512(rgb + 128)), LumaSums512(Load512(rgb + 192))};
    _mm512_storeu_si512(reinterpret_cast<void*>(y), LumaBytes512(d, t.lumaLow, t.lumaHigh));
}

// 64 columns of two rows: 64 Y bytes per row and 32 U and V samples.
inline void RowPair64(const std::uint8_t* rgb0, const std::uint8_t* rgb1, std::uint8_t* y0,
                      std::uint8_t* y1, std::uint8_t* u, std::uint8_t* v, const Tables512& t) {
    const __m512i uCoef = _mm512_set1_epi32(0x00DAB670);  // bytes 112, -74, -38, 0
    const __m512i vCoef = _mm512_set1_epi32(0x0070A2EE);  // bytes -18, -94, 112, 0
    const __m512i chromaBias = _mm512_set1_epi32(128 * 1024);
    const __m512i zero = _mm512_setzero_si512();
    __m512i d0[4], d1[4], us[2], vs[2];
    for (int h = 0; h < 2; ++h) {
        const __m512i a0 = Load512(rgb0 + 128 * h);
        const __m512i b0 = Load512(rgb0 + 128 * h + 64);
        const __m512i a1 = Load512(rgb1 + 128 * h);
        const __m512i b1 = Load512(rgb1 + 128 * h + 64);
        const __m512i e0 = Even512(a0, b0), o0 = Odd512(a0, b0), e1 = Even512(a1, b1), o1 = Odd512(a1, b1);
        const __m512i su = _mm512_add_epi32(
            _mm512_dpbusd_epi32(_mm512_dpbusd_epi32(chromaBias, e0, uCoef), o0, uCoef),
            _mm512_dpbusd_epi32(_mm512_dpbusd_epi32(zero, e1, uCoef), o1, uCoef));
        const __m512i sv = _mm512_add_epi32(
            _mm512_dpbusd_epi32(_mm512_dpbusd_epi32(chromaBias, e0, vCoef), o0, vCoef),
            _mm512_dpbusd_epi32(_mm512_dpbusd_epi32(zero, e1, vCoef), o1, vCoef));
        d0[2 * h] = LumaSums512(a0);
        d0[2 * h + 1] = LumaSums512(b0);
        d1[2 * h] = LumaSums512(a1);
        d1[2 * h + 1] = LumaSums512(b1);
        us[h] = _mm512_srli_epi32(su, 10);
        vs[h] = _mm512_srli_epi32(sv, 10);
    }
    _mm512_storeu_si512(reinterpret_cast<void*>(y0), LumaBytes512(d0, t.lumaLow, t.lumaHigh));
    _mm512_storeu_si512(reinterpret_cast<void*>(y1), LumaBytes512(d1, t.lumaLow, t.lumaHigh));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(u),
                        _mm512_castsi512_si256(_mm512_permutex2var_epi8(us[0], t.chroma, us[1])));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(v),
                        _mm512_castsi512_si256(_mm512_permutex2var_epi8(vs[0], t.chroma, vs[1])));
}
}  // namespace

void Rgb32ToYRow_AVX512(const std::uint8_t* rgb, std::uint8_t* y, int width) {
    const __m256i lowIdx = Load(reinterpret_cast<const std::uint8_t*>(kLumaLow256));
    const __m256i highIdx = Load(reinterpret_cast<const std::uint8_t*>(kLumaHigh256));
    const Tables512 tables;
    int x = 0;
    for (; x + 64 <= width; x += 64) Luma64(rgb + 4 * x, y + x, tables);
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
    const __m256i lumaLowIdx = Load(reinterpret_cast<const std::uint8_t*>(kLumaLow256));
    const __m256i lumaHighIdx = Load(reinterpret_cast<const std::uint8_t*>(kLumaHigh256));
    const __m256i chromaIdx = Load(reinterpret_cast<const std::uint8_t*>(kChroma256));
    const Tables512 tables;
    int x = 0;
    for (; x + 64 <= width; x += 64) {
        RowPair64(rgb0 + 4 * x, rgb1 + 4 * x, y0 + x, y1 + x, u + x / 2, v + x / 2, tables);
    }
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
