#include "models/ClassShares.h"

#include "models/fast/Sentinels.h"
#include "objects/Values.h"

std::vector<double> classShares(const Vector& densities)
{
    std::vector<double> values;
    double sum = 0.0;
    for (int i = 0; i < densities.size(); ++i) {
        const double d = densities.getDouble(i);
        values.push_back(d == NOT_DEFINED_REAL ? 0.0 : d);
        sum = sum + values.back();
    }
    std::vector<double> shares;
    for (double d : values)
        shares.push_back(CDouble::roundTo(sum > 0.0 ? d / sum * 100.0 : 0.0, 2));
    return shares;
}
