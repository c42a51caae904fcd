#pragma once

#include "develop/grade/SuggestedGrade.h"

#include "imaging/Image.h"

#include <optional>

namespace oxel {

class PersonSegmenter;
class RenderContext;
struct RGBSpace;

// A result's grades and skin mask: the analysis's grade, the runner-up grade when the analysis
// names another valid house look, and the mask of skin that the grade holds off. Whoever builds a
// result sets the three fields; readers never change them.
struct GradeLooks {
    SuggestedGrade chosen;
    std::optional<SuggestedGrade> alternative;
    // White on skin, black elsewhere, blurred; at most 1024 pixels on its long edge, at the origin.
    std::optional<Image> mask;

    // The grade a picture wears: the runner-up when it is asked for and there is one, else the chosen.
    const SuggestedGrade& grade(bool alternative) const;

    // The skin mask of a picture: skin-coloured pixels, narrowed to people when the installed
    // person segmenter finds them; held by the shared picture cache, which renders it again when
    // it was let go. Nothing when the picture is empty or the mask can't be rendered.
    static std::optional<Image> skinMask(const Image& picture, const RenderContext& context);
    // The same with a given segmenter (none: colour alone). The segmenter sees sRGB: a picture in
    // another document space is converted for it first.
    static std::optional<Image> skinMask(const Image& picture, const RenderContext& context,
                                         const PersonSegmenter* segmenter, const RGBSpace* documentSpace = nullptr);
    // The skin mask as `skinMask` makes it with the installed segmenter, made only when a render
    // first reads it, for results whose pictures may never be made again; one that cannot be
    // made reads as black, holding nothing. Nothing for an empty picture.
    static std::optional<Image> skinMaskWhenRead(const Image& picture, const RenderContext& context);
};

} // namespace oxel
