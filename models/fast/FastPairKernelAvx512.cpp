// Reached through kernelsFor only, when the processor has AVX-512 F and VL; like the
// AVX2 kernels, compiled for any x86-64 with the set turned on between the target
// pragmas alone, after every standard header.
#include <immintrin.h>

#include <cstdint>
#include <utility>

#include "models/fast/FastPairKernel.h"
#include "models/fast/FastWideKernel.h"

#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx512f,avx512vl"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx512f,avx512vl")
#endif

#include "models/fast/PairKernelTemplate.h"

namespace {

struct Avx512Lanes {
    using Vec = __m512d;
    using Mask = __mmask8;
    using Ints = __m256i;
    static constexpr int kLanes = 8;
    // The 4-column kernel sums the rows of a single grid point in lanes.
    static constexpr bool kSinglePointSums = true;

    static Vec set1(double v) { return _mm512_set1_pd(v); }
    static Vec zero() { return _mm512_setzero_pd(); }
    static Vec load(const double* p) { return _mm512_loadu_pd(p); }
    static void store(double* p, Vec v) { _mm512_store_pd(p, v); }
    static Vec add(Vec x, Vec y) { return _mm512_add_pd(x, y); }
    static Vec sub(Vec x, Vec y) { return _mm512_sub_pd(x, y); }
    static Vec mul(Vec x, Vec y) { return _mm512_mul_pd(x, y); }
    static Vec min(Vec x, Vec y) { return _mm512_min_pd(x, y); }
    static Vec max(Vec x, Vec y) { return _mm512_max_pd(x, y); }
    static Vec abs(Vec x) { return _mm512_abs_pd(x); }
    static Vec floor(Vec x) { return _mm512_roundscale_pd(x, _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC); }
    static Mask less(Vec x, Vec y) { return _mm512_cmp_pd_mask(x, y, _CMP_LT_OQ); }
    static bool any(Mask m) { return m != 0; }
    static unsigned bits(Mask m) { return m; }
    static unsigned popcount(Mask m) { return static_cast<unsigned>(__builtin_popcount(static_cast<unsigned>(m))); }
    static Vec maskAdd(Vec sum, Mask m, Vec x) { return _mm512_mask_add_pd(sum, m, sum, x); }
    static double sum(Vec x) { return _mm512_reduce_add_pd(x); }
    static Vec takeInside(Vec aj, Vec kj, Mask nearJ, Vec diff, const double* bound)
    {
        const Vec b = _mm512_mask_i32gather_pd(_mm512_setzero_pd(), nearJ, _mm512_cvttpd_epi32(kj), bound, 8);
        const Mask inside = _mm512_mask_cmp_pd_mask(nearJ, diff, b, _CMP_LE_OQ);
        return _mm512_mask_mov_pd(aj, inside, kj);
    }
    static Ints truncate(Vec x) { return _mm512_cvttpd_epi32(x); }
    static void storeActivation(std::uint16_t* out, Ints v)
    {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm256_cvtepi32_epi16(v));
    }
    static void storeInts(int* out, Ints v) { _mm256_store_si256(reinterpret_cast<__m256i*>(out), v); }

    class Scatter {
    public:
        explicit Scatter(const PairKernelArgs& a)
            : cells_(reinterpret_cast<char*>(a.countedCells)), base_(_mm256_set1_epi32(a.cellBase)),
              never_(_mm256_set1_epi32(a.points)),
              spare_(_mm256_add_epi32(_mm256_set1_epi32(a.spareCell), _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7)))
        {
            // Row l's cell vector comes from one permute of two unpacked vectors (e1 e2
            // and e3 e4 of the even or the odd rows); the lanes outside the write mask
            // keep the index vector's own bits, which spell 1.0 in lane 4 (the count)
            // and 0.0 above.
            const long long one = 0x3FF0000000000000LL;
            for (int l = 0; l < 8; ++l) {
                const long long k = l / 2;
                pick_[l] = _mm512_setr_epi64(2 * k, 2 * k + 1, 8 + 2 * k, 8 + 2 * k + 1, one, 0, 0, 0);
            }
        }

        // The cell offsets of a step's rows, kept in slot k (0..2) until its add: read back
        // through memory, they take no vector port, and the kernel stages them two steps
        // ahead, so the store has long been done.
        void stage(int k, Ints firstInt)
        {
            const __mmask8 never = _mm256_cmpeq_epi32_mask(firstInt, never_);
            const __m256i cellVec =
                _mm256_slli_epi32(_mm256_mask_blend_epi32(never, _mm256_add_epi32(base_, firstInt), spare_), 6);
            _mm256_store_si256(reinterpret_cast<__m256i*>(offsets_[k]), cellVec);
        }

        void moveSlot(int to, int from)
        {
            for (int l = 0; l < 8; ++l)
                offsets_[to][l] = offsets_[from][l];
        }

        void add(int k, Vec e1, Vec e2, Vec e3, Vec e4) const
        {
            const __m512d t0 = _mm512_unpacklo_pd(e1, e2);  // rows 0 2 4 6: e1 e2
            const __m512d t1 = _mm512_unpackhi_pd(e1, e2);  // rows 1 3 5 7: e1 e2
            const __m512d t2 = _mm512_unpacklo_pd(e3, e4);
            const __m512d t3 = _mm512_unpackhi_pd(e3, e4);
#pragma GCC unroll 8
            for (int l = 0; l < 8; ++l) {
                const __m512d row = l % 2 == 0 ? _mm512_mask2_permutex2var_pd(t0, pick_[l], 0x0F, t2)
                                               : _mm512_mask2_permutex2var_pd(t1, pick_[l], 0x0F, t3);
                double* const cell = reinterpret_cast<double*>(cells_ + offsets_[k][l]);
                _mm512_store_pd(cell, _mm512_add_pd(_mm512_load_pd(cell), row));
            }
        }

    private:
        char* cells_;
        __m256i base_;
        __m256i never_;
        __m256i spare_;
        __m512i pick_[8];
        alignas(32) std::uint32_t offsets_[3][8];
    };
};

}  // namespace

void pairKernelAvx512(PairKernelArgs& a)
{
    fastkernel::pairKernel<Avx512Lanes>(a);
}

void widePairKernelAvx512(PairKernelArgs& a)
{
    fastkernel::wideKernelFor<Avx512Lanes>(a);
}

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif
