#pragma once
// The filled sample of a classifier copied once into dense arrays for the fast search:
// one double per input cell and the class position of every row.

#include <memory>
#include <vector>

#include "models/fast/DenseSample.h"
#include "sample/Dataset.h"

class SampleArrays {
public:
    // The arrays of a sample split by the class masks of a classifier's parameters
    // (null entry: the row belongs to that class). Null when the masks do not split the
    // included rows into the classes of their own outputs one to one (hand-made
    // parameters), where only the plain classes give the specified result. A cell that
    // is no number throws SystemException naming place, the caller's.
    static std::unique_ptr<SampleArrays> of(const Dataset& sample, const Vector& codes, const Vector& masks,
                                            const char* place);

    DenseSample view() const;

private:
    int rows = 0;
    int columns = 0;
    int classes = 0;
    std::vector<double> x;
    std::vector<int> cls;
};
