#pragma once

#include "develop/segment/FlatTable.h"
#include "develop/segment/Operators.h"

#include <cstdint>
#include <span>

namespace oxel::segment {

// Reading what an operator's options say, checked: each function throws ModelError for a value
// it does not know or that is out of range.

// A fused activation code (none, relu, relu_n1_to_1, relu6).
Activation activationOf(int8_t code);

// Where a sliding window goes over its input, and the output size it gives.
struct Placement {
    Window window;
    int height, width;
};

// A convolution's or pooling's placement, from options that hold its padding (same or valid) in
// field 0 and its horizontal and vertical strides in fields 1 and 2.
Placement placementOf(const FlatTable& options, MapShape in, int kernelHeight, int kernelWidth);

// Refuses dilation factors (the two fields from `first` on) other than 1.
void requireUndilated(const FlatTable& options, int first);

// The transposed convolution's placement, from its custom options: three 32-bit numbers, padding
// (1 same, 2 valid) and the horizontal and vertical strides. Its output is laid out as the input
// of a convolution that would give its input back.
Placement transposedPlacementOf(std::span<const uint8_t> customOptions, MapShape in, int kernelHeight, int kernelWidth);

} // namespace oxel::segment
