// Compiled with -mavx512f -mavx512vl and called only when the processor has both; like
// the AVX2 kernels it includes nothing but plain declarations and the kernel templates.
#include <immintrin.h>

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
            : bytes_(reinterpret_cast<char*>(a.sums)), counts_(a.counts), base_(_mm256_set1_epi32(a.cellBase))
        {
        }

        void add(Ints firstInt, Vec e1, Vec e2, Vec e3, Vec e4) const
        {
            // The cell offsets stay in registers: lanes read back from a vector store
            // would wait for it to be forwarded.
            const __m256i cellVec = _mm256_slli_epi32(_mm256_add_epi32(base_, firstInt), 5);
            const __m128i cellLo = _mm256_castsi256_si128(cellVec);
            const __m128i cellHi = _mm256_extracti128_si256(cellVec, 1);
            const std::uint64_t pairs[4] = {static_cast<std::uint64_t>(_mm_cvtsi128_si64(cellLo)),
                                            static_cast<std::uint64_t>(_mm_extract_epi64(cellLo, 1)),
                                            static_cast<std::uint64_t>(_mm_cvtsi128_si64(cellHi)),
                                            static_cast<std::uint64_t>(_mm_extract_epi64(cellHi, 1))};
            // Rows (lanes) to one 4-coefficient vector per row: pair k and k+2 share a
            // vector. The picks of two unpacked vectors (e1 e2 and e3 e4 of rows 0 2 4 6,
            // or 1 3 5 7) make two rows' 4 coefficients in one step.
            const __m512i firstPair = _mm512_setr_epi64(0, 1, 8, 9, 2, 3, 10, 11);
            const __m512i secondPair = _mm512_setr_epi64(4, 5, 12, 13, 6, 7, 14, 15);
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
                double* const cell = reinterpret_cast<double*>(bytes_ + offset);
                _mm256_store_pd(cell, _mm256_add_pd(_mm256_load_pd(cell), v[l]));
                ++counts_[offset >> 5];
            }
        }

    private:
        char* bytes_;
        std::uint32_t* counts_;
        __m256i base_;
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
