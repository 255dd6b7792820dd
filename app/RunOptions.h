#pragma once
// The switches of one run, read from the environment once, when the run starts, and
// handed down to the parts they concern.

#include "app/TestStop.h"
#include "models/TModelClass.h"

struct RunOptions {
    // DODOZ_REFERENCE_SEARCH=1: the object-model path instead of the fast engine, for
    // anyone who wants to cross-check a result. DODOZ_INSTRUCTION_SET (none, avx2 or
    // avx512; unset: avx512): the widest kernels the engine may use where the processor
    // has them, to check the narrower paths on a wider processor; any other value is an
    // error.
    ClassifierOptions classifier;
    // DODOZ_TEST_STOP: the reliability tests' stop points.
    TestStops stops;
    // DODOZ_NO_GUI set and not "0": the progress on the console even with a display.
    bool console = false;

    // Throws SystemException on a DODOZ_INSTRUCTION_SET it does not know.
    static RunOptions fromEnvironment();
};
