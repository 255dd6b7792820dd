#pragma once
// The class labels dodoz-register keeps at the end of a task's name, as
// " (classes: 0 barolo, 1 grignolino, ...)", in code order.

#include <cstddef>
#include <string>
#include <vector>

// Exactly one label per class of the task. None when the name has no such list, or when
// it splits into that many labels in more than one way (a label holding ", 1 "): a
// guess could name the wrong class, the codes alone cannot. Texts as in the name.
std::vector<std::string> classLabelsOf(const std::string& taskName, std::size_t classes);
