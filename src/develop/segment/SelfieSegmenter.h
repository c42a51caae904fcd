#pragma once

#include "develop/grade/PersonSegmenter.h"
#include "develop/segment/Network.h"
#include "platform/Decoded.h"

#include <memory>
#include <span>

namespace oxel {

// Person segmentation by the selfie segmentation model built into the program, run by our own
// interpreter: the picture is area-averaged to the model's 256 x 256 input, and the person
// probability of each cell becomes an 8-bit mask value, round(p x 255).
class SelfieSegmenter : public PersonSegmenter {
public:
    // The segmenter of the built-in model; the reason when it is missing or does not load.
    static Decoded<std::shared_ptr<const SelfieSegmenter>> standard();
    // The segmenter of a model's bytes.
    static Decoded<std::shared_ptr<const SelfieSegmenter>> fromModel(std::span<const uint8_t> model);

    // A 256 x 256 one-channel 8-bit mask for an RGBA8 (or RGBX8) sRGB picture of any size.
    std::optional<Bitmap> personMask(const Bitmap& picture) const override;

    // The person probability of every input cell for model input of RGB values in 0...1.
    std::vector<float> probabilities(std::span<const float> rgb) const { return network_.run(rgb); }
    const segment::Network& network() const { return network_; }

    explicit SelfieSegmenter(segment::Network network) : network_(std::move(network)) {}

private:
    segment::Network network_;
};

// Loads the built-in model and installs it as the process's person segmenter, at start-up. When
// it does not load, one line on standard error says why and skin hold finds skin by colour alone.
bool installSelfieSegmenter();

} // namespace oxel
