#include "GradeWear.h"

#include "ColourKernels.h"
#include "GradeKernels.h"

#include "imaging/Kernel.h"

namespace oxel {
namespace {

using GradeKernels::GradeUniforms;
using GradeKernels::RGB4;

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

// For each group of up to four pixels: `working` gives the pixel the grade sees, `change` turns
// it and its graded value into the change worn by the picture.
template <class Working, class Change>
SpanKernel wearSpan(const GradeUniforms& u, Working working, Change change)
{
    return [u, working, change](const RGB* const* in, RGB* out, size_t count) {
        const RGB* picture = in[0];
        const RGB* hold = in[1];
        for (size_t i = 0; i < count; i += 4) {
            const size_t n = std::min<size_t>(4, count - i);
            RGB4 before = RGB4::splat(working(picture[i]));
            for (size_t k = 1; k < n; ++k) before.set(k, working(picture[i + k]));
            const RGB4 after = GradeKernels::grade(before, lanes::splat(0), u);
            for (size_t k = 0; k < n; ++k) {
                const RGB p = picture[i + k];
                out[i + k] = GradeKernels::wearColour(p, change(before.at(k), after.at(k)), hold[i + k]);
            }
        }
    };
}

} // namespace

Image wearGrade(const Image& picture, const SuggestedGrade& grade, double amount, const Image& hold,
                const RGBSpace* space)
{
    const GradeUniforms u = GradeUniforms::of(grade.scaled(amount));
    if (!space) {
        auto span = wearSpan(u, [](RGB p) { return p; }, [](RGB before, RGB after) { return after - before; });
        return applySpanKernel(picture.extent(), std::move(span), {picture, hold});
    }
    const ConvertKernel toSRGB = toSRGBKernel(*space), fromSRGB = fromSRGBKernel(*space);
    auto span = wearSpan(u, toSRGB, [fromSRGB](RGB before, RGB after) { return fromSRGB(after) - fromSRGB(before); });
    return applySpanKernel(picture.extent(), std::move(span), {picture, hold});
}

} // namespace oxel
