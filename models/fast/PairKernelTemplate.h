#pragma once
// The pair kernels written once over the lanes of an instruction set. Included only by
// the kernel files, inside their target pragmas, each instantiating the kernels with lane
// operations of internal linkage, so no code built with one set's instructions can be
// shared with another's. It includes no header with code of its own: a standard template
// first seen inside the pragmas would be compiled for the set, and the linker may keep
// that copy for callers on any processor.
//
// The lane operations T provide:
//   Vec, Mask, Ints, kLanes       vector of doubles, lane mask, truncated lanes, lanes
//   set1 zero load store          unaligned load, aligned store of doubles
//   add sub mul min max abs floor lanewise, as the single instructions
//   less(a, b)                    ordered a < b
//   any(mask) bits(mask)          some lane set; lanes as bits, lane 0 lowest
//   takeInside(aj, kj, nearJ, diff, bound)
//                                 kj where nearJ and diff <= bound[kj], else aj
//   truncate storeActivation storeInts
//   Scatter                       adds each row's 4 coefficients to its cell: stage(k, cells)
//                                 keeps a step's cells in slot k (0..2), add(k, e1..e4) adds
//                                 that step's rows, moveSlot(to, from) copies a slot
//   kSinglePointSums              one grid point summed in lanes (maskAdd, popcount, sum)

#include <cstdint>

#include "models/fast/FastPairKernel.h"
#include "models/fast/FastWideKernel.h"

namespace fastkernel {

template <class T>
struct Window {
    using Vec = typename T::Vec;
    explicit Window(const PairKernelArgs& a)
        : c0(T::set1(a.c0)), invStep(T::set1(a.invStep)), one(T::set1(1.0)), low(T::set1(-0.5)),
          high(T::set1(a.points - 0.5)), tolerance(T::set1(kActivationTolerance)),
          twice(T::set1(2.0 * kActivationTolerance))
    {
    }
    Vec c0, invStep, one, low, high, tolerance, twice;
};

// Exact placement, column by column, for a step with a row too close to a grid point: a
// column whose ratio is near grid point k is active from k on when its |difference| is
// within the bound at k, else from k + 1; any other column from floor + 1. Out of line
// and rare, so the scaled differences are computed again here (the same operations, so
// the same values) rather than kept in memory by the hot loop.
template <class T>
[[gnu::noinline]] typename T::Vec exactActivation(const Window<T>& w, int columns, const PairKernelArgs& a, int p)
{
    using Vec = typename T::Vec;
    using Mask = typename T::Mask;
    Vec first = T::zero();
    for (int j = 0; j < columns; ++j) {
        const Vec x = T::load(a.xc + static_cast<long>(j) * a.stride + p);
        const Vec pj = T::mul(T::sub(T::set1(a.xi[j]), x), T::set1(a.invSigma[j]));
        const Vec fj = T::min(T::max(T::mul(T::sub(T::abs(pj), w.c0), w.invStep), w.low), w.high);
        const Vec sj = T::add(fj, w.tolerance);
        const Vec kj = T::floor(sj);
        const Mask nearJ = T::less(T::sub(sj, kj), w.twice);
        Vec aj = T::add(kj, w.one);
        if (T::any(nearJ)) {
            const Vec diff = T::abs(T::sub(T::set1(a.xi[j]), x));
            aj = T::takeInside(aj, kj, nearJ, diff, a.bound + static_cast<long>(j) * a.points);
        }
        first = T::max(first, aj);
    }
    return first;
}

// The activation of every lane from the largest scaled difference of its row and, for
// rows too close to a grid point, from the columns themselves. Inlined into the kernels:
// as a call it made them keep every scaled difference in memory.
template <class T>
[[gnu::always_inline]] inline typename T::Vec activation(const Window<T>& w, typename T::Vec ratio, int columns,
                                                         const PairKernelArgs& a, int p)
{
    using Vec = typename T::Vec;
    using Mask = typename T::Mask;
    // f in grid steps from the first point; clamped to [-0.5, G - 0.5] the activation
    // is floor(f) + 1 and only points 0..G-1 can be near. Shifted by the tolerance, a
    // fraction below twice the tolerance marks a row too close to a point to trust.
    const Vec f = T::min(T::max(T::mul(T::sub(ratio, w.c0), w.invStep), w.low), w.high);
    const Vec shifted = T::add(f, w.tolerance);
    const Vec below = T::floor(shifted);
    const Mask close = T::less(T::sub(shifted, below), w.twice);
    if (T::any(close)) [[unlikely]]
        return exactActivation<T>(w, columns, a, p);
    return T::add(below, w.one);
}

// Exactly 4 (padded) columns, kLanes rows per step. One long function: the steps in flight
// keep their rows in registers only while they share a frame.
template <class T>
void pairKernel(PairKernelArgs& a)
{
    using Vec = typename T::Vec;
    const Window<T> w(a);
    const Vec xi0 = T::set1(a.xi[0]);
    const Vec xi1 = T::set1(a.xi[1]);
    const Vec xi2 = T::set1(a.xi[2]);
    const Vec xi3 = T::set1(a.xi[3]);
    const Vec is0 = T::set1(a.invSigma[0]);
    const Vec is1 = T::set1(a.invSigma[1]);
    const Vec is2 = T::set1(a.invSigma[2]);
    const Vec is3 = T::set1(a.invSigma[3]);
    const double* x0 = a.xc;
    const double* x1 = a.xc + a.stride;
    const double* x2 = a.xc + 2 * static_cast<long>(a.stride);
    const double* x3 = a.xc + 3 * static_cast<long>(a.stride);
    struct Rows {
        Vec first;
        typename T::Ints firstInt;
        Vec e1, e2, e3, e4;
    };
    auto rows = [&](int p) {
        const Vec ps[4] = {T::mul(T::sub(xi0, T::load(x0 + p)), is0), T::mul(T::sub(xi1, T::load(x1 + p)), is1),
                           T::mul(T::sub(xi2, T::load(x2 + p)), is2), T::mul(T::sub(xi3, T::load(x3 + p)), is3)};
        const Vec ratio = T::max(T::max(T::abs(ps[0]), T::abs(ps[1])), T::max(T::abs(ps[2]), T::abs(ps[3])));
        Rows r;
        r.first = activation(w, ratio, a.realColumns, a, p);
        r.firstInt = T::truncate(r.first);
        T::storeActivation(a.activation + p, r.firstInt);

        const Vec a0 = T::mul(ps[0], ps[0]);
        const Vec a1 = T::mul(ps[1], ps[1]);
        const Vec a2 = T::mul(ps[2], ps[2]);
        const Vec a3 = T::mul(ps[3], ps[3]);
        const Vec s01 = T::add(a0, a1);
        const Vec p01 = T::mul(a0, a1);
        const Vec s23 = T::add(a2, a3);
        const Vec p23 = T::mul(a2, a3);
        r.e1 = T::add(s01, s23);
        r.e2 = T::add(T::add(p01, p23), T::mul(s01, s23));
        r.e3 = T::add(T::mul(p01, s23), T::mul(p23, s01));
        r.e4 = T::mul(p01, p23);
        return r;
    };

    if constexpr (T::kSinglePointSums) {
        if (a.points == 1) {
            // One grid point: every row in the window goes to the same cell.
            Vec sum1 = T::zero();
            Vec sum2 = T::zero();
            Vec sum3 = T::zero();
            Vec sum4 = T::zero();
            std::uint32_t inside = 0;
            for (int p = a.from; p < a.to; p += T::kLanes) {
                const Rows r = rows(p);
                const typename T::Mask active = T::less(r.first, w.one);
                inside += T::popcount(active);
                sum1 = T::maskAdd(sum1, active, r.e1);
                sum2 = T::maskAdd(sum2, active, r.e2);
                sum3 = T::maskAdd(sum3, active, r.e3);
                sum4 = T::maskAdd(sum4, active, r.e4);
            }
            double* const cell = a.sums + static_cast<long>(a.cellBase) * 4;
            cell[0] = cell[0] + T::sum(sum1);
            cell[1] = cell[1] + T::sum(sum2);
            cell[2] = cell[2] + T::sum(sum3);
            cell[3] = cell[3] + T::sum(sum4);
            a.counts[a.cellBase] += inside;
            return;
        }
    }

    // Software-pipelined two steps deep: a step's rows are added to their cells while the
    // next two steps are computed. The cells wait on the long chain from the loads to the
    // activation; issued right after it, the adds filled the scheduler and the steps ran
    // one after another.
    typename T::Scatter scatter(a);
    const int steps = (a.to - a.from) / T::kLanes;
    if (steps < 2) {
        if (steps == 1) {
            const Rows r = rows(a.from);
            scatter.stage(0, r.firstInt);
            scatter.add(0, r.e1, r.e2, r.e3, r.e4);
        }
        return;
    }
    // Unrolled three times so that the three steps in flight keep their registers.
    Rows r0 = rows(a.from);
    scatter.stage(0, r0.firstInt);
    Rows r1 = rows(a.from + T::kLanes);
    scatter.stage(1, r1.firstInt);
    Rows r2;
    int p = a.from + 2 * T::kLanes;
    for (; p + 2 * T::kLanes < a.to; p += 3 * T::kLanes) {
        r2 = rows(p);
        scatter.stage(2, r2.firstInt);
        scatter.add(0, r0.e1, r0.e2, r0.e3, r0.e4);
        r0 = rows(p + T::kLanes);
        scatter.stage(0, r0.firstInt);
        scatter.add(1, r1.e1, r1.e2, r1.e3, r1.e4);
        r1 = rows(p + 2 * T::kLanes);
        scatter.stage(1, r1.firstInt);
        scatter.add(2, r2.e1, r2.e2, r2.e3, r2.e4);
    }
    // r0 and r1 (slots 0 and 1) are staged; up to two steps remain.
    for (; p < a.to; p += T::kLanes) {
        r2 = rows(p);
        scatter.stage(2, r2.firstInt);
        scatter.add(0, r0.e1, r0.e2, r0.e3, r0.e4);
        scatter.moveSlot(0, 1);
        scatter.moveSlot(1, 2);
        r0 = r1;
        r1 = r2;
    }
    scatter.add(0, r0.e1, r0.e2, r0.e3, r0.e4);
    scatter.add(1, r1.e1, r1.e2, r1.e3, r1.e4);
}

// D > 0: exactly D columns, known to the compiler; 0: a.realColumns. Long for the same
// reason as pairKernel: its steps wait in one frame.
template <class T, int D>
void wideKernel(PairKernelArgs& a)
{
    using Vec = typename T::Vec;
    const int d = D > 0 ? D : a.realColumns;
    const Window<T> w(a);
    const Vec one = w.one;
    const Vec never = T::set1(a.points);
    std::uint32_t* const counts = a.counts;
    // A step's coefficients and cells wait in memory while the next steps are computed
    // (as in the 4-column kernel); every lane is added, so the adds take no branch that
    // depends on the data. Rows never in the window go to the class's unused cell G.
    struct Step {
        alignas(64) double coefficients[kWideColumnsMax][T::kLanes];
        alignas(32) int firsts[T::kLanes];
        bool active;
    };
    constexpr int kDepth = 2;
    Step steps[kDepth + 1];

    auto compute = [&](int p, Step& s) {
        Vec ps[kWideColumnsMax];
        Vec e[kWideColumnsMax + 1];
        Vec ratio = T::zero();
#pragma GCC unroll 32
        for (int j = 0; j < d; ++j) {
            const Vec x = T::load(a.xc + static_cast<long>(j) * a.stride + p);
            ps[j] = T::mul(T::sub(T::set1(a.xi[j]), x), T::set1(a.invSigma[j]));
            ratio = T::max(ratio, T::abs(ps[j]));
        }
        const Vec first = activation(w, ratio, d, a, p);
        const typename T::Ints firstInt = T::truncate(first);
        T::storeActivation(a.activation + p, firstInt);
        s.active = T::any(T::less(first, never));
        if (!s.active)
            return;
        T::storeInts(s.firsts, firstInt);

        // e_m over the columns in order, e_0 = 1: the recurrence of the scalar loop.
        e[0] = one;
#pragma GCC unroll 32
        for (int m = 1; m <= d; ++m)
            e[m] = T::zero();
#pragma GCC unroll 32
        for (int j = 0; j < d; ++j) {
            const Vec aj = T::mul(ps[j], ps[j]);
#pragma GCC unroll 32
            for (int m = j + 1; m >= 1; --m)
                e[m] = T::add(e[m], T::mul(aj, e[m - 1]));
        }
#pragma GCC unroll 32
        for (int m = 0; m < d; ++m)
            T::store(s.coefficients[m], e[m + 1]);
    };
    auto add = [&](const Step& s) {
        if (!s.active)
            return;
#pragma GCC unroll 8
        for (int l = 0; l < T::kLanes; ++l) {
            const int cell = a.cellBase + s.firsts[l];
            double* const target = a.sums + static_cast<long>(cell) * d;
#pragma GCC unroll 32
            for (int m = 0; m < d; ++m)
                target[m] = target[m] + s.coefficients[m][l];
            ++counts[cell];
        }
    };

    int k = 0;
    for (int p = a.from; p < a.to; p += T::kLanes) {
        compute(p, steps[k]);
        k = k == kDepth ? 0 : k + 1;
        if (p - a.from >= kDepth * T::kLanes)
            add(steps[k]);
    }
    const int computed = (a.to - a.from) / T::kLanes;
    for (int left = computed < kDepth ? computed : kDepth; left > 0; --left) {
        add(steps[(k + kDepth + 1 - left) % (kDepth + 1)]);
    }
}

// Column counts up to kUnrolledColumnsMax get a kernel of their own, the count known to the
// compiler so that every loop over the columns unrolls; wider ones share the general one.
// The table is made from an integer sequence (<utility>, which the kernel files include
// before their pragmas).
constexpr int kUnrolledColumnsMin = 5;
constexpr int kUnrolledColumnsMax = 32;

template <class T, int... K>
void wideKernelFor(PairKernelArgs& a, std::integer_sequence<int, K...>)
{
    using Kernel = void (*)(PairKernelArgs&);
    static constexpr Kernel kernels[] = {&wideKernel<T, kUnrolledColumnsMin + K>...};
    const int k = a.realColumns - kUnrolledColumnsMin;
    if (k >= 0 && k < static_cast<int>(sizeof...(K)))
        kernels[k](a);
    else
        wideKernel<T, 0>(a);
}

template <class T>
void wideKernelFor(PairKernelArgs& a)
{
    wideKernelFor<T>(a, std::make_integer_sequence<int, kUnrolledColumnsMax - kUnrolledColumnsMin + 1>{});
}

}  // namespace fastkernel
