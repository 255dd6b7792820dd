// Reached through kernelsFor only, when the processor has AVX2. The file is compiled
// for any x86-64: only the code between the target pragmas may use AVX2, so the standard
// library's inline code it instantiates (emitted in copies the linker may keep for the
// whole program) stays plain. Every standard header comes before the pragmas.
#include <immintrin.h>

#include <cstdint>
#include <utility>

#include "models/fast/FastPairKernel.h"
#include "models/fast/FastWideKernel.h"
#include "models/fast/Verdict.h"

#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2")
#endif

#include "models/fast/PairKernelTemplate.h"

namespace {

struct Avx2Lanes {
    using Vec = __m256d;
    using Mask = __m256d;
    using Ints = __m128i;
    static constexpr int kLanes = 4;
    static constexpr bool kSinglePointSums = false;

    static Vec set1(double v) { return _mm256_set1_pd(v); }
    static Vec zero() { return _mm256_setzero_pd(); }
    static Vec load(const double* p) { return _mm256_loadu_pd(p); }
    static void store(double* p, Vec v) { _mm256_store_pd(p, v); }
    static Vec add(Vec x, Vec y) { return _mm256_add_pd(x, y); }
    static Vec sub(Vec x, Vec y) { return _mm256_sub_pd(x, y); }
    static Vec mul(Vec x, Vec y) { return _mm256_mul_pd(x, y); }
    static Vec min(Vec x, Vec y) { return _mm256_min_pd(x, y); }
    static Vec max(Vec x, Vec y) { return _mm256_max_pd(x, y); }
    static Vec abs(Vec x) { return _mm256_and_pd(x, _mm256_castsi256_pd(_mm256_set1_epi64x(0x7fffffffffffffffLL))); }
    static Vec floor(Vec x) { return _mm256_floor_pd(x); }
    static Mask less(Vec x, Vec y) { return _mm256_cmp_pd(x, y, _CMP_LT_OQ); }
    static bool any(Mask m) { return _mm256_movemask_pd(m) != 0; }
    static unsigned bits(Mask m) { return static_cast<unsigned>(_mm256_movemask_pd(m)); }
    static Vec takeInside(Vec aj, Vec kj, Mask nearJ, Vec diff, const double* bound)
    {
        const Vec b = _mm256_mask_i32gather_pd(_mm256_setzero_pd(), bound, _mm256_cvttpd_epi32(kj), nearJ, 8);
        const Vec inside = _mm256_and_pd(nearJ, _mm256_cmp_pd(diff, b, _CMP_LE_OQ));
        return _mm256_blendv_pd(aj, kj, inside);
    }
    static Ints truncate(Vec x) { return _mm256_cvttpd_epi32(x); }
    static void storeActivation(std::uint16_t* out, Ints v)
    {
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out), _mm_packus_epi32(v, v));
    }
    static void storeInts(int* out, Ints v) { _mm_store_si128(reinterpret_cast<__m128i*>(out), v); }

    class Scatter {
    public:
        explicit Scatter(const PairKernelArgs& a)
            : bytes_(reinterpret_cast<char*>(a.sums)), counts_(a.counts), base_(_mm_set1_epi32(a.cellBase))
        {
        }

        // Cell offsets staged in slot k (0..2) ahead of the add, as in the AVX-512 kernel.
        void stage(int k, Ints firstInt)
        {
            _mm_store_si128(reinterpret_cast<__m128i*>(offsets_[k]), _mm_slli_epi32(_mm_add_epi32(base_, firstInt), 5));
        }

        void moveSlot(int to, int from)
        {
            for (int l = 0; l < 4; ++l)
                offsets_[to][l] = offsets_[from][l];
        }

        void add(int k, Vec e1, Vec e2, Vec e3, Vec e4) const
        {
            const __m256d t0 = _mm256_unpacklo_pd(e1, e2);
            const __m256d t1 = _mm256_unpackhi_pd(e1, e2);
            const __m256d t2 = _mm256_unpacklo_pd(e3, e4);
            const __m256d t3 = _mm256_unpackhi_pd(e3, e4);
            const __m256d v0 = _mm256_permute2f128_pd(t0, t2, 0x20);
            const __m256d v1 = _mm256_permute2f128_pd(t1, t3, 0x20);
            const __m256d v2 = _mm256_permute2f128_pd(t0, t2, 0x31);
            const __m256d v3 = _mm256_permute2f128_pd(t1, t3, 0x31);
            const int k0 = offsets_[k][0];
            const int k1 = offsets_[k][1];
            const int k2 = offsets_[k][2];
            const int k3 = offsets_[k][3];
            double* const c0p = reinterpret_cast<double*>(bytes_ + k0);
            double* const c1p = reinterpret_cast<double*>(bytes_ + k1);
            double* const c2p = reinterpret_cast<double*>(bytes_ + k2);
            double* const c3p = reinterpret_cast<double*>(bytes_ + k3);
            _mm256_store_pd(c0p, _mm256_add_pd(_mm256_load_pd(c0p), v0));
            _mm256_store_pd(c1p, _mm256_add_pd(_mm256_load_pd(c1p), v1));
            _mm256_store_pd(c2p, _mm256_add_pd(_mm256_load_pd(c2p), v2));
            _mm256_store_pd(c3p, _mm256_add_pd(_mm256_load_pd(c3p), v3));
            ++counts_[k0 >> 5];
            ++counts_[k1 >> 5];
            ++counts_[k2 >> 5];
            ++counts_[k3 >> 5];
        }

    private:
        char* bytes_;
        std::uint32_t* counts_;
        __m128i base_;
        alignas(16) int offsets_[3][4];
    };
};

}  // namespace

void pairKernelAvx2(PairKernelArgs& a)
{
    fastkernel::pairKernel<Avx2Lanes>(a);
}

void widePairKernelAvx2(PairKernelArgs& a)
{
    fastkernel::wideKernelFor<Avx2Lanes>(a);
}

namespace {

// The evaluation's three passes, always inlined into evaluateAvx2: no copy of them can be
// emitted as a function of its own, which would be AVX2 code outside the kernels' names.

// The running sums of every class's cells over the grid, and their row counts.
[[gnu::always_inline]] inline void runningSums(EvalArgs& a)
{
    const int points = a.points;
    const int stride = a.paddedPoints;
    for (int q = 0; q < a.classes; ++q) {
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
}

// The density bounds of every class at every grid point from the cheap error bound.
[[gnu::always_inline]] inline void densityBounds(EvalArgs& a)
{
    const int stride = a.paddedPoints;
    const int classes = a.classes;

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

}

// The row's outcome at every grid point from the bounds.
[[gnu::always_inline]] inline void outcomes(EvalArgs& a)
{
    const int points = a.points;
    const int stride = a.paddedPoints;
    const int classes = a.classes;
    const __m256d zero = _mm256_setzero_pd();
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
            // Verdict::duel on four grid points; the compare wants its predicate as an
            // immediate, so Verdict::beats is spelled out in its two forms.
            const bool keeps = Verdict::keepsTies(own, q);
            const __m256d beats = keeps ? _mm256_cmp_pd(loY, hiQ, _CMP_GE_OQ) : _mm256_cmp_pd(loY, hiQ, _CMP_GT_OQ);
            const __m256d beaten = keeps ? _mm256_cmp_pd(loQ, hiY, _CMP_GT_OQ) : _mm256_cmp_pd(loQ, hiY, _CMP_GE_OQ);
            wrong = _mm256_or_pd(wrong, _mm256_and_pd(nz, beaten));
            right = _mm256_and_pd(right, _mm256_or_pd(_mm256_andnot_pd(nz, right), beats));
        }
        const int anyBits = _mm256_movemask_pd(any);
        const int ownBits = _mm256_movemask_pd(nzY);
        const int wrongBits = _mm256_movemask_pd(wrong);
        const int rightBits = _mm256_movemask_pd(right);
        for (int l = 0; l < 4 && g + l < points; ++l) {
            const int bit = 1 << l;
            a.status[g + l] = Verdict::combine(anyBits & bit, ownBits & bit, wrongBits & bit, rightBits & bit);
        }
    }
}

}  // namespace

void evaluateAvx2(EvalArgs& a)
{
    runningSums(a);
    densityBounds(a);
    outcomes(a);
}

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif
