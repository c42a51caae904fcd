#include "GradeWear.h"

#include "ColourKernels.h"
#include "GradeKernels.h"

#include "imaging/Kernel.h"

namespace oxel {
namespace {

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

} // namespace

Image wearGrade(const Image& picture, const SuggestedGrade& grade, double amount, const Image& hold,
                const RGBSpace* space)
{
    const GradeKernels::GradeUniforms u = GradeKernels::GradeUniforms::of(grade.scaled(amount));
    if (!space) {
        return applyKernel(
            picture.extent(),
            [u](RGB p, RGB m) { return GradeKernels::wearColour(p, GradeKernels::grade(p, {}, u) - p, m); },
            picture, hold);
    }
    const ConvertKernel toSRGB = toSRGBKernel(*space), fromSRGB = fromSRGBKernel(*space);
    return applyKernel(
        picture.extent(),
        [u, toSRGB, fromSRGB](RGB p, RGB m) {
            const RGB working = toSRGB(p);
            const RGB change = fromSRGB(GradeKernels::grade(working, {}, u)) - fromSRGB(working);
            return GradeKernels::wearColour(p, change, m);
        },
        picture, hold);
}

} // namespace oxel
