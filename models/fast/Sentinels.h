#pragma once
// The values that stand for "no value" in the results of the models and of the engine.
// They are ordinary numbers compared by exact equality, and they reach the journal and
// the result rows as they are, so every layer takes them from here.

// A model output, class code or density that has no value.
constexpr int NOT_DEFINED = -999999;
constexpr double NOT_DEFINED_REAL = -999999.0;

// The criterion of a parameter vector at which some row cannot be decided under strict
// scoring; larger than every error fraction.
constexpr double NO_CRITERION = 1e101;
