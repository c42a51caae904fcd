#include "model/ExportProgressFilter.h"

namespace oxel {

bool ExportProgressFilter::pass(double value)
{
    // A difference that is not a number fails the comparison and is dropped.
    if (!(value >= 1.0 || value - last_ >= step)) return false;
    last_ = value;
    return true;
}

} // namespace oxel
