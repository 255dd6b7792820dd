#pragma once
// The instruction sets the engine's kernels are written for, and the one place that
// turns a set into kernels. A caller says which sets it allows (a cap); kernelsFor picks
// the widest the processor has within the cap, so no code ever reaches a kernel built
// for instructions the processor lacks. Off x86-64 the processor has only None, and the
// engine runs its plain loops.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct PairKernelArgs;
struct EvalArgs;

// Ordered: a wider set includes the narrower ones (AVX-512 here means AVX2 as well,
// with avx512f and avx512vl).
enum class InstructionSet { None, Avx2, Avx512 };

// "none", "avx2", "avx512".
std::string instructionSetName(InstructionSet set);
// Those names in any letter case; nothing for any other text.
std::optional<InstructionSet> parseInstructionSet(std::string_view name);

// The widest set this processor runs.
InstructionSet processorInstructionSet();
// Every set up to the narrower of cap and the processor's, None first.
std::vector<InstructionSet> availableInstructionSets(InstructionSet cap);

// The entry points of one set's kernels; made only by kernelsFor.
class Kernels {
public:
    using PairKernel = void (*)(PairKernelArgs&);
    using Evaluation = void (*)(EvalArgs&);

    InstructionSet set() const { return set_; }
    // Rows per step of the pair kernels: 4 for AVX2, 8 for AVX-512, 0 for None.
    int rowsPerStep() const { return rowsPerStep_; }
    // The 4-column pair kernel adds into PairKernelArgs::countedCells, not into the sums.
    bool countedCells() const { return countedCells_; }
    // Null for None, as are the others.
    PairKernel pair() const { return pair_; }
    PairKernel widePair() const { return widePair_; }
    Evaluation evaluate() const { return evaluate_; }

private:
    friend Kernels kernelsFor(InstructionSet allowed);
    Kernels() = default;

    InstructionSet set_ = InstructionSet::None;
    int rowsPerStep_ = 0;
    bool countedCells_ = false;
    PairKernel pair_ = nullptr;
    PairKernel widePair_ = nullptr;
    Evaluation evaluate_ = nullptr;
};

// The kernels of the widest set up to allowed that the processor has.
Kernels kernelsFor(InstructionSet allowed);
