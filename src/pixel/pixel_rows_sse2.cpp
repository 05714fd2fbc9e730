// SSE2 row kernels, 16 pixels per step. SSE2 is the baseline of the 32-bit
// product; this file is compiled with -msse2 and only called after a CPU check.
#include <emmintrin.h>

#include "pixel/pixel_rows.h"

namespace vd {
namespace {

// Adds the two dwords of each pixel: lo = [a0 b0 a1 b1], hi = [a2 b2 a3 b3]
// gives [a0+b0 a1+b1 a2+b2 a3+b3].
inline __m128i PairSums(__m128i lo, __m128i hi) {
    const __m128 l = _mm_castsi128_ps(lo);
    const __m128 h = _mm_castsi128_ps(hi);
    const __m128i a = _mm_castps_si128(_mm_shuffle_ps(l, h, _MM_SHUFFLE(2, 0, 2, 0)));
    const __m128i b = _mm_castps_si128(_mm_shuffle_ps(l, h, _MM_SHUFFLE(3, 1, 3, 1)));
    return _mm_add_epi32(a, b);
}

// (25 B + 129 G + 66 R) >> 8 of four pixels, as dwords. The low bytes of
// the 16-bit words are B and R, the high bytes G and the fourth byte, so two
// word multiply-adds give every pixel's sum in its own dword.
inline __m128i LumaSums(__m128i pixels) {
    const __m128i brCoef = _mm_setr_epi16(25, 66, 25, 66, 25, 66, 25, 66);
    const __m128i gaCoef = _mm_setr_epi16(129, 0, 129, 0, 129, 0, 129, 0);
    const __m128i br = _mm_and_si128(pixels, _mm_set1_epi16(0x00FF));
    const __m128i ga = _mm_srli_epi16(pixels, 8);
    return _mm_srli_epi32(_mm_add_epi32(_mm_madd_epi16(br, brCoef), _mm_madd_epi16(ga, gaCoef)), 8);
}

// Sixteen shifted luma sums to sixteen Y bytes.
inline __m128i PackLuma(const __m128i* s) {
    const __m128i k16 = _mm_set1_epi16(16);
    const __m128i w0 = _mm_add_epi16(_mm_packs_epi32(s[0], s[1]), k16);
    const __m128i w1 = _mm_add_epi16(_mm_packs_epi32(s[2], s[3]), k16);
    return _mm_packus_epi16(w0, w1);
}

// Y of 16 pixels.
inline void Luma16(const std::uint8_t* rgb, std::uint8_t* y) {
    __m128i s[4];
    for (int i = 0; i < 4; ++i) s[i] = LumaSums(_mm_loadu_si128(reinterpret_cast<const __m128i*>(rgb + 16 * i)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(y), PackLuma(s));
}

// Component sums (B, G, R, fourth byte as words) of the two 2 x 2 blocks in
// 4 columns of two rows.
inline __m128i BlockSums(const std::uint8_t* a, const std::uint8_t* b) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i p0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a));
    const __m128i p1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b));
    // Column sums of pixels 0, 1 (l) and 2, 3 (h), then the block sums.
    const __m128i l = _mm_add_epi16(_mm_unpacklo_epi8(p0, zero), _mm_unpacklo_epi8(p1, zero));
    const __m128i h = _mm_add_epi16(_mm_unpackhi_epi8(p0, zero), _mm_unpackhi_epi8(p1, zero));
    return _mm_add_epi16(_mm_unpacklo_epi64(l, h), _mm_unpackhi_epi64(l, h));
}

// (sum >> 10) of four blocks in 8 columns, for the weights `coef`, as dwords.
inline __m128i Chroma4(const std::uint8_t* a, const std::uint8_t* b, __m128i coef) {
    return _mm_srai_epi32(
        PairSums(_mm_madd_epi16(BlockSums(a, b), coef), _mm_madd_epi16(BlockSums(a + 16, b + 16), coef)), 10);
}

}  // namespace

void Rgb32ToYRow_SSE2(const std::uint8_t* rgb, std::uint8_t* y, int width) {
    int x = 0;
    for (; x + 16 <= width; x += 16) Luma16(rgb + 4 * x, y + x);
    Rgb32ToYRow_C(rgb + 4 * x, y + x, width - x);
}

// Each step works on few registers at a time (the 32-bit product has eight),
// reading the pixels again from the first-level cache rather than keeping
// them.
void Rgb32ToYuvRowPair_SSE2(const std::uint8_t* rgb0, const std::uint8_t* rgb1, std::uint8_t* y0, std::uint8_t* y1,
                            std::uint8_t* u, std::uint8_t* v, int width) {
    const __m128i uCoef = _mm_setr_epi16(112, -74, -38, 0, 112, -74, -38, 0);
    const __m128i vCoef = _mm_setr_epi16(-18, -94, 112, 0, -18, -94, 112, 0);
    const __m128i signBit = _mm_set1_epi8(static_cast<char>(0x80));
    int x = 0;
    for (; x + 16 <= width; x += 16) {
        const std::uint8_t* a = rgb0 + 4 * x;
        const std::uint8_t* b = rgb1 + 4 * x;
        Luma16(a, y0 + x);
        Luma16(b, y1 + x);
        const __m128i uw = _mm_packs_epi32(Chroma4(a, b, uCoef), Chroma4(a + 32, b + 32, uCoef));
        const __m128i vw = _mm_packs_epi32(Chroma4(a, b, vCoef), Chroma4(a + 32, b + 32, vCoef));
        // Values in -112..111; adding 128 is flipping the top bit.
        const __m128i uv = _mm_xor_si128(_mm_packs_epi16(uw, vw), signBit);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(u + x / 2), uv);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(v + x / 2), _mm_srli_si128(uv, 8));
    }
    Rgb32ToYuvRowPair_C(rgb0 + 4 * x, rgb1 + 4 * x, y0 + x, y1 + x, u + x / 2, v + x / 2, width - x);
}

namespace {

// Eight pixels of one row: luma words times 74 plus the chroma terms, to
// eight pixels' worth of B, G and R words (unclamped, shifted).
struct Rgb16 {
    __m128i b, g, r;
};

inline Rgb16 Combine(__m128i y74, __m128i tb, __m128i tg, __m128i tr) {
    // Only the blue sum can leave the 16-bit range, and only where the
    // result clamps to 255, so it saturates; the other two cannot overflow.
    return {_mm_srai_epi16(_mm_adds_epi16(y74, tb), 6), _mm_srai_epi16(_mm_sub_epi16(y74, tg), 6),
            _mm_srai_epi16(_mm_add_epi16(y74, tr), 6)};
}

inline void StoreRgb32(std::uint8_t* dst, const Rgb16& lo, const Rgb16& hi) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i b = _mm_packus_epi16(lo.b, hi.b);
    const __m128i g = _mm_packus_epi16(lo.g, hi.g);
    const __m128i r = _mm_packus_epi16(lo.r, hi.r);
    const __m128i bgLo = _mm_unpacklo_epi8(b, g);
    const __m128i bgHi = _mm_unpackhi_epi8(b, g);
    const __m128i r0Lo = _mm_unpacklo_epi8(r, zero);
    const __m128i r0Hi = _mm_unpackhi_epi8(r, zero);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), _mm_unpacklo_epi16(bgLo, r0Lo));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 16), _mm_unpackhi_epi16(bgLo, r0Lo));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 32), _mm_unpacklo_epi16(bgHi, r0Hi));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 48), _mm_unpackhi_epi16(bgHi, r0Hi));
}

}  // namespace

void Yuv420ToRgb32RowPair_SSE2(const std::uint8_t* y0, const std::uint8_t* y1, const std::uint8_t* u,
                               const std::uint8_t* v, std::uint8_t* rgb0, std::uint8_t* rgb1, int width) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i k74 = _mm_set1_epi16(74);
    const __m128i k129 = _mm_set1_epi16(129);
    const __m128i k25 = _mm_set1_epi16(25);
    const __m128i k52 = _mm_set1_epi16(52);
    const __m128i k102 = _mm_set1_epi16(102);
    // The constant parts of the chroma terms, with the -74 * 16 of the luma
    // term folded in: 129 U - 129*128 - 1184, 25 U + 52 V - 77*128 + 1184,
    // 102 V - 102*128 - 1184. The products wrap in 16 bits; the sums land in
    // range, so wrapping arithmetic gives them exactly.
    const __m128i bOffset = _mm_set1_epi16(-17696);
    const __m128i gOffset = _mm_set1_epi16(-8672);
    const __m128i rOffset = _mm_set1_epi16(-14240);
    int x = 0;
    for (; x + 16 <= width; x += 16) {
        const __m128i uw = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(u + x / 2)), zero);
        const __m128i vw = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(v + x / 2)), zero);
        const __m128i tb = _mm_add_epi16(_mm_mullo_epi16(uw, k129), bOffset);
        const __m128i tg = _mm_add_epi16(_mm_add_epi16(_mm_mullo_epi16(uw, k25), _mm_mullo_epi16(vw, k52)), gOffset);
        const __m128i tr = _mm_add_epi16(_mm_mullo_epi16(vw, k102), rOffset);
        // Each chroma term serves two neighbouring pixels.
        const __m128i tbLo = _mm_unpacklo_epi16(tb, tb), tbHi = _mm_unpackhi_epi16(tb, tb);
        const __m128i tgLo = _mm_unpacklo_epi16(tg, tg), tgHi = _mm_unpackhi_epi16(tg, tg);
        const __m128i trLo = _mm_unpacklo_epi16(tr, tr), trHi = _mm_unpackhi_epi16(tr, tr);
        for (int row = 0; row < 2; ++row) {
            const std::uint8_t* ySrc = row == 0 ? y0 : y1;
            std::uint8_t* dst = row == 0 ? rgb0 : rgb1;
            const __m128i yv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(ySrc + x));
            const __m128i yLo = _mm_mullo_epi16(_mm_unpacklo_epi8(yv, zero), k74);
            const __m128i yHi = _mm_mullo_epi16(_mm_unpackhi_epi8(yv, zero), k74);
            StoreRgb32(dst + 4 * x, Combine(yLo, tbLo, tgLo, trLo), Combine(yHi, tbHi, tgHi, trHi));
        }
    }
    Yuv420ToRgb32RowPair_C(y0 + x, y1 + x, u + x / 2, v + x / 2, rgb0 + 4 * x, rgb1 + 4 * x, width - x);
}

}  // namespace vd
