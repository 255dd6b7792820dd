#include "models/fast/InstructionSet.h"

#include <algorithm>
#include <cctype>

#if defined(__x86_64__)
#include "models/fast/FastPairKernel.h"
#include "models/fast/FastWideKernel.h"
#endif

namespace {

constexpr InstructionSet kAll[] = {InstructionSet::None, InstructionSet::Avx2, InstructionSet::Avx512};

}  // namespace

std::string instructionSetName(InstructionSet set)
{
    switch (set) {
    case InstructionSet::None: return "none";
    case InstructionSet::Avx2: return "avx2";
    case InstructionSet::Avx512: return "avx512";
    }
    return "instruction set " + std::to_string(static_cast<int>(set));
}

std::optional<InstructionSet> parseInstructionSet(std::string_view name)
{
    std::string lower(name);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    for (const InstructionSet set : kAll) {
        if (lower == instructionSetName(set))
            return set;
    }
    return std::nullopt;
}

InstructionSet processorInstructionSet()
{
#if defined(__x86_64__)
    if (!__builtin_cpu_supports("avx2"))
        return InstructionSet::None;
    if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl"))
        return InstructionSet::Avx512;
    return InstructionSet::Avx2;
#else
    return InstructionSet::None;
#endif
}

std::vector<InstructionSet> availableInstructionSets(InstructionSet cap)
{
    const InstructionSet widest = std::min(cap, processorInstructionSet());
    std::vector<InstructionSet> sets;
    for (const InstructionSet set : kAll) {
        if (set <= widest)
            sets.push_back(set);
    }
    return sets;
}

Kernels kernelsFor(InstructionSet allowed)
{
    Kernels k;
    k.set_ = std::min(allowed, processorInstructionSet());
#if defined(__x86_64__)
    // The AVX-512 plan evaluates its buckets with the AVX2 loop: the processor has both.
    switch (k.set_) {
    case InstructionSet::None:
        break;
    case InstructionSet::Avx2:
        k.rowsPerStep_ = 4;
        k.pair_ = pairKernelAvx2;
        k.widePair_ = widePairKernelAvx2;
        k.evaluate_ = evaluateAvx2;
        break;
    case InstructionSet::Avx512:
        k.rowsPerStep_ = 8;
        k.countedCells_ = true;
        k.pair_ = pairKernelAvx512;
        k.widePair_ = widePairKernelAvx512;
        k.evaluate_ = evaluateAvx2;
        break;
    }
#endif
    return k;
}
