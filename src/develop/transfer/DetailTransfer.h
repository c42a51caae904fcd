#pragma once

#include "develop/colour/RGBSpace.h"
#include "develop/transfer/TransferLimits.h"
#include "develop/transfer/TransferPlan.h"
#include "imaging/ColourSpace.h"
#include "imaging/Image.h"
#include "imaging/RenderContext.h"

#include <cstdint>
#include <functional>
#include <optional>

namespace oxel {

// One original paired with one relit render in the original's document colour space. It checks
// that both show the same photograph, plans the transfer of the original's fine detail into the
// render's light, and combines a plan into a picture or into the images of a layered file.
// Immutable after construction; one transfer may serve several threads at once.
class DetailTransfer {
public:
    // Moves both pictures to the origin; a render of a document that isn't sRGB is converted from
    // sRGB into the document space. An unreadable document profile counts as sRGB.
    // `reducedOriginal`, when given, reads the same original through a cheaper reduced decode whose
    // longer side reaches the one asked: the scene check and the plans at a size it still covers
    // read it instead of the whole original.
    using ReducedDecodes = std::function<std::optional<Image>(int64_t minLongSide)>;
    DetailTransfer(Image original, Image render, ColourSpace documentSpace, TransferLimits limits = {},
                   ReducedDecodes reducedOriginal = {});

    const Image& original() const { return original_; }
    const Image& render() const { return render_; }
    const ColourSpace& documentSpace() const { return documentSpace_; }
    const RenderContext& context() const { return context_; }
    const TransferLimits& limits() const { return limits_; }
    bool documentIsSRGB() const { return documentIsSRGB_; }
    const RGBSpace& space() const { return space_; }

    // Plans a transfer: at the original's size when `upscale` allows it and the original is more
    // than 5 % wider than the render, else at the render's size. `refine` materialises the scaled
    // picture and the masks within memory limits. Declines a render of another scene.
    PlanResult plan(bool upscale, bool refine) const;
    // A plan for pictures drawn at `target`, a reduction of the render's size: the original and
    // the render shrunk to the target by area, every distance in pixels shrunk with them, and the
    // shrunk pictures and the masks materialised, so that it combines into what the plan at the
    // render's size gives shrunk. The scene is not measured again: `divergence` is what that plan found.
    TransferPlan reducedPlan(const Rect& target, float divergence) const;
    // The first of a plan's checks on its own, on small grids: why no plan would be made for this
    // render, when it is missing or shows another scene.
    std::optional<TransferDecline> sceneDecline() const;

    // The finished picture at `strength` (0...1; a plan that diverged too far is combined at 1).
    std::optional<Image> combine(const TransferPlan& plan, float strength) const;
    // What planning materialises for a target of `pixels`: the Lanczos-scaled picture up to
    // 52,428,800 pixels, the masks up to 104,857,600; nothing without `refine`.
    struct Materialising {
        bool scaledPicture = false;
        bool masks = false;
    };
    static Materialising materialising(int64_t pixels, bool refine);

    // The strength combine really uses, also the opacity of a layered file's "light" layer.
    float effectiveStrength(const TransferPlan& plan, float strength) const;

    // The images of the layered file; stacked they give what combine gives.
    static std::optional<Image> lightLayer(const TransferPlan& plan);
    static std::optional<Image> smoothMask(const TransferPlan& plan);
    static std::optional<Image> softMask(const TransferPlan& plan);
    static std::optional<Image> invertedSoftMask(const TransferPlan& plan);

    // The picture rendered in bands into a bitmap of the document space (8 or 16 bits), read back
    // as a recipe through the shared picture cache, which renders it again when it was let go;
    // nothing when the extent is under one pixel or the render fails.
    std::optional<Image> materialise(const Image& image, bool sixteenBit) const;
    // The share of the original's edges on which the render disagrees, on a 256 x 256 proxy.
    float divergence(const Image& confidence, const Rect& target) const;
    // Clamp, blur with standard deviation `radius`, crop to the picture's extent.
    static Image gaussianBlur(const Image& image, double radius);

private:
    Image inSRGB(const Image& image) const;
    // The reduced original when it covers `target` (or reaches `longSide`), else the whole one.
    Image originalFor(const Rect& target) const;
    Image originalAtLeast(int64_t longSide) const;
    std::optional<TransferDecline> measureScene(TransferPlan& plan) const;
    void makeWorkingPair(TransferPlan& plan, bool materialiseScaled) const;
    // `reach` scales every blur radius, for plans at a reduction of the render's size.
    void makeLowPass(TransferPlan& plan, double reach) const;
    void makeMasks(TransferPlan& plan, const Image& renderInSRGB, Materialising materialised, double reach) const;
    Image rawConfidence(const Image& originalInput, const Image& renderInput, const Rect& target, double reach) const;
    static std::optional<Image> softMask(const TransferPlan& plan, float invert);

    Image original_;
    ReducedDecodes reducedOriginal_;
    Image render_;
    Image sRGBRender_; // the render as delivered
    // The render in sRGB as the document space holds it: what the scene measures and the masks
    // compare. The delivered render itself when the document holds every sRGB colour.
    Image deliveredRender_;
    ColourSpace documentSpace_;
    RenderContext context_;
    TransferLimits limits_;
    bool documentIsSRGB_ = true;
    RGBSpace space_;
};

} // namespace oxel
