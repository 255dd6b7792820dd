// Compiled with -mavx2 and called only when the processor has AVX2; it includes nothing
// but plain declarations so that no shared inline code is emitted with AVX2 instructions.
#include <immintrin.h>

#include "models/fast/FastPairKernel.h"

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
    const __m256d low = _mm256_set1_pd(-0.5);
    const __m256d high = _mm256_set1_pd(a.points - 0.5);
    const __m256d tolerance = _mm256_set1_pd(kActivationTolerance);
    const __m256d twice = _mm256_set1_pd(2.0 * kActivationTolerance);
    const __m128i base = _mm_set1_epi32(a.cellBase);
    const double* x0 = a.xc;
    const double* x1 = a.xc + a.stride;
    const double* x2 = a.xc + 2 * static_cast<long>(a.stride);
    const double* x3 = a.xc + 3 * static_cast<long>(a.stride);
    double* const sums = a.sums;
    std::uint32_t* const counts = a.counts;

    for (int p = a.from; p < a.to; p += 4) {
        const __m256d p0 = _mm256_mul_pd(_mm256_sub_pd(xi0, _mm256_loadu_pd(x0 + p)), is0);
        const __m256d p1 = _mm256_mul_pd(_mm256_sub_pd(xi1, _mm256_loadu_pd(x1 + p)), is1);
        const __m256d p2 = _mm256_mul_pd(_mm256_sub_pd(xi2, _mm256_loadu_pd(x2 + p)), is2);
        const __m256d p3 = _mm256_mul_pd(_mm256_sub_pd(xi3, _mm256_loadu_pd(x3 + p)), is3);
        const __m256d ratio = _mm256_max_pd(_mm256_max_pd(_mm256_and_pd(p0, absMask), _mm256_and_pd(p1, absMask)),
                                            _mm256_max_pd(_mm256_and_pd(p2, absMask), _mm256_and_pd(p3, absMask)));
        // f in grid steps from the first point; clamped to [-0.5, G - 0.5] the activation
        // is floor(f) + 1 and only points 0..G-1 can be near. Shifted by the tolerance, a
        // fraction below twice the tolerance marks a row too close to a point to trust.
        const __m256d f = _mm256_min_pd(_mm256_max_pd(_mm256_mul_pd(_mm256_sub_pd(ratio, c0), invStep), low), high);
        const __m256d shifted = _mm256_add_pd(f, tolerance);
        const __m256d below = _mm256_floor_pd(shifted);
        const __m256d close = _mm256_cmp_pd(_mm256_sub_pd(shifted, below), twice, _CMP_LT_OQ);
        __m256d first = _mm256_add_pd(below, one);
        const int closeMask = _mm256_movemask_pd(close);
        if (closeMask) {
            // Exact placement, column by column: a column whose ratio is near grid point k
            // is active from k on when its |difference| is within the bound at k, else
            // from k + 1; any other column from floor + 1 as above.
            const __m256d ps[4] = {p0, p1, p2, p3};
            const double* xs[4] = {x0, x1, x2, x3};
            const __m256d xis[4] = {xi0, xi1, xi2, xi3};
            first = _mm256_setzero_pd();
            for (int j = 0; j < a.realColumns; ++j) {
                const __m256d fj = _mm256_min_pd(
                    _mm256_max_pd(_mm256_mul_pd(_mm256_sub_pd(_mm256_and_pd(ps[j], absMask), c0), invStep), low), high);
                const __m256d sj = _mm256_add_pd(fj, tolerance);
                const __m256d kj = _mm256_floor_pd(sj);
                const __m256d nearJ = _mm256_cmp_pd(_mm256_sub_pd(sj, kj), twice, _CMP_LT_OQ);
                __m256d aj = _mm256_add_pd(kj, one);
                if (_mm256_movemask_pd(nearJ)) {
                    const __m256d diff = _mm256_and_pd(_mm256_sub_pd(xis[j], _mm256_loadu_pd(xs[j] + p)), absMask);
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
        const __m128i cell = _mm_slli_epi32(_mm_add_epi32(base, firstInt), 5);

        const __m256d a0 = _mm256_mul_pd(p0, p0);
        const __m256d a1 = _mm256_mul_pd(p1, p1);
        const __m256d a2 = _mm256_mul_pd(p2, p2);
        const __m256d a3 = _mm256_mul_pd(p3, p3);
        const __m256d s01 = _mm256_add_pd(a0, a1);
        const __m256d p01 = _mm256_mul_pd(a0, a1);
        const __m256d s23 = _mm256_add_pd(a2, a3);
        const __m256d p23 = _mm256_mul_pd(a2, a3);
        const __m256d e1 = _mm256_add_pd(s01, s23);
        const __m256d e2 = _mm256_add_pd(_mm256_add_pd(p01, p23), _mm256_mul_pd(s01, s23));
        const __m256d e3 = _mm256_add_pd(_mm256_mul_pd(p01, s23), _mm256_mul_pd(p23, s01));
        const __m256d e4 = _mm256_mul_pd(p01, p23);

        const __m256d t0 = _mm256_unpacklo_pd(e1, e2);
        const __m256d t1 = _mm256_unpackhi_pd(e1, e2);
        const __m256d t2 = _mm256_unpacklo_pd(e3, e4);
        const __m256d t3 = _mm256_unpackhi_pd(e3, e4);
        const __m256d v0 = _mm256_permute2f128_pd(t0, t2, 0x20);
        const __m256d v1 = _mm256_permute2f128_pd(t1, t3, 0x20);
        const __m256d v2 = _mm256_permute2f128_pd(t0, t2, 0x31);
        const __m256d v3 = _mm256_permute2f128_pd(t1, t3, 0x31);

        char* const bytes = reinterpret_cast<char*>(sums);
        const int k0 = _mm_cvtsi128_si32(cell);
        const int k1 = _mm_extract_epi32(cell, 1);
        const int k2 = _mm_extract_epi32(cell, 2);
        const int k3 = _mm_extract_epi32(cell, 3);
        double* const c0p = reinterpret_cast<double*>(bytes + k0);
        double* const c1p = reinterpret_cast<double*>(bytes + k1);
        double* const c2p = reinterpret_cast<double*>(bytes + k2);
        double* const c3p = reinterpret_cast<double*>(bytes + k3);
        _mm256_store_pd(c0p, _mm256_add_pd(_mm256_load_pd(c0p), v0));
        _mm256_store_pd(c1p, _mm256_add_pd(_mm256_load_pd(c1p), v1));
        _mm256_store_pd(c2p, _mm256_add_pd(_mm256_load_pd(c2p), v2));
        _mm256_store_pd(c3p, _mm256_add_pd(_mm256_load_pd(c3p), v3));
        ++counts[k0 >> 5];
        ++counts[k1 >> 5];
        ++counts[k2 >> 5];
        ++counts[k3 >> 5];
    }
}

void evaluateAvx2(EvalArgs& a)
{
    const int points = a.points;
    const int stride = a.paddedPoints;
    const int classes = a.classes;

    for (int q = 0; q < classes; ++q) {
        const double* cell = a.sums + static_cast<long>(q) * (points + 1) * 4;
        const std::uint32_t* count = a.counts + static_cast<long>(q) * (points + 1);
        double* out = a.prefix + static_cast<long>(q) * stride * 4;
        double* outCount = a.prefixCount + static_cast<long>(q) * stride;
        __m256d run = _mm256_setzero_pd();
        std::uint32_t n = 0;
        for (int g = 0; g < stride; ++g) {
            if (g < points) {
                run = _mm256_add_pd(run, _mm256_load_pd(cell + 4 * g));
                n += count[g];
            }
            _mm256_store_pd(out + 4 * g, run);
            outCount[g] = n;
        }
    }

    const __m256d scale = _mm256_set1_pd(a.dupProduct);
    const __m256d loose = _mm256_set1_pd(a.loosePerRow);
    const __m256d fixed = _mm256_set1_pd(a.fixedTerms);
    const __m256d two = _mm256_set1_pd(2.0);
    const __m256d unit = _mm256_set1_pd(0x1p-52);
    const __m256d down = _mm256_set1_pd(1.0 - 0x1p-49);
    const __m256d up = _mm256_set1_pd(1.0 + 0x1p-49);
    const __m256d tiny = _mm256_set1_pd(0x1p-60);
    const __m256d zero = _mm256_setzero_pd();
    for (int q = 0; q < classes; ++q) {
        const long row = static_cast<long>(q * 2 + (q == a.own ? 1 : 0)) * stride;
        for (int g = 0; g < stride; g += 4) {
            const double* c = a.prefix + (static_cast<long>(q) * stride + g) * 4;
            const __m256d r0 = _mm256_load_pd(c);
            const __m256d r1 = _mm256_load_pd(c + 4);
            const __m256d r2 = _mm256_load_pd(c + 8);
            const __m256d r3 = _mm256_load_pd(c + 12);
            const __m256d t0 = _mm256_unpacklo_pd(r0, r1);
            const __m256d t1 = _mm256_unpackhi_pd(r0, r1);
            const __m256d t2 = _mm256_unpacklo_pd(r2, r3);
            const __m256d t3 = _mm256_unpackhi_pd(r2, r3);
            const __m256d e1 = _mm256_permute2f128_pd(t0, t2, 0x20);
            const __m256d e2 = _mm256_permute2f128_pd(t1, t3, 0x20);
            const __m256d e3 = _mm256_permute2f128_pd(t0, t2, 0x31);
            const __m256d e4 = _mm256_permute2f128_pd(t1, t3, 0x31);
            const __m256d n = _mm256_loadu_pd(a.prefixCount + static_cast<long>(q) * stride + g);
            const __m256d sum = _mm256_add_pd(
                _mm256_add_pd(_mm256_add_pd(_mm256_mul_pd(e1, _mm256_loadu_pd(a.powSigned + g)),
                                            _mm256_mul_pd(e2, _mm256_loadu_pd(a.powSigned + stride + g))),
                              _mm256_add_pd(_mm256_mul_pd(e3, _mm256_loadu_pd(a.powSigned + 2 * stride + g)),
                                            _mm256_mul_pd(e4, _mm256_loadu_pd(a.powSigned + 3 * stride + g)))),
                n);
            const __m256d estimate = _mm256_mul_pd(sum, scale);
            const __m256d err = _mm256_mul_pd(_mm256_mul_pd(_mm256_add_pd(_mm256_mul_pd(two, n), fixed), unit),
                                              _mm256_mul_pd(n, loose));
            const __m256d inv = _mm256_loadu_pd(a.invDenominator + row + g);
            __m256d lo = _mm256_mul_pd(_mm256_mul_pd(_mm256_sub_pd(estimate, err), inv), down);
            __m256d hi = _mm256_mul_pd(_mm256_mul_pd(_mm256_add_pd(estimate, err), inv), up);
            // Rows so close that every plain product is exactly 0.75^d: the density is exact.
            const __m256d exact = _mm256_and_pd(_mm256_cmp_pd(_mm256_mul_pd(e1, _mm256_loadu_pd(a.t + g)), tiny, _CMP_LE_OQ),
                                                _mm256_cmp_pd(n, zero, _CMP_GT_OQ));
            if (_mm256_movemask_pd(exact)) {
                const __m256d f = _mm256_div_pd(_mm256_mul_pd(n, scale), _mm256_loadu_pd(a.denominator + row + g));
                lo = _mm256_blendv_pd(lo, f, exact);
                hi = _mm256_blendv_pd(hi, f, exact);
            }
            _mm256_storeu_pd(a.lo + static_cast<long>(q) * stride + g, lo);
            _mm256_storeu_pd(a.hi + static_cast<long>(q) * stride + g, hi);
        }
    }

    const int own = a.own;
    for (int g = 0; g < points; g += 4) {
        const __m256d loY = _mm256_loadu_pd(a.lo + static_cast<long>(own) * stride + g);
        const __m256d hiY = _mm256_loadu_pd(a.hi + static_cast<long>(own) * stride + g);
        const __m256d nzY = _mm256_cmp_pd(_mm256_loadu_pd(a.prefixCount + static_cast<long>(own) * stride + g), zero, _CMP_GT_OQ);
        __m256d any = nzY;
        __m256d wrong = _mm256_setzero_pd();
        __m256d right = _mm256_castsi256_pd(_mm256_set1_epi64x(-1));
        for (int q = 0; q < classes; ++q) {
            if (q == own)
                continue;
            const __m256d nz = _mm256_cmp_pd(_mm256_loadu_pd(a.prefixCount + static_cast<long>(q) * stride + g), zero, _CMP_GT_OQ);
            const __m256d loQ = _mm256_loadu_pd(a.lo + static_cast<long>(q) * stride + g);
            const __m256d hiQ = _mm256_loadu_pd(a.hi + static_cast<long>(q) * stride + g);
            any = _mm256_or_pd(any, nz);
            // An earlier class wins ties, so the row's class must beat it strictly.
            const __m256d beaten = q < own ? _mm256_cmp_pd(loQ, hiY, _CMP_GE_OQ) : _mm256_cmp_pd(loQ, hiY, _CMP_GT_OQ);
            const __m256d beats = q < own ? _mm256_cmp_pd(loY, hiQ, _CMP_GT_OQ) : _mm256_cmp_pd(loY, hiQ, _CMP_GE_OQ);
            wrong = _mm256_or_pd(wrong, _mm256_and_pd(nz, beaten));
            right = _mm256_and_pd(right, _mm256_or_pd(_mm256_andnot_pd(nz, right), beats));
        }
        const int anyBits = _mm256_movemask_pd(any);
        const int ownBits = _mm256_movemask_pd(nzY);
        const int wrongBits = _mm256_movemask_pd(wrong);
        const int rightBits = _mm256_movemask_pd(right);
        for (int l = 0; l < 4 && g + l < points; ++l) {
            const int bit = 1 << l;
            a.status[g + l] = !(anyBits & bit)                          ? kUndecided
                              : !(ownBits & bit) || (wrongBits & bit) ? kWrong
                              : (rightBits & bit)                     ? kRight
                                                                      : kOpen;
        }
    }
}
