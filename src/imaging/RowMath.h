#pragma once

#include <cstddef>

namespace oxel {

// Weighted sums of rows of floats, the inner loops of every separable filter. They are built
// for the widest vector unit the processor has, chosen when the program starts.

// out[i] = sum over k of weights[k] * rows[k][i], for i < count.
void weightedRowSum(float* out, const float* const* rows, const float* weights, size_t taps, size_t count);

// out[i] = sum over k of weights[k] * in[i + k * step], for i < count: a convolution along a row
// whose neighbouring samples lie `step` floats apart.
void convolveRow(float* out, const float* in, const float* weights, size_t taps, size_t step, size_t count);

} // namespace oxel
