#include "imaging/RowMath.h"

#include "imaging/VectorClones.h"

#include <algorithm>

namespace oxel {

OXEL_VECTOR_CLONES
void weightedRowSum(float* __restrict out, const float* const* rows, const float* weights, size_t taps, size_t count)
{
    if (taps == 0) {
        std::fill(out, out + count, 0.0f);
        return;
    }
    {
        const float* __restrict row = rows[0];
        const float w = weights[0];
        for (size_t i = 0; i < count; ++i) out[i] = w * row[i];
    }
    for (size_t k = 1; k < taps; ++k) {
        const float* __restrict row = rows[k];
        const float w = weights[k];
        for (size_t i = 0; i < count; ++i) out[i] += w * row[i];
    }
}

OXEL_VECTOR_CLONES
void convolveRow(float* __restrict out, const float* __restrict in, const float* weights, size_t taps, size_t step,
                 size_t count)
{
    if (taps == 0) {
        std::fill(out, out + count, 0.0f);
        return;
    }
    {
        const float w = weights[0];
        for (size_t i = 0; i < count; ++i) out[i] = w * in[i];
    }
    for (size_t k = 1; k < taps; ++k) {
        const float* __restrict src = in + k * step;
        const float w = weights[k];
        for (size_t i = 0; i < count; ++i) out[i] += w * src[i];
    }
}

} // namespace oxel
