#pragma once
// The instruction sets the engine's tests exercise in this process: those the processor
// has, up to DODOZ_INSTRUCTION_SET (read once, with the program's names; unset: all), so
// that a wider processor also runs the suites as a narrower one would. The tests take
// every set as a parameter and skip, naming the set and why, those they may not run.

#include <gtest/gtest.h>

#include <cstdlib>
#include <iostream>
#include <ostream>
#include <optional>
#include <stdexcept>
#include <string>

#include "models/fast/InstructionSet.h"

// For GoogleTest's messages about parameters (and the CTest names built from them).
inline void PrintTo(InstructionSet set, std::ostream* out)
{
    *out << instructionSetName(set);
}

namespace testsupport {

inline constexpr InstructionSet kSets[] = {InstructionSet::None, InstructionSet::Avx2, InstructionSet::Avx512};

// DODOZ_INSTRUCTION_SET of this process; an unknown name fails every test that asks.
inline InstructionSet instructionSetCap()
{
    static const InstructionSet cap = [] {
        const char* name = std::getenv("DODOZ_INSTRUCTION_SET");
        if (!name)
            return InstructionSet::Avx512;
        if (const std::optional<InstructionSet> set = parseInstructionSet(name))
            return *set;
        throw std::invalid_argument(std::string("DODOZ_INSTRUCTION_SET: no instruction set is called \"") + name + "\"");
    }();
    return cap;
}

// Why this process does not exercise set, or nothing when it does.
inline std::optional<std::string> notExercised(InstructionSet set)
{
    if (set > processorInstructionSet())
        return instructionSetName(set) + " not exercised: the processor lacks it";
    if (set > instructionSetCap())
        return instructionSetName(set) + " not exercised: capped at " + instructionSetName(instructionSetCap())
               + " by DODOZ_INSTRUCTION_SET";
    return std::nullopt;
}

// The parameter's part of a test name: "none", "avx2", "avx512".
inline std::string setName(const ::testing::TestParamInfo<InstructionSet>& info)
{
    return instructionSetName(info.param);
}

// A test over one instruction set (INSTANTIATE_TEST_SUITE_P(Sets, Fixture,
// ::testing::ValuesIn(kSets), setName)), skipped where this process may not exercise it.
class InstructionSetTest : public ::testing::TestWithParam<InstructionSet> {
protected:
    void SetUp() override
    {
        if (const std::optional<std::string> why = notExercised(GetParam()))
            GTEST_SKIP() << *why;
    }

    InstructionSet set() const { return GetParam(); }
};

// Prints, before a suite's tests, the sets it exercises and those it does not, so that
// the log says what this machine has proved.
class InstructionSetsReport : public ::testing::Environment {
public:
    void SetUp() override
    {
        std::string exercised;
        std::string missing;
        for (const InstructionSet set : kSets) {
            if (const std::optional<std::string> why = notExercised(set))
                missing += (missing.empty() ? "" : "; ") + *why;
            else
                exercised += " " + instructionSetName(set);
        }
        std::cout << "instruction sets exercised:" << exercised << (missing.empty() ? "" : "; " + missing) << std::endl;
    }
};

}  // namespace testsupport
