#pragma once

#include "export/PSDWriterError.h"

#include "imaging/Image.h"
#include "imaging/RenderContext.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

namespace oxel {

class ZlibSink;

// Where one staging run stands within the whole write: reports ((done + fraction) / total) x 0.9.
struct StagingProgress {
    std::function<void(double)> callback;
    int stagesDone = 0;
    int totalStages = 1;

    void report(double fraction) const;
};

// The first error raised by any band job of one staging run; later ones are dropped.
class FailureBox {
public:
    void keep(PSDWriterError error);
    std::optional<PSDWriterError> stored() const;

private:
    mutable std::mutex lock_;
    std::optional<PSDWriterError> stored_;
};

// What a band of a picture looks like to the stages: rows top to bottom, RGBA 16 bits a sample.
struct Canvas {
    int64_t width = 0;
    int64_t height = 0;
    int bandRows = 128;
    const RenderContext* context = nullptr;

    // Rows a band: never fewer than one, so that every band moves on.
    int64_t bandHeight() const { return bandRows > 0 ? bandRows : 1; }
};

// Renders canvas rows y ..< y + rows of `image` as RGBA16, `width` x 4 samples a row.
void renderBand(const Image& image, const Canvas& canvas, int64_t y, int64_t rows, uint16_t* out);

// One channel's band as per-row differences: each row starts from 0 and every sample is stored as
// (sample - previous) mod 65536, big-endian; `out` takes width x rows x 2 bytes.
void deltaCodeBand(const uint16_t* band, int64_t width, int64_t rows, int component, uint8_t* out);

// Renders `image` in bands and streams component components[n] of every band, delta-coded, into
// sinks[n]. Each channel compresses on a serial queue of its own, so its bands arrive in order
// while channels run side by side; at most four times as many band jobs as channels are unfinished
// at once, which bounds the band copies alive.
// Returns once every job has finished; throws the first error any job raised. Does not finish
// the sinks.
void stageChannels(const Image& image, const std::vector<int>& components, const std::vector<ZlibSink*>& sinks,
                   const Canvas& canvas, const StagingProgress& progress);

// Stages the flat composite uncompressed: three plane files (red, green, blue samples, 16-bit
// big-endian) for a Photoshop document, or one file of interleaved RGB samples for a TIFF.
std::vector<std::filesystem::path> stageComposite(const Image& image, const Canvas& canvas, bool interleaved,
                                                  const std::filesystem::path& folder, const StagingProgress& progress);

} // namespace oxel
