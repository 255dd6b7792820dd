// Compiled with -mavx2 and called only when the processor has AVX2; it includes nothing
// but plain declarations. The AVX-512 kernel's steps, four rows at a time.
#include <immintrin.h>

#include "models/fast/FastWideKernel.h"

namespace {

// D > 0: exactly D columns, known to the compiler; 0: a.realColumns.
template <int D>
void wideKernel(PairKernelArgs& a)
{
    const int d = D > 0 ? D : a.realColumns;
    const __m256d absMask = _mm256_castsi256_pd(_mm256_set1_epi64x(0x7fffffffffffffffLL));
    const __m256d c0 = _mm256_set1_pd(a.c0);
    const __m256d invStep = _mm256_set1_pd(a.invStep);
    const __m256d one = _mm256_set1_pd(1.0);
    const __m256d low = _mm256_set1_pd(-0.5);
    const __m256d high = _mm256_set1_pd(a.points - 0.5);
    const __m256d tolerance = _mm256_set1_pd(kActivationTolerance);
    const __m256d twice = _mm256_set1_pd(2.0 * kActivationTolerance);
    const __m256d never = _mm256_set1_pd(a.points);
    std::uint32_t* const counts = a.counts;
    __m256d ps[kWideColumnsMax];
    __m256d e[kWideColumnsMax + 1];
    alignas(32) double coefficients[kWideColumnsMax][4];
    alignas(16) int firsts[4];

    for (int p = a.from; p < a.to; p += 4) {
        __m256d ratio = _mm256_setzero_pd();
#pragma GCC unroll 32
        for (int j = 0; j < d; ++j) {
            const __m256d x = _mm256_loadu_pd(a.xc + static_cast<long>(j) * a.stride + p);
            ps[j] = _mm256_mul_pd(_mm256_sub_pd(_mm256_set1_pd(a.xi[j]), x), _mm256_set1_pd(a.invSigma[j]));
            ratio = _mm256_max_pd(ratio, _mm256_and_pd(ps[j], absMask));
        }
        // Clamped grid steps, floor + 1, closeness after a shift: as the 4-column kernels.
        const __m256d f = _mm256_min_pd(_mm256_max_pd(_mm256_mul_pd(_mm256_sub_pd(ratio, c0), invStep), low), high);
        const __m256d shifted = _mm256_add_pd(f, tolerance);
        const __m256d below = _mm256_floor_pd(shifted);
        const int close = _mm256_movemask_pd(_mm256_cmp_pd(_mm256_sub_pd(shifted, below), twice, _CMP_LT_OQ));
        __m256d first = _mm256_add_pd(below, one);
        if (close) {
            first = _mm256_setzero_pd();
            for (int j = 0; j < d; ++j) {
                const __m256d fj = _mm256_min_pd(
                    _mm256_max_pd(_mm256_mul_pd(_mm256_sub_pd(_mm256_and_pd(ps[j], absMask), c0), invStep), low), high);
                const __m256d sj = _mm256_add_pd(fj, tolerance);
                const __m256d kj = _mm256_floor_pd(sj);
                const __m256d nearJ = _mm256_cmp_pd(_mm256_sub_pd(sj, kj), twice, _CMP_LT_OQ);
                __m256d aj = _mm256_add_pd(kj, one);
                if (_mm256_movemask_pd(nearJ)) {
                    const __m256d x = _mm256_loadu_pd(a.xc + static_cast<long>(j) * a.stride + p);
                    const __m256d diff = _mm256_and_pd(_mm256_sub_pd(_mm256_set1_pd(a.xi[j]), x), absMask);
                    const __m256d b = _mm256_mask_i32gather_pd(_mm256_setzero_pd(), a.bound + static_cast<long>(j) * a.points,
                                                               _mm256_cvttpd_epi32(kj), nearJ, 8);
                    const __m256d inside = _mm256_and_pd(nearJ, _mm256_cmp_pd(diff, b, _CMP_LE_OQ));
                    aj = _mm256_blendv_pd(aj, kj, inside);
                }
                first = _mm256_max_pd(first, aj);
            }
        }
        const __m128i firstInt = _mm256_cvttpd_epi32(first);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(a.activation + p), _mm_packus_epi32(firstInt, firstInt));
        const int active = _mm256_movemask_pd(_mm256_cmp_pd(first, never, _CMP_LT_OQ));
        if (!active)
            continue;
        _mm_store_si128(reinterpret_cast<__m128i*>(firsts), firstInt);

        // e_m over the columns in order, e_0 = 1: the recurrence of the scalar loop.
        e[0] = one;
#pragma GCC unroll 32
        for (int m = 1; m <= d; ++m)
            e[m] = _mm256_setzero_pd();
#pragma GCC unroll 32
        for (int j = 0; j < d; ++j) {
            const __m256d aj = _mm256_mul_pd(ps[j], ps[j]);
#pragma GCC unroll 32
            for (int m = j + 1; m >= 1; --m)
                e[m] = _mm256_add_pd(e[m], _mm256_mul_pd(aj, e[m - 1]));
        }
        for (int m = 0; m < d; ++m)
            _mm256_store_pd(coefficients[m], e[m + 1]);
        for (unsigned bits = static_cast<unsigned>(active); bits; bits &= bits - 1) {
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

void widePairKernelAvx2(PairKernelArgs& a)
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
