#pragma once
// The classifier's decision for one row, written once for every path that takes it: the
// object-model classes, the plain loops, the engine's scalar scoring and, through the
// same functions or their vector form, its kernels. A row goes to the class of the
// largest density, the earlier class in class order keeping a tie; a class without
// density takes no part, and a row no class has a density for is undecided. The engine
// knows most densities only as bounds; the same rule then settles a row where it holds
// for every value within them.
//
// Included by the kernel files before their target pragmas, so it holds no code from any
// other header: each function here is built for every processor.

#include "models/fast/Sentinels.h"

namespace Verdict {

// Whether class q keeps a tie with class p.
constexpr bool keepsTies(int q, int p)
{
    return q < p;
}

// Whether class q with density f beats class p with density g.
inline bool beats(int q, double f, int p, double g)
{
    return keepsTies(q, p) ? f >= g : f > g;
}

// The class position the classifier gives: the winner over the classes in order, density(q)
// being called once per class; -1 when no class has a density (NOT_DEFINED_REAL).
template <class Density>
int winner(int classes, Density density)
{
    double best = -1.0;
    int result = -1;
    for (int q = 0; q < classes; ++q) {
        const double f = density(q);
        if (f != NOT_DEFINED_REAL && beats(q, f, result, best)) {
            best = f;
            result = q;
        }
    }
    return result;
}

// A density known to lie within [lo, hi].
struct Bounds {
    double lo = 0.0;
    double hi = 0.0;
};

enum class Duel { Wins, Loses, Open };

// Class y (the row's, density within a) against class q (within b): Wins when y beats q
// at every value of the bounds, Loses when q beats y at every value, Open otherwise.
inline Duel duel(int y, const Bounds& a, int q, const Bounds& b)
{
    if (beats(y, a.lo, q, b.hi))
        return Duel::Wins;
    if (beats(q, b.lo, y, a.hi))
        return Duel::Loses;
    return Duel::Open;
}

// A row's outcome at one grid point; Unsettled: the bounds leave a duel open.
enum Outcome : unsigned char { Right = 0, Wrong = 1, Undecided = 2, Unsettled = 3 };

// The outcome from what the duels found: whether some class has a density, whether the
// row's class has one, whether the row's class lost a duel and whether it won them all.
constexpr Outcome combine(bool anyDensity, bool ownDensity, bool lost, bool wonAll)
{
    return !anyDensity ? Undecided : !ownDensity || lost ? Wrong : wonAll ? Right : Unsettled;
}

// The outcome of a row of class y that the winner (winner's result, -1 for none) goes to.
constexpr Outcome outcomeOf(int chosen, int y)
{
    return chosen == -1 ? Undecided : chosen == y ? Right : Wrong;
}

// Whether the outcome counts as a wrong row: an undecided one does unless strict (strict,
// it makes the grid point's criterion 1e101 instead).
constexpr bool countsWrong(Outcome outcome, bool strict)
{
    return outcome == Wrong || (outcome == Undecided && !strict);
}

// The outcome before any density is compared: Undecided, Wrong, or Unsettled while the
// duels are still to be fought.
constexpr Outcome presence(bool anyDensity, bool ownDensity)
{
    return combine(anyDensity, ownDensity, false, false);
}

// The row of class y against every class with a density (has(q)), their bounds from
// bounds(q); open(q) is told of each duel the bounds leave open. Stops at the first loss.
template <class Has, class BoundsOf, class OnOpen>
[[gnu::always_inline]] inline Outcome contest(int y, int classes, Has has, BoundsOf bounds, OnOpen open)
{
    const bool own = has(y);
    bool any = own;
    bool wonAll = true;
    for (int q = 0; q < classes; ++q) {
        if (q == y || !has(q))
            continue;
        any = true;
        if (!own)
            break;
        const Duel d = duel(y, bounds(y), q, bounds(q));
        if (d == Duel::Loses)
            return Wrong;
        if (d == Duel::Open) {
            open(q);
            wonAll = false;
        }
    }
    return combine(any, own, false, wonAll);
}

}  // namespace Verdict
