#include "develop/colour/ColourKernels.h"

#include "imaging/VectorClones.h"

#include <algorithm>

namespace oxel {

namespace {

// Pixels pass through the steps in runs of this many, split into one array a channel.
constexpr size_t runLength = 256;

struct Planes {
    alignas(32) float r[runLength];
    alignas(32) float g[runLength];
    alignas(32) float b[runLength];
};

OXEL_VECTOR_CLONES
void split(const RGB* in, Planes& planes, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        planes.r[i] = in[i].r;
        planes.g[i] = in[i].g;
        planes.b[i] = in[i].b;
    }
}

OXEL_VECTOR_CLONES
void join(const Planes& planes, RGB* out, size_t count)
{
    for (size_t i = 0; i < count; ++i) out[i] = {planes.r[i], planes.g[i], planes.b[i]};
}

// planes = clamp(matrix * planes, 0, 1)
OXEL_VECTOR_CLONES
void transformAndClamp(const Matrix3f& matrix, Planes& planes, size_t count)
{
    const auto& m = matrix.m;
    for (size_t i = 0; i < count; ++i) {
        const float r = planes.r[i], g = planes.g[i], b = planes.b[i];
        planes.r[i] = std::min(std::max(m[0] * r + m[1] * g + m[2] * b, 0.0f), 1.0f);
        planes.g[i] = std::min(std::max(m[3] * r + m[4] * g + m[5] * b, 0.0f), 1.0f);
        planes.b[i] = std::min(std::max(m[6] * r + m[7] * g + m[8] * b, 0.0f), 1.0f);
    }
}

template <class Steps>
void inRuns(const RGB* in, RGB* out, size_t count, Steps steps)
{
    Planes planes;
    for (size_t start = 0; start < count; start += runLength) {
        const size_t n = std::min(runLength, count - start);
        split(in + start, planes, n);
        steps(planes, n);
        join(planes, out + start, n);
    }
}

} // namespace

void ConvertKernel::run(const RGB* in, RGB* out, size_t count) const
{
    inRuns(in, out, count, [this](Planes& planes, size_t n) {
        decode.apply(planes.r, planes.g, planes.b, n);
        transformAndClamp(sourceToDestination, planes, n);
        encode.apply(planes.r, planes.g, planes.b, n);
    });
}

void ClipViaSRGBKernel::run(const RGB* in, RGB* out, size_t count) const
{
    inRuns(in, out, count, [this](Planes& planes, size_t n) {
        decode.apply(planes.r, planes.g, planes.b, n);
        transformAndClamp(spaceToSRGB, planes, n);
        transformAndClamp(sRGBToSpace, planes, n);
        encode.apply(planes.r, planes.g, planes.b, n);
    });
}

} // namespace oxel
