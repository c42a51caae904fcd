#include "develop/segment/SelfieSegmenter.h"

#include "develop/segment/AreaAverage.h"
#include "develop/segment/EmbeddedModel.h"
#include "platform/Diagnostics.h"

#include <algorithm>
#include <cmath>

namespace oxel {
namespace {

constexpr int modelSide = 256;

bool isModelShape(const segment::Network& network)
{
    return network.inputShape() == segment::MapShape{modelSide, modelSide, 3} &&
           network.outputShape() == segment::MapShape{modelSide, modelSide, 1};
}

uint8_t maskValue(float probability)
{
    return uint8_t(std::lround(std::clamp(probability, 0.0f, 1.0f) * 255.0f));
}

} // namespace

Decoded<std::shared_ptr<const SelfieSegmenter>> SelfieSegmenter::standard()
{
    const auto model = embeddedSegmentationModel();
    if (model.empty()) return DecodingError{"", "no segmentation model was built in"};
    return fromModel(model);
}

Decoded<std::shared_ptr<const SelfieSegmenter>> SelfieSegmenter::fromModel(std::span<const uint8_t> model)
{
    auto network = segment::Network::load(model);
    if (!network) return network.error();
    if (!isModelShape(*network)) return DecodingError{"", "the model does not map 256 x 256 RGB to one mask"};
    return std::make_shared<const SelfieSegmenter>(std::move(*network));
}

std::optional<Bitmap> SelfieSegmenter::personMask(const Bitmap& picture) const
{
    auto rgb = segment::areaAverageRGB(picture, modelSide, modelSide);
    if (rgb.empty()) return std::nullopt;
    const std::vector<float> p = network_.run(rgb);
    if (p.size() != size_t(modelSide) * modelSide) return std::nullopt;
    auto mask = Bitmap::allocate(modelSide, modelSide, PixelFormat::Gray8);
    if (!mask) return std::nullopt;
    for (int y = 0; y < modelSide; ++y) {
        uint8_t* row = mask->mutableRow(y);
        for (int x = 0; x < modelSide; ++x) row[x] = maskValue(p[size_t(y) * modelSide + size_t(x)]);
    }
    return mask;
}

bool installSelfieSegmenter()
{
    auto segmenter = SelfieSegmenter::standard();
    if (!segmenter) {
        diagnose("segmentation",
                 "person segmentation is off, skin hold uses colour alone: " + segmenter.error().text());
        return false;
    }
    PersonSegmenter::install(*segmenter);
    return true;
}

} // namespace oxel
