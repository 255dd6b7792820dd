#pragma once
// The pair kernel for more than four columns: the query against a run of rows of one
// class, eight rows per step (four with AVX2); each row's activation as in the four-column kernels, and
// for rows that enter the window the d coefficients e_1..e_d of prod_j (1 - a_j t), in
// the recurrence the scalar loop uses, added to the bucket cell of the activation (d
// doubles per cell). Rows that never enter the window cost no coefficient work.

#include "models/fast/FastPairKernel.h"

// Column counts the wide kernel takes.
constexpr int kWideColumnsMax = 64;

// args.realColumns columns (5..kWideColumnsMax), cells of as many doubles; positions
// from..to with (to - from) a multiple of 8 (AVX-512 F and VL) or of 4 (AVX2). Both give
// the same buckets up to the order of additions.
void widePairKernelAvx512(PairKernelArgs& args);
void widePairKernelAvx2(PairKernelArgs& args);
