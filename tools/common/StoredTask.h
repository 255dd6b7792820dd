#pragma once
// A task read from the repository as dodoz reads it (the data source MIRELON, the same
// statements and checks, integer inputs read as real), and nothing written: the tools
// that explain a run or reuse its model leave the repository as they found it.

#include <string>

#include "objects/Vector.h"
#include "sample/Dataset.h"

struct StoredTask {
    int key = 0;
    std::string name;  // cp1251; empty when the host's Task has no TskName
    DatasetPtr sample;
    VectorPtr object;  // the task's own object, in input-column order

    // Raises the repository's SystemException (cp1251, what dodoz reports in its box), or
    // an Exception in UTF-8, when the task cannot be read.
    static StoredTask read(int key);

private:
    static StoredTask readTask(int key);
};
