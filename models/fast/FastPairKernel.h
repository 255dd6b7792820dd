#pragma once
// The vector loops of the fast search. The pair kernels take one query row against a run
// of sample rows of one class: for every row they find the first grid point at which it
// enters the query's window (its activation) and add its 4 polynomial coefficients to
// the bucket cell of that activation. The evaluation turns the buckets into verdicts.
// Plain data only, so that each instruction set lives in a translation unit of its own
// and is chosen at run time.

#include <cstdint>

#include "models/fast/Verdict.h"

struct PairKernelArgs {
    const double* xc = nullptr;       // columns of the sample, column j at xc + j * stride
    int stride = 0;
    int from = 0;                     // first row position
    int to = 0;                       // one past the last row position
    const double* xi = nullptr;       // the query's values, one per padded column
    const double* invSigma = nullptr; // 1 / sigma_j per padded column
    int cellBase = 0;                 // first cell of the rows' class: class * (points + 1)
    int points = 0;                   // grid size G; activation G means never active
    double c0 = 0.0;                  // first grid point
    double invStep = 0.0;             // 1 / grid step
    double* sums = nullptr;           // per cell (class, activation): 4 coefficient sums
    std::uint32_t* counts = nullptr;  // per cell: rows
    std::uint16_t* activation = nullptr;  // per row position
    // Per real column j, bound[j * points + g]: the largest |difference| inside the window
    // at grid point g. Rows whose estimate lies too close to a grid point are placed by
    // comparing with it.
    const double* bound = nullptr;
    int realColumns = 0;
    // The AVX-512 4-column kernel adds into cells of 8 doubles instead: the 4 coefficient
    // sums, then the row count, then lanes that are never read. One add of a whole cell
    // per row costs less than a coefficient add and a count increment, which the scattered
    // rows make wait on each other's stores. The caller folds these cells into sums and
    // counts. Cells from spareCell on (kSpareCells of them, one per lane) take the rows
    // that never enter the window, which would otherwise all wait on the same cell.
    double* countedCells = nullptr;
    int spareCell = 0;
};

constexpr int kSpareCells = 8;
constexpr int kCountedCellWidth = 8;

// Distance, in grid steps, below which the estimated activation is not trusted and the
// row is placed by the exact per-column test instead.
constexpr double kActivationTolerance = 1e-6;

// Vector kernels for exactly 4 (padded) columns and a uniform grid; positions from..to
// with (to - from) a multiple of 4 (AVX2) or 8 (AVX-512). Both give the same buckets up
// to the order of additions.
void pairKernelAvx2(PairKernelArgs& args);
void pairKernelAvx512(PairKernelArgs& args);

// The evaluation of one scored row at every grid point from its buckets (4 coefficients
// per cell), four grid points at a time: running sums over the grid, the density bounds
// of every class from the cheap error bound, and the row's Verdict::Outcome per grid point.

struct EvalArgs {
    int points = 0;
    int paddedPoints = 0;                     // points rounded up to 4
    int classes = 0;
    int own = 0;                              // class of the scored row
    const double* sums = nullptr;             // cells (class * (points + 1) + g) * 4
    const std::uint32_t* counts = nullptr;    // cells
    const double* powSigned = nullptr;        // m * paddedPoints + g: (-t)^(m+1)
    const double* t = nullptr;                // paddedPoints
    const double* denominator = nullptr;      // (class * 2 + own) * paddedPoints + g
    const double* invDenominator = nullptr;
    double dupProduct = 0.0;                  // 0.75^d
    double loosePerRow = 0.0;                 // 0.75^d 2^4 (1 + 2^-20)
    double fixedTerms = 0.0;                  // G + 40 * 4 + 16 of the error bound
    double* prefix = nullptr;                 // out: (class * paddedPoints + g) * 4 running sums
    double* prefixCount = nullptr;            // out: class * paddedPoints + g running counts
    double* lo = nullptr;                     // scratch: class * paddedPoints + g
    double* hi = nullptr;
    unsigned char* status = nullptr;          // out: Verdict::Outcome per grid point
};

void evaluateAvx2(EvalArgs& args);
