#pragma once
// How the class-density classifier scores its width grid, chosen once by whoever builds it.

#include <memory>

#include "models/fast/GridSearch.h"
#include "models/fast/InstructionSet.h"

// Reference: every grid point through the object-model classes, for anyone who wants to
// cross-check a result. Fast: the dense engine behind a GridSearch. The values are the
// same to the bit.
enum class SearchEngine { Reference, Fast };

struct ClassifierOptions {
    SearchEngine engine = SearchEngine::Fast;
    // The widest kernels the fast engine may use, where the processor has them; the
    // values are the same to the bit whichever it uses.
    InstructionSet instructionSets = InstructionSet::Avx512;
    // Where the fast engine counts the pairs; null: in this process (LocalGridSearch with
    // instructionSets). Unused by the reference engine.
    std::shared_ptr<GridSearch> gridSearch = nullptr;
};
