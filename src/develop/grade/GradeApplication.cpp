#include "develop/grade/SuggestedGrade.h"

#include "develop/grade/GradeKernels.h"
#include "develop/grade/Stretch.h"

#include "imaging/Kernel.h"

namespace oxel {
Image SuggestedGrade::apply(const Image& image, double strength, const std::optional<Image>& mask) const
{
    const GradeKernels::GradeUniforms u = GradeKernels::GradeUniforms::of(scaled(strength));
    const Rect extent = image.extent();
    if (!isStretchable(mask)) {
        // No mask holds nothing off: every pixel takes the whole grade.
        SpanKernel span = [u](const RGB* const* in, RGB* out, size_t count) {
            GradeKernels::gradeSpan(in[0], nullptr, out, count, u);
        };
        return applySpanKernel(extent, std::move(span), {image});
    }
    SpanKernel span = [u](const RGB* const* in, RGB* out, size_t count) {
        GradeKernels::gradeSpan(in[0], in[1], out, count, u);
    };
    return applySpanKernel(extent, std::move(span), {image, stretchedTo(*mask, extent).clampedToExtent()});
}

} // namespace oxel
