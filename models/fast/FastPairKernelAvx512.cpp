// Compiled with -mavx512f -mavx512vl and called only when the processor has both; like
// the AVX2 kernel it includes nothing but plain declarations.
#include <immintrin.h>

#include "models/fast/FastPairKernel.h"

void pairKernelAvx512(PairKernelArgs& a)
{
    const __m512d xi0 = _mm512_set1_pd(a.xi[0]);
    const __m512d xi1 = _mm512_set1_pd(a.xi[1]);
    const __m512d xi2 = _mm512_set1_pd(a.xi[2]);
    const __m512d xi3 = _mm512_set1_pd(a.xi[3]);
    const __m512d is0 = _mm512_set1_pd(a.invSigma[0]);
    const __m512d is1 = _mm512_set1_pd(a.invSigma[1]);
    const __m512d is2 = _mm512_set1_pd(a.invSigma[2]);
    const __m512d is3 = _mm512_set1_pd(a.invSigma[3]);
    const __m512d c0 = _mm512_set1_pd(a.c0);
    const __m512d invStep = _mm512_set1_pd(a.invStep);
    const __m512d one = _mm512_set1_pd(1.0);
    const __m512d low = _mm512_set1_pd(-0.5);
    const __m512d high = _mm512_set1_pd(a.points - 0.5);
    const __m512d tolerance = _mm512_set1_pd(kActivationTolerance);
    const __m512d twice = _mm512_set1_pd(2.0 * kActivationTolerance);
    const __m256i base = _mm256_set1_epi32(a.cellBase);
    // Picks of two unpacked vectors (e1 e2 and e3 e4 of rows 0 2 4 6, or 1 3 5 7) that
    // make two rows' 4 coefficients in one step.
    const __m512i firstPair = _mm512_setr_epi64(0, 1, 8, 9, 2, 3, 10, 11);
    const __m512i secondPair = _mm512_setr_epi64(4, 5, 12, 13, 6, 7, 14, 15);
    const double* x0 = a.xc;
    const double* x1 = a.xc + a.stride;
    const double* x2 = a.xc + 2 * static_cast<long>(a.stride);
    const double* x3 = a.xc + 3 * static_cast<long>(a.stride);
    char* const bytes = reinterpret_cast<char*>(a.sums);
    std::uint32_t* const counts = a.counts;
    const bool single = a.points == 1;
    auto active = [&](__m512d first) { return _mm512_cmp_pd_mask(first, one, _CMP_LT_OQ); };
    __m512d sum1 = _mm512_setzero_pd();
    __m512d sum2 = _mm512_setzero_pd();
    __m512d sum3 = _mm512_setzero_pd();
    __m512d sum4 = _mm512_setzero_pd();
    std::uint32_t inside = 0;

    for (int p = a.from; p < a.to; p += 8) {
        const __m512d p0 = _mm512_mul_pd(_mm512_sub_pd(xi0, _mm512_loadu_pd(x0 + p)), is0);
        const __m512d p1 = _mm512_mul_pd(_mm512_sub_pd(xi1, _mm512_loadu_pd(x1 + p)), is1);
        const __m512d p2 = _mm512_mul_pd(_mm512_sub_pd(xi2, _mm512_loadu_pd(x2 + p)), is2);
        const __m512d p3 = _mm512_mul_pd(_mm512_sub_pd(xi3, _mm512_loadu_pd(x3 + p)), is3);
        const __m512d ratio = _mm512_max_pd(_mm512_max_pd(_mm512_abs_pd(p0), _mm512_abs_pd(p1)),
                                            _mm512_max_pd(_mm512_abs_pd(p2), _mm512_abs_pd(p3)));
        // As in the AVX2 kernel: clamped grid steps, floor + 1, closeness after a shift.
        const __m512d f = _mm512_min_pd(_mm512_max_pd(_mm512_mul_pd(_mm512_sub_pd(ratio, c0), invStep), low), high);
        const __m512d shifted = _mm512_add_pd(f, tolerance);
        const __m512d below = _mm512_roundscale_pd(shifted, _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC);
        const __mmask8 close = _mm512_cmp_pd_mask(_mm512_sub_pd(shifted, below), twice, _CMP_LT_OQ);
        __m512d first = _mm512_add_pd(below, one);
        if (close) {
            // Exact placement, column by column, as in the AVX2 kernel.
            const __m512d ps[4] = {p0, p1, p2, p3};
            const double* xs[4] = {x0, x1, x2, x3};
            const __m512d xis[4] = {xi0, xi1, xi2, xi3};
            first = _mm512_setzero_pd();
            for (int j = 0; j < a.realColumns; ++j) {
                const __m512d fj = _mm512_min_pd(
                    _mm512_max_pd(_mm512_mul_pd(_mm512_sub_pd(_mm512_abs_pd(ps[j]), c0), invStep), low), high);
                const __m512d sj = _mm512_add_pd(fj, tolerance);
                const __m512d kj = _mm512_roundscale_pd(sj, _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC);
                const __mmask8 nearJ = _mm512_cmp_pd_mask(_mm512_sub_pd(sj, kj), twice, _CMP_LT_OQ);
                __m512d aj = _mm512_add_pd(kj, one);
                if (nearJ) {
                    const __m512d diff = _mm512_abs_pd(_mm512_sub_pd(xis[j], _mm512_loadu_pd(xs[j] + p)));
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
        // The cell offsets stay in registers: lanes read back from a vector store would
        // wait for it to be forwarded.
        const __m256i cellVec = _mm256_slli_epi32(_mm256_add_epi32(base, firstInt), 5);
        const __m128i cellLo = _mm256_castsi256_si128(cellVec);
        const __m128i cellHi = _mm256_extracti128_si256(cellVec, 1);
        const std::uint64_t pairs[4] = {static_cast<std::uint64_t>(_mm_cvtsi128_si64(cellLo)),
                                        static_cast<std::uint64_t>(_mm_extract_epi64(cellLo, 1)),
                                        static_cast<std::uint64_t>(_mm_cvtsi128_si64(cellHi)),
                                        static_cast<std::uint64_t>(_mm_extract_epi64(cellHi, 1))};

        const __m512d a0 = _mm512_mul_pd(p0, p0);
        const __m512d a1 = _mm512_mul_pd(p1, p1);
        const __m512d a2 = _mm512_mul_pd(p2, p2);
        const __m512d a3 = _mm512_mul_pd(p3, p3);
        const __m512d s01 = _mm512_add_pd(a0, a1);
        const __m512d p01 = _mm512_mul_pd(a0, a1);
        const __m512d s23 = _mm512_add_pd(a2, a3);
        const __m512d p23 = _mm512_mul_pd(a2, a3);
        const __m512d e1 = _mm512_add_pd(s01, s23);
        const __m512d e2 = _mm512_add_pd(_mm512_add_pd(p01, p23), _mm512_mul_pd(s01, s23));
        const __m512d e3 = _mm512_add_pd(_mm512_mul_pd(p01, s23), _mm512_mul_pd(p23, s01));
        const __m512d e4 = _mm512_mul_pd(p01, p23);

        if (single) {
            // One grid point: every row in the window goes to the same cell.
            inside += __builtin_popcount(static_cast<unsigned>(active(first)));
            sum1 = _mm512_mask_add_pd(sum1, active(first), sum1, e1);
            sum2 = _mm512_mask_add_pd(sum2, active(first), sum2, e2);
            sum3 = _mm512_mask_add_pd(sum3, active(first), sum3, e3);
            sum4 = _mm512_mask_add_pd(sum4, active(first), sum4, e4);
            continue;
        }

        // Rows (lanes) to one 4-coefficient vector per row: pair k and k+2 share a vector.
        const __m512d t0 = _mm512_unpacklo_pd(e1, e2);  // rows 0 2 4 6: e1 e2
        const __m512d t1 = _mm512_unpackhi_pd(e1, e2);  // rows 1 3 5 7: e1 e2
        const __m512d t2 = _mm512_unpacklo_pd(e3, e4);
        const __m512d t3 = _mm512_unpackhi_pd(e3, e4);
        const __m512d r02 = _mm512_permutex2var_pd(t0, firstPair, t2);  // row 0 | row 2
        const __m512d r13 = _mm512_permutex2var_pd(t1, firstPair, t3);
        const __m512d r46 = _mm512_permutex2var_pd(t0, secondPair, t2);
        const __m512d r57 = _mm512_permutex2var_pd(t1, secondPair, t3);
        const __m256d v[8] = {_mm512_castpd512_pd256(r02), _mm512_castpd512_pd256(r13),
                              _mm512_extractf64x4_pd(r02, 1), _mm512_extractf64x4_pd(r13, 1),
                              _mm512_castpd512_pd256(r46), _mm512_castpd512_pd256(r57),
                              _mm512_extractf64x4_pd(r46, 1), _mm512_extractf64x4_pd(r57, 1)};
#pragma GCC unroll 8
        for (int l = 0; l < 8; ++l) {
            const std::uint32_t offset = static_cast<std::uint32_t>(l % 2 == 0 ? pairs[l / 2] : pairs[l / 2] >> 32);
            double* const cell = reinterpret_cast<double*>(bytes + offset);
            _mm256_store_pd(cell, _mm256_add_pd(_mm256_load_pd(cell), v[l]));
            ++counts[offset >> 5];
        }
    }
    if (single) {
        double* const cell = a.sums + static_cast<long>(a.cellBase) * 4;
        cell[0] = cell[0] + _mm512_reduce_add_pd(sum1);
        cell[1] = cell[1] + _mm512_reduce_add_pd(sum2);
        cell[2] = cell[2] + _mm512_reduce_add_pd(sum3);
        cell[3] = cell[3] + _mm512_reduce_add_pd(sum4);
        counts[a.cellBase] += inside;
    }
}
