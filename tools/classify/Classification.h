#pragma once
// The objects of a file classified with one fitted sample, each as dodoz classifies its
// task's object: the class (-999999 when no class has a density at it) and each class's
// share as dodoz writes it.

#include <string>
#include <vector>

#include "tools/classify/ObjectFile.h"
#include "tools/common/FittedSample.h"

struct ClassifiedObject {
    int line = 0;
    int classCode = 0;
    std::vector<double> shares;  // in the order of classCodes
};

struct Classification {
    std::vector<int> classCodes;
    std::vector<std::string> labels;  // UTF-8, one per class or none
    std::vector<ClassifiedObject> objects;

    // Raises Exception when the search has no result, as the run would fail.
    static Classification of(FittedSample& fitted, const ObjectFile& file, const std::vector<std::string>& labels,
                             int key);

    // The texts are UTF-8.
    std::string classInWords(int code) const;  // "class 1 (versicolor)"
    std::string inWords() const;
    std::string asCsv() const;
    std::string asJsonLines() const;  // one object per line
};
