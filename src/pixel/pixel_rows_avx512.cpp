// Row kernels for CPUs with AVX-512 BW, VL, VNNI and VBMI. RGB32 to 4:2:0:
// 64 pixels per step on 512-bit registers, then one 32-pixel step on 256-bit
// ones; the byte dot product sums a pixel's weighted components in one
// instruction, and the two-table byte permute picks the result bytes out of
// the sums, where the AVX2 kernels need several adds, shifts and packs.
// 4:2:0 to RGB32: the AVX2 arithmetic on 512-bit registers, 64 pixels per
// step, the rest left to the AVX2 kernel.
// Compiled with the AVX-512 options and only called after a CPU check; it
// shares no inline code with the other files.
#include <immintrin.h>

#include "pixel/pixel_rows.h"

namespace vd {
namespace {

// Byte indexes for the two-table byte permutes (bit 5, or bit 6 for 512-bit
// vectors, selects the second table):
// - luma: byte 1 of each dword of (a, b) in order, placed in the low half
//   (Low) or the high half (High) of the result;
// - chroma: byte 0 of each block sum of (a, b) in block order. Per 128-bit
//   lane, a sum vector holds blocks 2l, 2l+1 of its first source vector and
//   then the same two of its second (see Even and Odd).
alignas(32) const char kLumaLow256[32] = {1, 5, 9, 13, 17, 21, 25, 29, 33, 37, 41, 45, 49, 53, 57, 61,
                                          0, 0, 0, 0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0};
alignas(32) const char kLumaHigh256[32] = {0, 0, 0, 0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,
                                           1, 5, 9, 13, 17, 21, 25, 29, 33, 37, 41, 45, 49, 53, 57, 61};
alignas(32) const char kChroma256[32] = {0, 4, 16, 20, 8, 12, 24, 28, 32, 36, 48, 52, 40, 44, 56, 60,
                                         0, 0, 0,  0,  0, 0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0};
alignas(64) const char kLumaLow512[64] = {1,  5,  9,  13, 17, 21, 25, 29, 33, 37,  41,  45,  49,  53,  57,  61,
                                          65, 69, 73, 77, 81, 85, 89, 93, 97, 101, 105, 109, 113, 117, 121, 125,
                                          0,  0,  0,  0,  0,  0,  0,  0,  0,  0,   0,   0,   0,   0,   0,   0,
                                          0,  0,  0,  0,  0,  0,  0,  0,  0,  0,   0,   0,   0,   0,   0,   0};
alignas(64) const char kLumaHigh512[64] = {0,  0,  0,  0,  0,  0,  0,  0,  0,  0,   0,   0,   0,   0,   0,   0,
                                           0,  0,  0,  0,  0,  0,  0,  0,  0,  0,   0,   0,   0,   0,   0,   0,
                                           1,  5,  9,  13, 17, 21, 25, 29, 33, 37,  41,  45,  49,  53,  57,  61,
                                           65, 69, 73, 77, 81, 85, 89, 93, 97, 101, 105, 109, 113, 117, 121, 125};
alignas(64) const char kChroma512[64] = {0,  4,  16, 20, 32, 36,  48,  52,  8,  12, 24, 28, 40,  44,  56,  60,
                                         64, 68, 80, 84, 96, 100, 112, 116, 72, 76, 88, 92, 104, 108, 120, 124,
                                         0,  0,  0,  0,  0,  0,   0,   0,   0,  0,  0,  0,  0,   0,   0,   0,
                                         0,  0,  0,  0,  0,  0,   0,   0,   0,  0,  0,  0,  0,   0,   0,   0};

// The arithmetic, the same for both register widths:
// - Luma: with every component taken as c - 128 (top bit flipped) and the
//   weights 25, 129, 66, 0 as the unsigned operand, the dot product is the
//   true sum minus 220*128; starting it from 32256 gives sum + 4096 (in
//   4096..60356), whose second byte is Y = (sum >> 8) + 16.
// - Chroma: the left (even) and right (odd) pixels of each block of both rows
//   go through the dot product (pixels unsigned, weights signed) into one sum
//   per block, started from 128 * 1024 so that (sum >> 10) is the sample,
//   in 16..239. Two short chains per sum rather than one long one, and the
//   luma and chroma chains of both halves of a step started together, so
//   that independent work overlaps.
constexpr int kLumaWeights = 0x00428119;  // bytes 25, 129, 66, 0
constexpr int kLumaBias = 32256;
constexpr int kUWeights = 0x00DAB670;  // bytes 112, -74, -38, 0
constexpr int kVWeights = 0x0070A2EE;  // bytes -18, -94, 112, 0
constexpr int kChromaBias = 128 * 1024;

// ---- 256-bit registers: 32 pixels, 16 blocks per step.

inline __m256i Load256(const void* p) { return _mm256_loadu_si256(static_cast<const __m256i*>(p)); }

inline __m256i LumaSums(__m256i pixels) {
    return _mm256_dpbusd_epi32(_mm256_set1_epi32(kLumaBias), _mm256_set1_epi32(kLumaWeights),
                               _mm256_xor_si256(pixels, _mm256_set1_epi8(static_cast<char>(0x80))));
}

// The left and right pixels of the blocks of a and b, in matching order
// (per 128-bit lane: two blocks of a, then the same two of b).
inline __m256i Even(__m256i a, __m256i b) {
    return _mm256_castps_si256(
        _mm256_shuffle_ps(_mm256_castsi256_ps(a), _mm256_castsi256_ps(b), _MM_SHUFFLE(2, 0, 2, 0)));
}
inline __m256i Odd(__m256i a, __m256i b) {
    return _mm256_castps_si256(
        _mm256_shuffle_ps(_mm256_castsi256_ps(a), _mm256_castsi256_ps(b), _MM_SHUFFLE(3, 1, 3, 1)));
}

inline __m256i ChromaSums(__m256i e0, __m256i o0, __m256i e1, __m256i o1, int weights) {
    const __m256i w = _mm256_set1_epi32(weights);
    const __m256i sum =
        _mm256_add_epi32(_mm256_dpbusd_epi32(_mm256_dpbusd_epi32(_mm256_set1_epi32(kChromaBias), e0, w), o0, w),
                         _mm256_dpbusd_epi32(_mm256_dpbusd_epi32(_mm256_setzero_si256(), e1, w), o1, w));
    return _mm256_srli_epi32(sum, 10);
}

struct Tables256 {
    __m256i lumaLow = Load256(kLumaLow256);
    __m256i lumaHigh = Load256(kLumaHigh256);
    __m256i chroma = Load256(kChroma256);
};

// The Y bytes of four vectors of luma sums, in order.
inline __m256i LumaBytes(const __m256i* d, const Tables256& t) {
    const __m256i low = _mm256_permutex2var_epi8(d[0], t.lumaLow, d[1]);
    const __m256i high = _mm256_permutex2var_epi8(d[2], t.lumaHigh, d[3]);
    return _mm256_blend_epi32(low, high, 0xF0);
}

inline void Luma32(const std::uint8_t* rgb, std::uint8_t* y, const Tables256& t) {
    const __m256i d[4] = {LumaSums(Load256(rgb)), LumaSums(Load256(rgb + 32)), LumaSums(Load256(rgb + 64)),
                          LumaSums(Load256(rgb + 96))};
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(y), LumaBytes(d, t));
}

inline void RowPair32(const std::uint8_t* rgb0, const std::uint8_t* rgb1, std::uint8_t* y0, std::uint8_t* y1,
                      std::uint8_t* u, std::uint8_t* v, const Tables256& t) {
    __m256i d0[4], d1[4], us[2], vs[2];
    for (int h = 0; h < 2; ++h) {
        const __m256i a0 = Load256(rgb0 + 64 * h), b0 = Load256(rgb0 + 64 * h + 32);
        const __m256i a1 = Load256(rgb1 + 64 * h), b1 = Load256(rgb1 + 64 * h + 32);
        const __m256i e0 = Even(a0, b0), o0 = Odd(a0, b0), e1 = Even(a1, b1), o1 = Odd(a1, b1);
        us[h] = ChromaSums(e0, o0, e1, o1, kUWeights);
        vs[h] = ChromaSums(e0, o0, e1, o1, kVWeights);
        d0[2 * h] = LumaSums(a0);
        d0[2 * h + 1] = LumaSums(b0);
        d1[2 * h] = LumaSums(a1);
        d1[2 * h + 1] = LumaSums(b1);
    }
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(y0), LumaBytes(d0, t));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(y1), LumaBytes(d1, t));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(u),
                     _mm256_castsi256_si128(_mm256_permutex2var_epi8(us[0], t.chroma, us[1])));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(v),
                     _mm256_castsi256_si128(_mm256_permutex2var_epi8(vs[0], t.chroma, vs[1])));
}

// ---- 512-bit registers: 64 pixels, 32 blocks per step. The 128-bit lanes
// work as above, so only the index tables differ.

inline __m512i Load512(const void* p) { return _mm512_loadu_si512(p); }

inline __m512i LumaSums(__m512i pixels) {
    return _mm512_dpbusd_epi32(_mm512_set1_epi32(kLumaBias), _mm512_set1_epi32(kLumaWeights),
                               _mm512_xor_si512(pixels, _mm512_set1_epi8(static_cast<char>(0x80))));
}

inline __m512i Even(__m512i a, __m512i b) {
    return _mm512_castps_si512(
        _mm512_shuffle_ps(_mm512_castsi512_ps(a), _mm512_castsi512_ps(b), _MM_SHUFFLE(2, 0, 2, 0)));
}
inline __m512i Odd(__m512i a, __m512i b) {
    return _mm512_castps_si512(
        _mm512_shuffle_ps(_mm512_castsi512_ps(a), _mm512_castsi512_ps(b), _MM_SHUFFLE(3, 1, 3, 1)));
}

inline __m512i ChromaSums(__m512i e0, __m512i o0, __m512i e1, __m512i o1, int weights) {
    const __m512i w = _mm512_set1_epi32(weights);
    const __m512i sum =
        _mm512_add_epi32(_mm512_dpbusd_epi32(_mm512_dpbusd_epi32(_mm512_set1_epi32(kChromaBias), e0, w), o0, w),
                         _mm512_dpbusd_epi32(_mm512_dpbusd_epi32(_mm512_setzero_si512(), e1, w), o1, w));
    return _mm512_srli_epi32(sum, 10);
}

struct Tables512 {
    __m512i lumaLow = _mm512_load_si512(kLumaLow512);
    __m512i lumaHigh = _mm512_load_si512(kLumaHigh512);
    __m512i chroma = _mm512_load_si512(kChroma512);
};

inline __m512i LumaBytes(const __m512i* d, const Tables512& t) {
    const __m512i low = _mm512_permutex2var_epi8(d[0], t.lumaLow, d[1]);
    const __m512i high = _mm512_permutex2var_epi8(d[2], t.lumaHigh, d[3]);
    return _mm512_mask_blend_epi64(0xF0, low, high);
}

inline void Luma64(const std::uint8_t* rgb, std::uint8_t* y, const Tables512& t) {
    const __m512i d[4] = {LumaSums(Load512(rgb)), LumaSums(Load512(rgb + 64)), LumaSums(Load512(rgb + 128)),
                          LumaSums(Load512(rgb + 192))};
    _mm512_storeu_si512(y, LumaBytes(d, t));
}

inline void RowPair64(const std::uint8_t* rgb0, const std::uint8_t* rgb1, std::uint8_t* y0, std::uint8_t* y1,
                      std::uint8_t* u, std::uint8_t* v, const Tables512& t) {
    __m512i d0[4], d1[4], us[2], vs[2];
    for (int h = 0; h < 2; ++h) {
        const __m512i a0 = Load512(rgb0 + 128 * h), b0 = Load512(rgb0 + 128 * h + 64);
        const __m512i a1 = Load512(rgb1 + 128 * h), b1 = Load512(rgb1 + 128 * h + 64);
        const __m512i e0 = Even(a0, b0), o0 = Odd(a0, b0), e1 = Even(a1, b1), o1 = Odd(a1, b1);
        us[h] = ChromaSums(e0, o0, e1, o1, kUWeights);
        vs[h] = ChromaSums(e0, o0, e1, o1, kVWeights);
        d0[2 * h] = LumaSums(a0);
        d0[2 * h + 1] = LumaSums(b0);
        d1[2 * h] = LumaSums(a1);
        d1[2 * h + 1] = LumaSums(b1);
    }
    _mm512_storeu_si512(y0, LumaBytes(d0, t));
    _mm512_storeu_si512(y1, LumaBytes(d1, t));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(u),
                        _mm512_castsi512_si256(_mm512_permutex2var_epi8(us[0], t.chroma, us[1])));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(v),
                        _mm512_castsi512_si256(_mm512_permutex2var_epi8(vs[0], t.chroma, vs[1])));
}

}  // namespace

void Rgb32ToYRow_AVX512(const std::uint8_t* rgb, std::uint8_t* y, int width) {
    const Tables512 wide;
    const Tables256 narrow;
    int x = 0;
    for (; x + 64 <= width; x += 64) Luma64(rgb + 4 * x, y + x, wide);
    for (; x + 32 <= width; x += 32) Luma32(rgb + 4 * x, y + x, narrow);
    Rgb32ToYRow_C(rgb + 4 * x, y + x, width - x);
}

void Rgb32ToYuvRowPair_AVX512(const std::uint8_t* rgb0, const std::uint8_t* rgb1, std::uint8_t* y0, std::uint8_t* y1,
                              std::uint8_t* u, std::uint8_t* v, int width) {
    const Tables512 wide;
    const Tables256 narrow;
    int x = 0;
    for (; x + 64 <= width; x += 64) {
        RowPair64(rgb0 + 4 * x, rgb1 + 4 * x, y0 + x, y1 + x, u + x / 2, v + x / 2, wide);
    }
    for (; x + 32 <= width; x += 32) {
        RowPair32(rgb0 + 4 * x, rgb1 + 4 * x, y0 + x, y1 + x, u + x / 2, v + x / 2, narrow);
    }
    Rgb32ToYuvRowPair_C(rgb0 + 4 * x, rgb1 + 4 * x, y0 + x, y1 + x, u + x / 2, v + x / 2, width - x);
}

namespace {

// ---- 4:2:0 to RGB32, 64 pixels per step (see the AVX2 kernel for the
// arithmetic and its ranges).

struct Rgb16 {
    __m512i b, g, r;
};

inline Rgb16 Combine(__m512i y74, __m512i tb, __m512i tg, __m512i tr) {
    return {_mm512_srai_epi16(_mm512_adds_epi16(y74, tb), 6), _mm512_srai_epi16(_mm512_sub_epi16(y74, tg), 6),
            _mm512_srai_epi16(_mm512_add_epi16(y74, tr), 6)};
}

// a holds pixels 16l..16l+7 and b pixels 16l+8..16l+15 in 128-bit lane l.
inline void StoreRgb32(std::uint8_t* dst, const Rgb16& a, const Rgb16& b) {
    // After the packs lane l holds pixels 16l..16l+15 in order. Transposing
    // the 4 x 4 groups of four pixels first makes the in-lane interleaves
    // below give whole 16-pixel runs, one per vector.
    const __m512i transpose = _mm512_setr_epi32(0, 4, 8, 12, 1, 5, 9, 13, 2, 6, 10, 14, 3, 7, 11, 15);
    const __m512i zero = _mm512_setzero_si512();
    const __m512i bb = _mm512_permutexvar_epi32(transpose, _mm512_packus_epi16(a.b, b.b));
    const __m512i gg = _mm512_permutexvar_epi32(transpose, _mm512_packus_epi16(a.g, b.g));
    const __m512i rr = _mm512_permutexvar_epi32(transpose, _mm512_packus_epi16(a.r, b.r));
    const __m512i bgLo = _mm512_unpacklo_epi8(bb, gg);
    const __m512i bgHi = _mm512_unpackhi_epi8(bb, gg);
    const __m512i r0Lo = _mm512_unpacklo_epi8(rr, zero);
    const __m512i r0Hi = _mm512_unpackhi_epi8(rr, zero);
    _mm512_storeu_si512(dst, _mm512_unpacklo_epi16(bgLo, r0Lo));
    _mm512_storeu_si512(dst + 64, _mm512_unpackhi_epi16(bgLo, r0Lo));
    _mm512_storeu_si512(dst + 128, _mm512_unpacklo_epi16(bgHi, r0Hi));
    _mm512_storeu_si512(dst + 192, _mm512_unpackhi_epi16(bgHi, r0Hi));
}

}  // namespace

void Yuv420ToRgb32RowPair_AVX512(const std::uint8_t* y0, const std::uint8_t* y1, const std::uint8_t* u,
                                 const std::uint8_t* v, std::uint8_t* rgb0, std::uint8_t* rgb1, int width) {
    const __m512i zero = _mm512_setzero_si512();
    const __m512i k74 = _mm512_set1_epi16(74);
    const __m512i k129 = _mm512_set1_epi16(129);
    const __m512i k25 = _mm512_set1_epi16(25);
    const __m512i k52 = _mm512_set1_epi16(52);
    const __m512i k102 = _mm512_set1_epi16(102);
    const __m512i bOffset = _mm512_set1_epi16(-17696);
    const __m512i gOffset = _mm512_set1_epi16(-8672);
    const __m512i rOffset = _mm512_set1_epi16(-14240);
    int x = 0;
    for (; x + 64 <= width; x += 64) {
        const __m512i uw = _mm512_cvtepu8_epi16(Load256(u + x / 2));
        const __m512i vw = _mm512_cvtepu8_epi16(Load256(v + x / 2));
        const __m512i tb = _mm512_add_epi16(_mm512_mullo_epi16(uw, k129), bOffset);
        const __m512i tg =
            _mm512_add_epi16(_mm512_add_epi16(_mm512_mullo_epi16(uw, k25), _mm512_mullo_epi16(vw, k52)), gOffset);
        const __m512i tr = _mm512_add_epi16(_mm512_mullo_epi16(vw, k102), rOffset);
        // Terms 8l..8l+7 in lane l; doubled, they line up with the luma words
        // of pixels 16l..16l+7 (a) and 16l+8..16l+15 (b).
        const __m512i tbA = _mm512_unpacklo_epi16(tb, tb), tbB = _mm512_unpackhi_epi16(tb, tb);
        const __m512i tgA = _mm512_unpacklo_epi16(tg, tg), tgB = _mm512_unpackhi_epi16(tg, tg);
        const __m512i trA = _mm512_unpacklo_epi16(tr, tr), trB = _mm512_unpackhi_epi16(tr, tr);
        for (int row = 0; row < 2; ++row) {
            const __m512i yv = Load512((row == 0 ? y0 : y1) + x);
            const __m512i ya = _mm512_mullo_epi16(_mm512_unpacklo_epi8(yv, zero), k74);
            const __m512i yb = _mm512_mullo_epi16(_mm512_unpackhi_epi8(yv, zero), k74);
            StoreRgb32((row == 0 ? rgb0 : rgb1) + 4 * x, Combine(ya, tbA, tgA, trA), Combine(yb, tbB, tgB, trB));
        }
    }
    Yuv420ToRgb32RowPair_AVX2(y0 + x, y1 + x, u + x / 2, v + x / 2, rgb0 + 4 * x, rgb1 + 4 * x, width - x);
}

}  // namespace vd
