// Our own readers of an original's first bytes: the file-type table (with the raw-file directory
// walk), the JPEG header segments and what is read from them, Photoshop image resources, IPTC
// datasets, a PNG's raw profiles, and the ICC profile description, and the turns a HEIF container
// gives its items.

#include "develop/SourceImage.h"
#include "develop/codecs/FileType.h"
#include "develop/codecs/HEIFTransforms.h"
#include "develop/codecs/IptcDatasets.h"
#include "develop/codecs/JPEGStructure.h"
#include "develop/codecs/PNGRawProfile.h"
#include "develop/codecs/PhotoshopResources.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::span<const uint8_t> bytes(data, size);
    (void)oxel::fileTypeOf(bytes);
    if (const auto segments = oxel::jpegSegments(bytes)) {
        (void)oxel::jpegFrame(*segments);
        (void)oxel::jpegICCProfile(*segments);
        (void)oxel::jpegXmpPacket(*segments);
        for (const auto& segment : *segments)
            if (segment.payload.data() < data || segment.payload.data() + segment.payload.size() > data + size)
                __builtin_trap();
    }
    for (const auto& resource : oxel::photoshopResources(bytes)) {
        if (resource.data.data() < data || resource.data.data() + resource.data.size() > data + size) __builtin_trap();
        if (resource.id == oxel::photoshopResourceID::resolution) (void)oxel::photoshopResolution(resource.data);
    }
    for (const auto& dataset : oxel::iptcDatasets(bytes))
        if (dataset.data.data() < data || dataset.data.data() + dataset.data.size() > data + size) __builtin_trap();
    (void)oxel::png::rawProfiles(bytes, "iptc");
    (void)oxel::SourceImage::iccDescription(bytes);
    for (uint32_t item = 0; item < 4; ++item) (void)oxel::heifItemTransforms(bytes, item);
    return 0;
}
