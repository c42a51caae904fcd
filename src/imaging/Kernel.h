#pragma once

#include "imaging/Image.h"

#include <array>
#include <functional>
#include <utility>

namespace oxel {

// A run of same-position samples: inputs[k][i] is input k's sample at the output's sample i.
using SpanKernel = std::function<void(const RGB* const* inputs, RGB* out, size_t count)>;

// A per-pixel kernel over any number of same-position inputs. Over `extent` every output sample
// is the kernel of the inputs' samples at the same place (zero where an input has none); outside
// it the output is zero. A chain of kernels is evaluated in one pass per tile.
Image applySpanKernel(const Rect& extent, SpanKernel kernel, std::vector<Image> inputs);

// The same, from a function of the input samples: f(RGB...) -> RGB. Uniforms travel in f's captures.
template <class F, class... Inputs>
Image applyKernel(const Rect& extent, F f, const Inputs&... inputs)
{
    constexpr size_t n = sizeof...(Inputs);
    SpanKernel span = [f](const RGB* const* in, RGB* out, size_t count) {
        [&]<size_t... k>(std::index_sequence<k...>)
        {
            for (size_t i = 0; i < count; ++i) out[i] = f(in[k][i]...);
        }
        (std::make_index_sequence<n>{});
    };
    return applySpanKernel(extent, std::move(span), std::vector<Image>{inputs...});
}

} // namespace oxel
