// AVX2 row kernels, 32 pixels per step. This file is compiled with -mavx2 and
// only called after a CPU check; it shares no inline code with the others, so
// no AVX2 instruction can reach a CPU without it.
#include <immintrin.h>

#include "pixel/pixel_rows.h"

namespace vd {
namespace {

inline __m256i Load(const std::uint8_t* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)); }

inline void Store(std::uint8_t* p, __m256i v) { _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v); }

// Per pixel, with every component taken as c - 128 (the top bit flipped):
// 25 (B-128) + 129 (G-128) and 66 as two words. The coefficients are
// the unsigned operand, so 129 fits; the sums stay within -19712..19558.
inline __m256i LumaHalves(__m256i pixels) {
    const __m256i coef = _mm256_set1_epi32(0x00428119);  // bytes 25, 129, 66, 0
    const __m256i signBit = _mm256_set1_epi8(static_cast<char>(0x80));
    return _mm256_maddubs_epi16(coef, _mm256_xor_si256(pixels, signBit));
}

// 32 pixels (four vectors) to 32 Y bytes in order. The centred sum s is the
// true sum minus 220*128, so Y = ((s + 28160) >> 8) + 16 = (s + 32256) >> 8,
// taken as an unsigned 16-bit value (it lies in 4096..60356).
inline __m256i Luma32(const __m256i* p) {
    const __m256i bias = _mm256_set1_epi16(32256);
    // hadd gives, per 128-bit lane, pixels 0-3 | 8-11 and 4-7 | 12-15 (and the
    // same 16 further on); the final permute restores the order.
    __m256i a = _mm256_hadd_epi16(LumaHalves(p[0]), LumaHalves(p[1]));
    __m256i b = _mm256_hadd_epi16(LumaHalves(p[2]), LumaHalves(p[3]));
    a = _mm256_srli_epi16(_mm256_add_epi16(a, bias), 8);
    b = _mm256_srli_epi16(_mm256_add_epi16(b, bias), 8);
    return _mm256_permutevar8x32_epi32(_mm256_packus_epi16(a, b), _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7));
}

// Sums of each pair of horizontally neighbouring pixels' components, as
// words B, G, R, fourth byte per pair.
inline __m256i PairComponentSums(__m256i pixels) {
    const __m256i gather = _mm256_setr_epi8(0, 4, 1, 5, 2, 6, 3, 7, 8, 12, 9, 13, 10, 14, 11, 15, 0, 4, 1, 5, 2, 6, 3,
                                            7, 8, 12, 9, 13, 10, 14, 11, 15);
    return _mm256_maddubs_epi16(_mm256_shuffle_epi8(pixels, gather), _mm256_set1_epi8(1));
}

}  // namespace

void Rgb32ToYRow_AVX2(const std::uint8_t* rgb, std::uint8_t* y, int width) {
    int x = 0;
    for (; x + 32 <= width; x += 32) {
        const __m256i p[4] = {Load(rgb + 4 * x), Load(rgb + 4 * x + 32), Load(rgb + 4 * x + 64),
                              Load(rgb + 4 * x + 96)};
        Store(y + x, Luma32(p));
    }
    Rgb32ToYRow_C(rgb + 4 * x, y + x, width - x);
}

void Rgb32ToYuvRowPair_AVX2(const std::uint8_t* rgb0, const std::uint8_t* rgb1, std::uint8_t* y0, std::uint8_t* y1,
                            std::uint8_t* u, std::uint8_t* v, int width) {
    const __m256i uCoef = _mm256_setr_epi16(112, -74, -38, 0, 112, -74, -38, 0, 112, -74, -38, 0, 112, -74, -38, 0);
    const __m256i vCoef = _mm256_setr_epi16(-18, -94, 112, 0, -18, -94, 112, 0, -18, -94, 112, 0, -18, -94, 112, 0);
    const __m256i signBit = _mm256_set1_epi8(static_cast<char>(0x80));
    const __m256i lumaBias = _mm256_set1_epi16(32256);
    const __m256i lumaOrder = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
    int x = 0;
    for (; x + 32 <= width; x += 32) {
        // Two halves of 16 columns, each finished as far as it goes on its
        // own, so that few values stay live (see Luma32 for the luma steps).
        __m256i ya[2], yb[2], uh[2], vh[2];
        for (int h = 0; h < 2; ++h) {
            const __m256i a0 = Load(rgb0 + 4 * x + 64 * h), b0 = Load(rgb0 + 4 * x + 64 * h + 32);
            const __m256i a1 = Load(rgb1 + 4 * x + 64 * h), b1 = Load(rgb1 + 4 * x + 64 * h + 32);
            ya[h] = _mm256_srli_epi16(_mm256_add_epi16(_mm256_hadd_epi16(LumaHalves(a0), LumaHalves(b0)), lumaBias), 8);
            yb[h] = _mm256_srli_epi16(_mm256_add_epi16(_mm256_hadd_epi16(LumaHalves(a1), LumaHalves(b1)), lumaBias), 8);
            // Component sums of the 2 x 2 blocks of columns 0-7 (a) and 8-15 (b)
            // of the half, two blocks per lane.
            const __m256i blocksA = _mm256_add_epi16(PairComponentSums(a0), PairComponentSums(a1));
            const __m256i blocksB = _mm256_add_epi16(PairComponentSums(b0), PairComponentSums(b1));
            uh[h] = _mm256_srai_epi32(
                _mm256_hadd_epi32(_mm256_madd_epi16(blocksA, uCoef), _mm256_madd_epi16(blocksB, uCoef)), 10);
            vh[h] = _mm256_srai_epi32(
                _mm256_hadd_epi32(_mm256_madd_epi16(blocksA, vCoef), _mm256_madd_epi16(blocksB, vCoef)), 10);
        }
        Store(y0 + x, _mm256_permutevar8x32_epi32(_mm256_packus_epi16(ya[0], ya[1]), lumaOrder));
        Store(y1 + x, _mm256_permutevar8x32_epi32(_mm256_packus_epi16(yb[0], yb[1]), lumaOrder));
        // Per lane: U of blocks 0 1 4 5 8 9 12 13 (low) and 2 3 6 7 10 11 14 15
        // (high), after the packs; V likewise.
        const __m256i uw = _mm256_packs_epi32(uh[0], uh[1]);
        const __m256i vw = _mm256_packs_epi32(vh[0], vh[1]);
        // Values in -112..111; adding 128 is flipping the top bit.
        const __m256i uv = _mm256_xor_si256(_mm256_packs_epi16(uw, vw), signBit);
        const __m128i lo = _mm256_castsi256_si128(uv);
        const __m128i hi = _mm256_extracti128_si256(uv, 1);
        // Interleaving the lanes' pairs of samples puts them in order.
        _mm_storeu_si128(reinterpret_cast<__m128i*>(u + x / 2), _mm_unpacklo_epi16(lo, hi));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(v + x / 2), _mm_unpackhi_epi16(lo, hi));
    }
    Rgb32ToYuvRowPair_C(rgb0 + 4 * x, rgb1 + 4 * x, y0 + x, y1 + x, u + x / 2, v + x / 2, width - x);
}

namespace {

struct Rgb16 {
    __m256i b, g, r;
};

inline Rgb16 Combine(__m256i y74, __m256i tb, __m256i tg, __m256i tr) {
    // Only the blue sum can leave the 16-bit range, and only where the
    // result clamps to 255, so it saturates; the other two cannot overflow.
    return {_mm256_srai_epi16(_mm256_adds_epi16(y74, tb), 6), _mm256_srai_epi16(_mm256_sub_epi16(y74, tg), 6),
            _mm256_srai_epi16(_mm256_add_epi16(y74, tr), 6)};
}

// a holds pixels 0-7 | 16-23 and b pixels 8-15 | 24-31 (per 128-bit lane).
inline void StoreRgb32(std::uint8_t* dst, const Rgb16& a, const Rgb16& b) {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i bb = _mm256_packus_epi16(a.b, b.b);  // pixels 0-15 | 16-31
    const __m256i gg = _mm256_packus_epi16(a.g, b.g);
    const __m256i rr = _mm256_packus_epi16(a.r, b.r);
    const __m256i bgLo = _mm256_unpacklo_epi8(bb, gg);  // 0-7 | 16-23
    const __m256i bgHi = _mm256_unpackhi_epi8(bb, gg);  // 8-15 | 24-31
    const __m256i r0Lo = _mm256_unpacklo_epi8(rr, zero);
    const __m256i r0Hi = _mm256_unpackhi_epi8(rr, zero);
    const __m256i o0 = _mm256_unpacklo_epi16(bgLo, r0Lo);  // 0-3 | 16-19
    const __m256i o1 = _mm256_unpackhi_epi16(bgLo, r0Lo);  // 4-7 | 20-23
    const __m256i o2 = _mm256_unpacklo_epi16(bgHi, r0Hi);  // 8-11 | 24-27
    const __m256i o3 = _mm256_unpackhi_epi16(bgHi, r0Hi);  // 12-15 | 28-31
    Store(dst, _mm256_permute2x128_si256(o0, o1, 0x20));
    Store(dst + 32, _mm256_permute2x128_si256(o2, o3, 0x20));
    Store(dst + 64, _mm256_permute2x128_si256(o0, o1, 0x31));
    Store(dst + 96, _mm256_permute2x128_si256(o2, o3, 0x31));
}

}  // namespace

void Yuv420ToRgb32RowPair_AVX2(const std::uint8_t* y0, const std::uint8_t* y1, const std::uint8_t* u,
                               const std::uint8_t* v, std::uint8_t* rgb0, std::uint8_t* rgb1, int width) {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i k74 = _mm256_set1_epi16(74);
    // See the SSE2 kernel: chroma terms with the constant parts folded in,
    // computed with wrapping 16-bit arithmetic that lands in range.
    const __m256i k129 = _mm256_set1_epi16(129);
    const __m256i k25 = _mm256_set1_epi16(25);
    const __m256i k52 = _mm256_set1_epi16(52);
    const __m256i k102 = _mm256_set1_epi16(102);
    const __m256i bOffset = _mm256_set1_epi16(-17696);
    const __m256i gOffset = _mm256_set1_epi16(-8672);
    const __m256i rOffset = _mm256_set1_epi16(-14240);
    int x = 0;
    for (; x + 32 <= width; x += 32) {
        const __m256i uw = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(u + x / 2)));
        const __m256i vw = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(v + x / 2)));
        const __m256i tb = _mm256_add_epi16(_mm256_mullo_epi16(uw, k129), bOffset);
        const __m256i tg =
            _mm256_add_epi16(_mm256_add_epi16(_mm256_mullo_epi16(uw, k25), _mm256_mullo_epi16(vw, k52)), gOffset);
        const __m256i tr = _mm256_add_epi16(_mm256_mullo_epi16(vw, k102), rOffset);
        // Terms 0-7 | 8-15 per lane; doubling each one lines them up with
        // the luma words of pixels 0-7 | 16-23 (a) and 8-15 | 24-31 (b).
        const __m256i tbA = _mm256_unpacklo_epi16(tb, tb), tbB = _mm256_unpackhi_epi16(tb, tb);
        const __m256i tgA = _mm256_unpacklo_epi16(tg, tg), tgB = _mm256_unpackhi_epi16(tg, tg);
        const __m256i trA = _mm256_unpacklo_epi16(tr, tr), trB = _mm256_unpackhi_epi16(tr, tr);
        for (int row = 0; row < 2; ++row) {
            const __m256i yv = Load((row == 0 ? y0 : y1) + x);
            const __m256i ya = _mm256_mullo_epi16(_mm256_unpacklo_epi8(yv, zero), k74);
            const __m256i yb = _mm256_mullo_epi16(_mm256_unpackhi_epi8(yv, zero), k74);
            StoreRgb32((row == 0 ? rgb0 : rgb1) + 4 * x, Combine(ya, tbA, tgA, trA), Combine(yb, tbB, tgB, trB));
        }
    }
    Yuv420ToRgb32RowPair_C(y0 + x, y1 + x, u + x / 2, v + x / 2, rgb0 + 4 * x, rgb1 + 4 * x, width - x);
}

}  // namespace vd
