#include "tools/common/ClassLabels.h"

#include <algorithm>
#include <map>

namespace {

// A list "0 text, 1 text, ..." split into exactly `count` labels, each "k text" after
// ", ", with a text of at least one character.
class LabelList {
public:
    LabelList(const std::string& list, size_t count) : list(list), count(count) {}

    // The ways the whole list splits, counted up to 2: only a single way is taken.
    int ways() { return waysFrom(0, 0); }

    // The labels of the single way.
    std::vector<std::string> labels()
    {
        std::vector<std::string> out;
        size_t at = 0;
        for (size_t k = 0; k < count; ++k) {
            const size_t text = at + code(k).size();
            if (k + 1 == count) {
                out.push_back(list.substr(text));
                break;
            }
            for (size_t end = list.find(", " + code(k + 1), text + 1); end != std::string::npos;
                 end = list.find(", " + code(k + 1), end + 1)) {
                if (waysFrom(end + 2, k + 1) > 0) {
                    out.push_back(list.substr(text, end - text));
                    at = end + 2;
                    break;
                }
            }
        }
        return out;
    }

private:
    static std::string code(size_t k) { return std::to_string(k) + " "; }

    int waysFrom(size_t at, size_t first)
    {
        if (auto known = memo.find({at, first}); known != memo.end())
            return known->second;
        int ways = 0;
        if (list.compare(at, code(first).size(), code(first)) == 0) {
            const size_t text = at + code(first).size();
            if (first + 1 == count) {
                ways = text < list.size() ? 1 : 0;
            } else {
                for (size_t end = list.find(", " + code(first + 1), text + 1); end != std::string::npos && ways < 2;
                     end = list.find(", " + code(first + 1), end + 1))
                    ways = std::min(2, ways + waysFrom(end + 2, first + 1));
            }
        }
        memo[{at, first}] = ways;
        return ways;
    }

    const std::string& list;
    const size_t count;
    std::map<std::pair<size_t, size_t>, int> memo;
};

}  // namespace

std::vector<std::string> classLabelsOf(const std::string& name, size_t classes)
{
    const std::string marker = " (classes: ";
    if (classes == 0 || name.empty() || name.back() != ')')
        return {};
    int ways = 0;
    std::vector<std::string> labels;
    for (size_t start = name.find(marker); start != std::string::npos && ways < 2; start = name.find(marker, start + 1)) {
        const std::string list = name.substr(start + marker.size(), name.size() - start - marker.size() - 1);
        LabelList split(list, classes);
        const int here = split.ways();
        if (here > 0 && ways == 0)
            labels = split.labels();
        ways += here;
    }
    return ways == 1 ? labels : std::vector<std::string>{};
}
