#pragma once
// The objects of a spreadsheet export for a task: one object per data row, its values
// taken from the columns named like the task's input columns, in the task's order. The
// file is read with dodoz-register's rules (separator, decimal commas, encodings), and a
// column matches an input column by its name, or by the plain name dodoz-register
// stored it under; other columns (a class column, say) are left alone.

#include <string>
#include <vector>

#include "objects/Vector.h"

struct ObjectFile {
    struct Format {
        char delimiter = 0;  // 0: the one the header line uses
        char decimal = 0;    // '.', ',' or 0: either, as dodoz-register reads a ';' file
        std::string encoding;
    };

    std::vector<VectorPtr> objects;
    std::vector<int> lines;  // the file line each object started on

    // inputs: the task's input column names (UTF-8). Raises Exception naming the file,
    // the line and the column of what cannot be read, and an input the file lacks.
    static ObjectFile read(const std::string& path, const std::vector<std::string>& inputs, const Format& format);
};
