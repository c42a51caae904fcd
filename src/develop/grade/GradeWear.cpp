#include "develop/grade/GradeWear.h"

#include "develop/colour/ColourKernels.h"
#include "develop/grade/GradeKernels.h"

#include "imaging/Kernel.h"

namespace oxel {
namespace {

using GradeKernels::GradeUniforms;

constexpr std::array<double, 3> sRGBGammas{2.2, 2.2, 2.2};

// The two conversions between a document space and sRGB, as the colour spaces make them.
ConvertKernel toSRGBKernel(const RGBSpace& space)
{
    return {ChannelCurves::of(ToneTable::Direction::decode, space.sRGBCurve, space.gamma),
            Matrix3f::of(multiply(xyzToSRGB, space.toXYZ)),
            ChannelCurves::of(ToneTable::Direction::encode, true, sRGBGammas)};
}

ConvertKernel fromSRGBKernel(const RGBSpace& space)
{
    return {ChannelCurves::of(ToneTable::Direction::decode, true, sRGBGammas),
            Matrix3f::of(multiply(space.fromXYZ, sRGBToXYZ)),
            ChannelCurves::of(ToneTable::Direction::encode, space.sRGBCurve, space.gamma)};
}

// The picture plus the grade's change where the hold lets it through; `graded` holds the graded
// picture for the same samples.
void wearChange(const RGB* picture, const RGB* graded, const RGB* hold, RGB* out, size_t count)
{
    for (size_t i = 0; i < count; ++i) out[i] = GradeKernels::wearColour(picture[i], graded[i] - picture[i], hold[i]);
}

void wearInPlace(const RGB* picture, const RGB* hold, RGB* out, size_t count, const GradeUniforms& u)
{
    GradeKernels::gradeSpan(picture, nullptr, out, count, u);
    wearChange(picture, out, hold, out, count);
}

// The change measured in sRGB: the working picture and its graded value both go back into the
// document space before they are compared.
void wearViaSRGB(const RGB* picture, const RGB* hold, RGB* out, size_t count, const GradeUniforms& u,
                 const ConvertKernel& toSRGB, const ConvertKernel& fromSRGB)
{
    constexpr size_t chunk = 64;
    RGB working[chunk], graded[chunk];
    for (size_t start = 0; start < count; start += chunk) {
        const size_t n = std::min(chunk, count - start);
        for (size_t i = 0; i < n; ++i) working[i] = toSRGB(picture[start + i]);
        GradeKernels::gradeSpan(working, nullptr, graded, n, u);
        for (size_t i = 0; i < n; ++i) {
            const RGB change = fromSRGB(graded[i]) - fromSRGB(working[i]);
            out[start + i] = GradeKernels::wearColour(picture[start + i], change, hold[start + i]);
        }
    }
}

} // namespace

Image wearGrade(const Image& picture, const SuggestedGrade& grade, double amount, const Image& hold,
                const RGBSpace* space)
{
    const GradeUniforms u = GradeUniforms::of(grade.scaled(amount));
    if (!space) {
        SpanKernel span = [u](const RGB* const* in, RGB* out, size_t count) {
            wearInPlace(in[0], in[1], out, count, u);
        };
        return applySpanKernel(picture.extent(), std::move(span), {picture, hold});
    }
    SpanKernel span = [u, to = toSRGBKernel(*space), from = fromSRGBKernel(*space)](const RGB* const* in, RGB* out,
                                                                                    size_t count) {
        wearViaSRGB(in[0], in[1], out, count, u, to, from);
    };
    return applySpanKernel(picture.extent(), std::move(span), {picture, hold});
}

} // namespace oxel
