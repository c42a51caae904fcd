#include "SuggestedGrade.h"

#include "GradeKernels.h"
#include "Stretch.h"

#include "imaging/Kernel.h"

namespace oxel {
Image SuggestedGrade::apply(const Image& image, double strength, const std::optional<Image>& mask) const
{
    const GradeKernels::GradeUniforms u = GradeKernels::GradeUniforms::of(scaled(strength));
    const Rect extent = image.extent();
    if (!isStretchable(mask)) {
        // No mask holds nothing off: every pixel takes the whole grade.
        return applyKernel(extent, [u](RGB s) { return GradeKernels::grade(s, RGB{0, 0, 0}, u); }, image);
    }
    const Image stretched = stretchedTo(*mask, extent).clampedToExtent();
    return applyKernel(extent, [u](RGB s, RGB m) { return GradeKernels::grade(s, m, u); }, image, stretched);
}

} // namespace oxel
