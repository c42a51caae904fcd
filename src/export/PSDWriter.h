#pragma once

#include "export/ChannelStaging.h"
#include "export/FileAssembly.h"
#include "export/PSDLayer.h"
#include "export/PSDWriterError.h"

#include "imaging/ColourSpace.h"
#include "imaging/Image.h"
#include "imaging/RenderContext.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace oxel {

// Writes a list of layers and their flat composite as one 16-bit RGB layered file: a Photoshop
// document (PSB when the canvas or the layer data outgrow a PSD), or a TIFF whose image is the
// composite and whose Photoshop data block carries the same layers. No channel is ever held
// whole in memory: pictures render in bands, channels compress into staged files, and the
// output is streamed together behind a header whose lengths are all known in advance.
class PSDWriter {
public:
    int64_t width = 0;
    int64_t height = 0;
    ColourSpace colorSpace;
    std::optional<std::vector<uint8_t>> iccProfile;
    double dpi = 72;
    // The context that renders every band; a fresh one when none is given.
    const RenderContext* context = nullptr;
    // Rows a band; at least 1 is used.
    int bandRows = 128;
    // Where channels are staged on their way into the file; the cache folder's staging area when
    // empty.
    std::filesystem::path stagingRoot;
    // Asked just before the file replaces what is at its destination; a reason refuses it.
    std::function<std::optional<std::string>()> beforeReplacing;

    static constexpr uint64_t psdMaximumChannelBytes = 1'900'000'000;

    struct StagedChannel {
        int16_t id = 0;
        std::filesystem::path url;
        uint64_t length = 0;
        uint16_t compression = 3;
    };
    struct StagedLayer {
        const PSDLayer* layer = nullptr;
        std::vector<StagedChannel> channels;
    };

    // Writes `layers` (bottom first) and `composite` to `destination`, replacing what is there, or
    // returns why it could not; a failed write leaves the destination as it was and no temporary
    // file behind. Progress (0...1) is reported on the calling thread.
    std::optional<PSDWriterError> write(const std::vector<PSDLayer>& layers, const std::filesystem::path& destination,
                                        const Image& composite, bool layeredTIFF,
                                        const std::function<void(double)>& progress = {}) const;

    // Resolution resource: dpi as 16.16 fixed point, pixels per inch, in both directions.
    std::array<uint8_t, 16> resolutionResource() const;

    // The layer data: count, records, then every channel's compression and stream, padded to 4.
    FileAssembly layerInfo(const std::vector<StagedLayer>& layers, bool psb) const;
    // Whether these channels make the file a large document.
    bool needsPSB(const std::vector<StagedLayer>& layers) const;

private:
    Canvas canvas() const;
    void writeDocument(const std::vector<PSDLayer>& layers, const std::filesystem::path& destination,
                       const Image& composite, bool layeredTIFF, const std::function<void(double)>& progress) const;
    std::vector<StagedLayer> stageLayers(const std::vector<PSDLayer>& layers, const std::filesystem::path& folder,
                                         StagingProgress& progress) const;
    FileAssembly documentHeader(bool psb) const;
    void writePSD(const std::filesystem::path& destination, const std::vector<StagedLayer>& layers,
                  const std::vector<std::filesystem::path>& planes) const;
    void writeTIFF(const std::filesystem::path& destination, const FileAssembly& layerInfo,
                   const std::filesystem::path& composite) const;
};

// Writes `assembly` to a new temporary file beside `destination` (named ".oxel-xxxxxxxx" +
// `suffix`) and moves it into place; the temporary file is removed when anything fails, a throw
// included.
void writeThroughTemporary(const FileAssembly& assembly, const std::filesystem::path& destination,
                           const std::string& suffix,
                           const std::function<std::optional<std::string>()>& beforeReplacing = {});

} // namespace oxel
