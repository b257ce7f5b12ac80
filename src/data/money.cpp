#include "data/money.h"

#include <cmath>

double Money::toCents(double value)
{
    return std::round(value * 100.0) / 100.0 + 0.0;
}
