// Compiled with -mavx2 and called only when the processor has AVX2; it includes nothing
// but plain declarations so that no shared inline code is emitted with AVX2 instructions.
#include <immintrin.h>

#include "models/FastPairKernel.h"

void pairKernelAvx2(PairKernelArgs& a)
{
    const __m256d absMask = _mm256_castsi256_pd(_mm256_set1_epi64x(0x7fffffffffffffffLL));
    const __m256d xi0 = _mm256_set1_pd(a.xi[0]);
    const __m256d xi1 = _mm256_set1_pd(a.xi[1]);
    const __m256d xi2 = _mm256_set1_pd(a.xi[2]);
    const __m256d xi3 = _mm256_set1_pd(a.xi[3]);
    const __m256d is0 = _mm256_set1_pd(a.invSigma[0]);
    const __m256d is1 = _mm256_set1_pd(a.invSigma[1]);
    const __m256d is2 = _mm256_set1_pd(a.invSigma[2]);
    const __m256d is3 = _mm256_set1_pd(a.invSigma[3]);
    const __m256d c0 = _mm256_set1_pd(a.c0);
    const __m256d invStep = _mm256_set1_pd(a.invStep);
    const __m256d one = _mm256_set1_pd(1.0);
    const __m256d zero = _mm256_setzero_pd();
    const __m256d never = _mm256_set1_pd(a.points);
    const __m256d last = _mm256_set1_pd(a.points - 1);
    const __m256d tolerance = _mm256_set1_pd(kActivationTolerance);
    const double* x0 = a.xc;
    const double* x1 = a.xc + a.stride;
    const double* x2 = a.xc + 2 * static_cast<long>(a.stride);
    const double* x3 = a.xc + 3 * static_cast<long>(a.stride);
    double* const sums = a.sums;
    std::uint32_t* const counts = a.counts;
    int doubtful = 0;

    for (int p = a.from; p < a.to; p += 4) {
        const __m256d p0 = _mm256_mul_pd(_mm256_sub_pd(xi0, _mm256_loadu_pd(x0 + p)), is0);
        const __m256d p1 = _mm256_mul_pd(_mm256_sub_pd(xi1, _mm256_loadu_pd(x1 + p)), is1);
        const __m256d p2 = _mm256_mul_pd(_mm256_sub_pd(xi2, _mm256_loadu_pd(x2 + p)), is2);
        const __m256d p3 = _mm256_mul_pd(_mm256_sub_pd(xi3, _mm256_loadu_pd(x3 + p)), is3);
        const __m256d ratio = _mm256_max_pd(_mm256_max_pd(_mm256_and_pd(p0, absMask), _mm256_and_pd(p1, absMask)),
                                            _mm256_max_pd(_mm256_and_pd(p2, absMask), _mm256_and_pd(p3, absMask)));
        const __m256d f = _mm256_mul_pd(_mm256_sub_pd(ratio, c0), invStep);
        __m256d first = _mm256_min_pd(_mm256_max_pd(_mm256_add_pd(_mm256_floor_pd(f), one), zero), never);
        const __m256d nearest = _mm256_round_pd(f, _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC);
        const __m256d close = _mm256_and_pd(
            _mm256_cmp_pd(_mm256_and_pd(_mm256_sub_pd(f, nearest), absMask), tolerance, _CMP_LT_OQ),
            _mm256_and_pd(_mm256_cmp_pd(nearest, zero, _CMP_GE_OQ), _mm256_cmp_pd(nearest, last, _CMP_LE_OQ)));
        const int closeMask = _mm256_movemask_pd(close);
        if (closeMask) {
            // Parked in the never-read cell; the caller places these rows exactly.
            first = _mm256_blendv_pd(first, never, close);
            for (int l = 0; l < 4; ++l) {
                if (closeMask & (1 << l))
                    a.doubtful[doubtful++] = p + l;
            }
        }
        const __m128i firstInt = _mm256_cvttpd_epi32(first);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(a.activation + p), _mm_packus_epi32(firstInt, firstInt));
        const __m128i cell = _mm_add_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(a.cellBase + p)), firstInt);

        const __m256d a0 = _mm256_mul_pd(p0, p0);
        const __m256d a1 = _mm256_mul_pd(p1, p1);
        const __m256d a2 = _mm256_mul_pd(p2, p2);
        const __m256d a3 = _mm256_mul_pd(p3, p3);
        __m256d e1 = a0;
        __m256d e2 = _mm256_mul_pd(a1, e1);
        e1 = _mm256_add_pd(e1, a1);
        __m256d e3 = _mm256_mul_pd(a2, e2);
        e2 = _mm256_add_pd(e2, _mm256_mul_pd(a2, e1));
        e1 = _mm256_add_pd(e1, a2);
        const __m256d e4 = _mm256_mul_pd(a3, e3);
        e3 = _mm256_add_pd(e3, _mm256_mul_pd(a3, e2));
        e2 = _mm256_add_pd(e2, _mm256_mul_pd(a3, e1));
        e1 = _mm256_add_pd(e1, a3);

        const __m256d t0 = _mm256_unpacklo_pd(e1, e2);
        const __m256d t1 = _mm256_unpackhi_pd(e1, e2);
        const __m256d t2 = _mm256_unpacklo_pd(e3, e4);
        const __m256d t3 = _mm256_unpackhi_pd(e3, e4);
        const __m256d v0 = _mm256_permute2f128_pd(t0, t2, 0x20);
        const __m256d v1 = _mm256_permute2f128_pd(t1, t3, 0x20);
        const __m256d v2 = _mm256_permute2f128_pd(t0, t2, 0x31);
        const __m256d v3 = _mm256_permute2f128_pd(t1, t3, 0x31);

        const int k0 = _mm_cvtsi128_si32(cell);
        const int k1 = _mm_extract_epi32(cell, 1);
        const int k2 = _mm_extract_epi32(cell, 2);
        const int k3 = _mm_extract_epi32(cell, 3);
        _mm256_store_pd(sums + 4 * k0, _mm256_add_pd(_mm256_load_pd(sums + 4 * k0), v0));
        ++counts[k0];
        _mm256_store_pd(sums + 4 * k1, _mm256_add_pd(_mm256_load_pd(sums + 4 * k1), v1));
        ++counts[k1];
        _mm256_store_pd(sums + 4 * k2, _mm256_add_pd(_mm256_load_pd(sums + 4 * k2), v2));
        ++counts[k2];
        _mm256_store_pd(sums + 4 * k3, _mm256_add_pd(_mm256_load_pd(sums + 4 * k3), v3));
        ++counts[k3];
    }
    a.doubtfulCount = doubtful;
}
