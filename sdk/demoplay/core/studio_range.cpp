#include "core/studio_range.h"

#include <algorithm>
#include <cstring>

#if defined(__i386__) || defined(__x86_64__)
#include <emmintrin.h>
#define DEMOPLAY_SSE2 1
#endif

namespace demoplay {
namespace {

// ffmpeg's full-to-studio steps, folded: luma ((y << 7) * 14071 + 33561947)
// >> 14, then (+ 64) >> 7; chroma ((c << 7) * 1799 + 4081085) >> 11, then
// (+ 64) >> 7. Both stay within 16..235 and 16..240, so nothing is clamped.
constexpr int kLumaFactor = 14071, kLumaAdd = 270394, kLumaShift = 14;
constexpr int kChromaFactor = 1799, kChromaAdd = 32907, kChromaShift = 11;

template <int kFactor, int kAdd, int kShift>
void RangeRowC(const uint8_t* s, uint8_t* d, int n) {
    for (int i = 0; i < n; ++i) d[i] = uint8_t((s[i] * kFactor + kAdd) >> kShift);
}

#ifdef DEMOPLAY_SSE2
// The same mappings in 16-bit lanes: 16 + ((((v << kShiftIn) + kAdd) * kFactor) >> 16 >> 4). Checked
// against the 32-bit forms above for all 256 values: luma kShiftIn 6, kAdd 37, kFactor 14071; chroma
// kShiftIn 5, kAdd 3, kFactor 28781.
template <int kShiftIn, int kAdd, int kFactor>
__attribute__((target("sse2"))) inline __m128i RangeWords(__m128i w) {
    w = _mm_add_epi16(_mm_slli_epi16(w, kShiftIn), _mm_set1_epi16(kAdd));
    return _mm_srli_epi16(_mm_mulhi_epu16(w, _mm_set1_epi16(short(kFactor))), 4);
}

template <int kShiftIn, int kAdd, int kFactor>
__attribute__((target("sse2"))) void RangeRowSse2(const uint8_t* s, uint8_t* d, int n,
                                                  void (*tail)(const uint8_t*, uint8_t*, int)) {
    const __m128i zero = _mm_setzero_si128(), sixteen = _mm_set1_epi8(16);
    int i = 0;
    for (; i + 16 <= n; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
        const __m128i lo = RangeWords<kShiftIn, kAdd, kFactor>(_mm_unpacklo_epi8(v, zero));
        const __m128i hi = RangeWords<kShiftIn, kAdd, kFactor>(_mm_unpackhi_epi8(v, zero));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i), _mm_add_epi8(_mm_packus_epi16(lo, hi), sixteen));
    }
    tail(s + i, d + i, n - i);
}

__attribute__((target("sse2"))) void LumaRowSse2(const uint8_t* s, uint8_t* d, int n) {
    RangeRowSse2<6, 37, 14071>(s, d, n, RangeRowC<kLumaFactor, kLumaAdd, kLumaShift>);
}
__attribute__((target("sse2"))) void ChromaRowSse2(const uint8_t* s, uint8_t* d, int n) {
    RangeRowSse2<5, 3, 28781>(s, d, n, RangeRowC<kChromaFactor, kChromaAdd, kChromaShift>);
}

// Y0 U0 Y1 V0 from a row of luma and its rows of chroma.
__attribute__((target("sse2"))) void InterleaveYuy2Sse2(const uint8_t* y, const uint8_t* u, const uint8_t* v,
                                                        uint8_t* d, int pairs) {
    int i = 0;
    for (; i + 8 <= pairs; i += 8) {
        const __m128i yy = _mm_loadu_si128(reinterpret_cast<const __m128i*>(y + 2 * i));
        const __m128i uv = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(u + i)),
                                             _mm_loadl_epi64(reinterpret_cast<const __m128i*>(v + i)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 4 * i), _mm_unpacklo_epi8(yy, uv));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 4 * i + 16), _mm_unpackhi_epi8(yy, uv));
    }
    for (; i < pairs; ++i) {
        d[4 * i] = y[2 * i];
        d[4 * i + 1] = u[i];
        d[4 * i + 2] = y[2 * i + 1];
        d[4 * i + 3] = v[i];
    }
}

bool HaveSse2() {
#if defined(__x86_64__)
    return true;
#else
    static const bool have = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("sse2") != 0;
    }();
    return have;
#endif
}
#endif

void InterleaveYuy2C(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* d, int pairs) {
    for (int i = 0; i < pairs; ++i) {
        d[4 * i] = y[2 * i];
        d[4 * i + 1] = u[i];
        d[4 * i + 2] = y[2 * i + 1];
        d[4 * i + 3] = v[i];
    }
}

using RowFn = void (*)(const uint8_t*, uint8_t*, int);

void CopyRow(const uint8_t* s, uint8_t* d, int n) { std::memcpy(d, s, size_t(n)); }

struct Rows {
    RowFn luma, chroma;
    void (*interleave)(const uint8_t*, const uint8_t*, const uint8_t*, uint8_t*, int);
};

Rows RowsFor(bool fullRange) {
    Rows r{RangeRowC<kLumaFactor, kLumaAdd, kLumaShift>, RangeRowC<kChromaFactor, kChromaAdd, kChromaShift>,
           InterleaveYuy2C};
#ifdef DEMOPLAY_SSE2
    if (HaveSse2()) {
        r.luma = LumaRowSse2;
        r.chroma = ChromaRowSse2;
        r.interleave = InterleaveYuy2Sse2;
    }
#endif
    if (!fullRange) r.luma = r.chroma = CopyRow;
    return r;
}

}  // namespace

void PlanesToYv12(const DecodedPlanes& in, uint8_t* out) {
    const Rows rows = RowsFor(in.fullRange);
    const int w = in.width, h = in.height, cw = w / 2, ch = h / 2;
    for (int y = 0; y < h; ++y, out += w) rows.luma(in.plane[0] + ptrdiff_t(y) * in.stride[0], out, w);
    // YV12 holds V before U.
    for (int plane : {2, 1}) {
        for (int y = 0; y < ch; ++y, out += cw) {
            if (in.plane[plane])
                rows.chroma(in.plane[plane] + ptrdiff_t(y) * in.stride[plane], out, cw);
            else
                std::memset(out, 128, size_t(cw));
        }
    }
}

void PlanesToYuy2(const DecodedPlanes& in, bool fullChroma, uint8_t* out) {
    const Rows rows = RowsFor(in.fullRange);
    // A row at a time in pieces, through buffers that stay in the cache.
    constexpr int kPairs = 1024;
    uint8_t y[2 * kPairs], u[kPairs], v[kPairs], average[2][kPairs];
    const int pairs = in.width / 2;
    for (int row = 0; row < in.height; ++row) {
        const uint8_t* src[3];
        for (int p = 0; p < 3; ++p) src[p] = in.plane[p] + ptrdiff_t(row) * in.stride[p];
        for (int at = 0; at < pairs; at += kPairs) {
            const int n = std::min(kPairs, pairs - at);
            rows.luma(src[0] + 2 * at, y, 2 * n);
            for (int p = 1; p <= 2; ++p) {
                const uint8_t* c = src[p] + at;
                if (fullChroma) {
                    c = src[p] + 2 * at;
                    for (int i = 0; i < n; ++i) average[p - 1][i] = uint8_t((c[2 * i] + c[2 * i + 1] + 1) >> 1);
                    c = average[p - 1];
                }
                rows.chroma(c, p == 1 ? u : v, n);
            }
            rows.interleave(y, u, v, out + (size_t(row) * size_t(pairs) + size_t(at)) * 4, n);
        }
    }
}

}  // namespace demoplay
