// Compiled with -mavx512f -mavx512vl and called only when the processor has both; it
// includes nothing but plain declarations.
#include <immintrin.h>

#include "models/fast/FastWideKernel.h"

namespace {

// D > 0: exactly D columns, known to the compiler; 0: a.realColumns.
template <int D>
void wideKernel(PairKernelArgs& a)
{
    const int d = D > 0 ? D : a.realColumns;
    const __m512d c0 = _mm512_set1_pd(a.c0);
    const __m512d invStep = _mm512_set1_pd(a.invStep);
    const __m512d one = _mm512_set1_pd(1.0);
    const __m512d low = _mm512_set1_pd(-0.5);
    const __m512d high = _mm512_set1_pd(a.points - 0.5);
    const __m512d tolerance = _mm512_set1_pd(kActivationTolerance);
    const __m512d twice = _mm512_set1_pd(2.0 * kActivationTolerance);
    const __m512d never = _mm512_set1_pd(a.points);
    std::uint32_t* const counts = a.counts;
    __m512d ps[kWideColumnsMax];
    __m512d e[kWideColumnsMax + 1];
    alignas(64) double coefficients[kWideColumnsMax][8];
    alignas(32) int firsts[8];

    for (int p = a.from; p < a.to; p += 8) {
        __m512d ratio = _mm512_setzero_pd();
#pragma GCC unroll 32
        for (int j = 0; j < d; ++j) {
            const __m512d x = _mm512_loadu_pd(a.xc + static_cast<long>(j) * a.stride + p);
            ps[j] = _mm512_mul_pd(_mm512_sub_pd(_mm512_set1_pd(a.xi[j]), x), _mm512_set1_pd(a.invSigma[j]));
            ratio = _mm512_max_pd(ratio, _mm512_abs_pd(ps[j]));
        }
        // Clamped grid steps, floor + 1, closeness after a shift: as the 4-column kernels.
        const __m512d f = _mm512_min_pd(_mm512_max_pd(_mm512_mul_pd(_mm512_sub_pd(ratio, c0), invStep), low), high);
        const __m512d shifted = _mm512_add_pd(f, tolerance);
        const __m512d below = _mm512_roundscale_pd(shifted, _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC);
        const __mmask8 close = _mm512_cmp_pd_mask(_mm512_sub_pd(shifted, below), twice, _CMP_LT_OQ);
        __m512d first = _mm512_add_pd(below, one);
        if (close) {
            first = _mm512_setzero_pd();
            for (int j = 0; j < d; ++j) {
                const __m512d fj = _mm512_min_pd(
                    _mm512_max_pd(_mm512_mul_pd(_mm512_sub_pd(_mm512_abs_pd(ps[j]), c0), invStep), low), high);
                const __m512d sj = _mm512_add_pd(fj, tolerance);
                const __m512d kj = _mm512_roundscale_pd(sj, _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC);
                const __mmask8 nearJ = _mm512_cmp_pd_mask(_mm512_sub_pd(sj, kj), twice, _CMP_LT_OQ);
                __m512d aj = _mm512_add_pd(kj, one);
                if (nearJ) {
                    const __m512d x = _mm512_loadu_pd(a.xc + static_cast<long>(j) * a.stride + p);
                    const __m512d diff = _mm512_abs_pd(_mm512_sub_pd(_mm512_set1_pd(a.xi[j]), x));
                    const __m512d b = _mm512_mask_i32gather_pd(_mm512_setzero_pd(), nearJ, _mm512_cvttpd_epi32(kj),
                                                               a.bound + static_cast<long>(j) * a.points, 8);
                    const __mmask8 inside = _mm512_mask_cmp_pd_mask(nearJ, diff, b, _CMP_LE_OQ);
                    aj = _mm512_mask_mov_pd(aj, inside, kj);
                }
                first = _mm512_max_pd(first, aj);
            }
        }
        const __m256i firstInt = _mm512_cvttpd_epi32(first);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(a.activation + p), _mm256_cvtepi32_epi16(firstInt));
        const __mmask8 active = _mm512_cmp_pd_mask(first, never, _CMP_LT_OQ);
        if (!active)
            continue;
        _mm256_store_si256(reinterpret_cast<__m256i*>(firsts), firstInt);

        // e_m over the columns in order, e_0 = 1: the recurrence of the scalar loop.
        e[0] = one;
#pragma GCC unroll 32
        for (int m = 1; m <= d; ++m)
            e[m] = _mm512_setzero_pd();
#pragma GCC unroll 32
        for (int j = 0; j < d; ++j) {
            const __m512d aj = _mm512_mul_pd(ps[j], ps[j]);
#pragma GCC unroll 32
            for (int m = j + 1; m >= 1; --m)
                e[m] = _mm512_add_pd(e[m], _mm512_mul_pd(aj, e[m - 1]));
        }
        for (int m = 0; m < d; ++m)
            _mm512_store_pd(coefficients[m], e[m + 1]);
        for (unsigned bits = active; bits; bits &= bits - 1) {
            const int l = __builtin_ctz(bits);
            const int cell = a.cellBase + firsts[l];
            double* const target = a.sums + static_cast<long>(cell) * d;
#pragma GCC unroll 32
            for (int m = 0; m < d; ++m)
                target[m] = target[m] + coefficients[m][l];
            ++counts[cell];
        }
    }
}

}  // namespace

void widePairKernelAvx512(PairKernelArgs& a)
{
    switch (a.realColumns) {
    case 5: wideKernel<5>(a); break;
    case 6: wideKernel<6>(a); break;
    case 7: wideKernel<7>(a); break;
    case 8: wideKernel<8>(a); break;
    case 9: wideKernel<9>(a); break;
    case 10: wideKernel<10>(a); break;
    case 11: wideKernel<11>(a); break;
    case 12: wideKernel<12>(a); break;
    case 13: wideKernel<13>(a); break;
    case 14: wideKernel<14>(a); break;
    case 15: wideKernel<15>(a); break;
    case 16: wideKernel<16>(a); break;
    case 17: wideKernel<17>(a); break;
    case 18: wideKernel<18>(a); break;
    case 19: wideKernel<19>(a); break;
    case 20: wideKernel<20>(a); break;
    case 21: wideKernel<21>(a); break;
    case 22: wideKernel<22>(a); break;
    case 23: wideKernel<23>(a); break;
    case 24: wideKernel<24>(a); break;
    case 25: wideKernel<25>(a); break;
    case 26: wideKernel<26>(a); break;
    case 27: wideKernel<27>(a); break;
    case 28: wideKernel<28>(a); break;
    case 29: wideKernel<29>(a); break;
    case 30: wideKernel<30>(a); break;
    case 31: wideKernel<31>(a); break;
    case 32: wideKernel<32>(a); break;
    default: wideKernel<0>(a); break;
    }
}
