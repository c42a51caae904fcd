#include "library/KeptResultFiles.h"

#include "develop/SourceImage.h"
#include "library/LibraryFiles.h"

#include <algorithm>
#include <exception>

namespace oxel {

std::optional<KeptResultFiles> KeptResultFiles::read(const ImageRecord& record,
                                                     const std::filesystem::path& imageFolder, int64_t originalWidth,
                                                     int64_t originalHeight)
{
    try {
        // A folder that is a link is not the library's own: the library never writes through one.
        if (!isPlainFolder(imageFolder)) return std::nullopt;
        if (!record.renderFile || !ImageRecord::isRenderFileName(*record.renderFile)) return std::nullopt;
        // The analysis first: it is small, and a render is decoded whole.
        auto analysis = KeptAnalysis::read(imageFolder);
        if (!analysis) return std::nullopt;
        const auto file = imageFolder / *record.renderFile;
        auto render = KeptPicture::read(file, sentLongSide(originalWidth, originalHeight), KeptDecode::whole);
        if (!render) return std::nullopt;
        return KeptResultFiles{file, std::move(*render), std::move(*analysis)};
    } catch (const std::exception&) {
        // A codec's own failure, or no memory for the picture.
        return std::nullopt;
    }
}

int64_t KeptResultFiles::sentLongSide(int64_t originalWidth, int64_t originalHeight)
{
    const auto [width, height] = SourceImage::previewSize(double(originalWidth), double(originalHeight));
    return int64_t(std::max(width, height));
}

} // namespace oxel
