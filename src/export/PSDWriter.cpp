#include "export/PSDWriter.h"
#include "export/ExportOptions.h"

#include "export/OutputFile.h"
#include "export/PSDFormat.h"
#include "export/StagingArea.h"
#include "export/ZlibSink.h"
#include "platform/AtomicFile.h"

#include <cmath>
#include <map>

namespace oxel {

namespace {

constexpr uint16_t zipWithPrediction = 3;
constexpr int16_t userMaskId = -2;

uint8_t opacityByte(double opacity)
{
    const double scaled = std::round(opacity * 255.0);
    if (!(scaled > 0)) return 0;
    return scaled >= 255 ? 255 : uint8_t(scaled);
}

int totalStages(const std::vector<PSDLayer>& layers)
{
    int stages = 1;
    for (const PSDLayer& layer : layers) stages += layer.mask ? 2 : 1;
    return stages;
}

// "luni": the whole name as UTF-16 code units.
std::vector<uint16_t> utf16(std::string_view text)
{
    std::vector<uint16_t> units;
    for (size_t i = 0; i < text.size();) {
        const uint8_t lead = uint8_t(text[i]);
        const int extra = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : 0;
        uint32_t code = extra == 0 ? lead : lead & (0x3F >> extra);
        bool valid = lead < 0x80 || (lead >= 0xC2 && lead <= 0xF4);
        for (int k = 1; k <= extra; ++k) {
            const uint8_t next = i + k < text.size() ? uint8_t(text[i + k]) : 0;
            valid = valid && (next & 0xC0) == 0x80;
            code = (code << 6) | (next & 0x3F);
        }
        if (!valid) {
            units.push_back(0xFFFD);
            ++i;
            continue;
        }
        i += size_t(extra) + 1;
        if (code >= 0x10000) {
            code -= 0x10000;
            units.push_back(uint16_t(0xD800 + (code >> 10)));
            units.push_back(uint16_t(0xDC00 + (code & 0x3FF)));
        } else {
            units.push_back(uint16_t(code));
        }
    }
    return units;
}

void putLayerRecord(ByteWriter& out, const PSDWriter::StagedLayer& staged, int64_t width, int64_t height,
                    uint32_t layerId, bool psb)
{
    const PSDLayer& description = *staged.layer;
    out.putU32(0);
    out.putU32(0);
    out.putU32(uint32_t(height));
    out.putU32(uint32_t(width));
    out.putU16(uint16_t(staged.channels.size()));
    for (const auto& channel : staged.channels) {
        out.putU16(uint16_t(channel.id));
        out.putLength(channel.length + 2, psb);
    }
    out.append("8BIM");
    out.append(blendKey(description.blend));
    out.putU8(opacityByte(description.opacity));
    out.putU8(0);
    out.putU8(description.visible ? 8 : 10);
    out.putU8(0);

    ByteWriter extra;
    if (description.mask) {
        extra.putU32(20);
        extra.putU32(0);
        extra.putU32(0);
        extra.putU32(uint32_t(height));
        extra.putU32(uint32_t(width));
        extra.putU8(description.maskDefault);
        extra.putU8(0);
        extra.putU16(0);
    } else {
        extra.putU32(0);
    }
    extra.putU32(40);
    for (int i = 0; i < 10; ++i) extra.putU32(0x0000FFFF);
    extra.putPascal(description.name, 4);

    const auto units = utf16(description.name);
    ByteWriter unicodeName;
    unicodeName.putU32(uint32_t(units.size()));
    for (uint16_t unit : units) unicodeName.putU16(unit);
    unicodeName.pad(4);
    extra.append("8BIMluni");
    extra.putU32(uint32_t(unicodeName.size()));
    extra.append(unicodeName.bytes);

    extra.append("8BIMlyid");
    extra.putU32(4);
    extra.putU32(layerId);

    out.putU32(uint32_t(extra.size()));
    out.append(extra.bytes);
}

} // namespace

std::optional<PSDWriterError> PSDWriter::write(const std::vector<PSDLayer>& layers,
                                               const std::filesystem::path& destination, const Image& composite,
                                               bool layeredTIFF, const std::function<void(double)>& progress) const
{
    try {
        writeDocument(layers, destination, composite, layeredTIFF, progress);
        return std::nullopt;
    } catch (const PSDWriterError& error) {
        return error;
    } catch (const std::bad_alloc&) {
        return PSDWriterError::io("out of memory");
    } catch (const std::filesystem::filesystem_error& error) {
        return PSDWriterError::io(error.what());
    }
}

void PSDWriter::writeDocument(const std::vector<PSDLayer>& layers, const std::filesystem::path& destination,
                              const Image& composite, bool layeredTIFF,
                              const std::function<void(double)>& progress) const
{
    if (width < 1 || width > largestSide || height < 1 || height > largestSide) throw PSDWriterError::tooLarge();
    if (layers.size() > 32767) throw PSDWriterError::io("too many layers for one document");
    if (composite.isNull()) throw PSDWriterError::io("the composite has no picture");
    for (const PSDLayer& layer : layers)
        if (layer.image.isNull() || (layer.mask && layer.mask->isNull()))
            throw PSDWriterError::io("layer \"" + layer.name + "\" has no picture");

    prepareToWriteInto(destination.parent_path());
    StagingFolder folder(stagingRoot.empty() ? defaultStagingRoot() : stagingRoot);
    StagingProgress stages{progress, 0, totalStages(layers)};
    const auto staged = stageLayers(layers, folder.path(), stages);
    const Canvas canvas = this->canvas();
    const auto planes = stageComposite(composite, canvas, layeredTIFF, folder.path(), stages);
    if (progress) progress(0.95);

    if (layeredTIFF)
        writeTIFF(destination, layerInfo(staged, false), planes.front());
    else
        writePSD(destination, staged, planes);
    if (progress) progress(1.0);
}

Canvas PSDWriter::canvas() const
{
    // Rendering keeps no state, so a writer made without a context renders through a fresh one.
    static const RenderContext standalone;
    return Canvas{width, height, bandRows, context ? context : &standalone};
}

std::vector<PSDWriter::StagedLayer> PSDWriter::stageLayers(const std::vector<PSDLayer>& layers,
                                                           const std::filesystem::path& folder,
                                                           StagingProgress& progress) const
{
    const Canvas canvas = this->canvas();
    const auto stage = [&](const Image& image, const std::vector<int>& components,
                           const std::vector<std::string>& names) {
        std::vector<std::unique_ptr<ZlibSink>> sinks;
        std::vector<ZlibSink*> targets;
        for (const auto& name : names) {
            sinks.push_back(std::make_unique<ZlibSink>(folder / name));
            targets.push_back(sinks.back().get());
        }
        stageChannels(image, components, targets, canvas, progress);
        std::vector<std::pair<std::filesystem::path, uint64_t>> files;
        for (auto& sink : sinks) files.emplace_back(sink->path(), sink->finish());
        progress.stagesDone += 1;
        return files;
    };

    // Layers that share one picture (the light of an export, once masked each way) share its
    // staged colour channels: the streams would come out byte for byte the same.
    std::map<const ImageNode*, std::vector<StagedChannel>> stagedPictures;
    std::vector<StagedLayer> staged;
    for (size_t i = 0; i < layers.size(); ++i) {
        const PSDLayer& layer = layers[i];
        const std::string prefix = std::string("L").append(std::to_string(i));
        StagedLayer result{&layer, {}};
        const auto reused = stagedPictures.find(layer.image.node().get());
        if (reused != stagedPictures.end()) {
            result.channels = reused->second;
            progress.stagesDone += 1;
        } else {
            const auto colours = stage(layer.image, {0, 1, 2}, {prefix + "C0.z", prefix + "C1.z", prefix + "C2.z"});
            for (int16_t c = 0; c < 3; ++c)
                result.channels.push_back({c, colours[size_t(c)].first, colours[size_t(c)].second, zipWithPrediction});
            stagedPictures[layer.image.node().get()] = result.channels;
        }
        if (layer.mask) {
            const auto mask = stage(*layer.mask, {0}, {prefix + "M.z"});
            result.channels.push_back({userMaskId, mask[0].first, mask[0].second, zipWithPrediction});
        }
        staged.push_back(std::move(result));
    }
    return staged;
}

bool PSDWriter::needsPSB(const std::vector<StagedLayer>& layers) const
{
    if (needsLargeDocument(width, height)) return true;
    uint64_t total = 0;
    for (const auto& layer : layers)
        for (const auto& channel : layer.channels) total += channel.length + 2;
    return total > psdMaximumChannelBytes;
}

FileAssembly PSDWriter::layerInfo(const std::vector<StagedLayer>& layers, bool psb) const
{
    FileAssembly info;
    ByteWriter& records = info.bytes();
    records.putU16(uint16_t(layers.size()));
    for (size_t i = 0; i < layers.size(); ++i) putLayerRecord(records, layers[i], width, height, uint32_t(i + 1), psb);
    for (const auto& layer : layers)
        for (const auto& channel : layer.channels) {
            info.bytes().putU16(channel.compression);
            info.appendFile(channel.url, channel.length);
        }
    const uint64_t padding = (4 - info.length() % 4) % 4;
    info.bytes().putZeros(size_t(padding));
    return info;
}

std::array<uint8_t, 16> PSDWriter::resolutionResource() const
{
    return oxel::resolutionResource(dpi);
}

FileAssembly PSDWriter::documentHeader(bool psb) const
{
    FileAssembly header;
    putFileHeader(header.bytes(), psb, width, height, 16);
    putImageResources(header.bytes(), dpi, iccProfile);
    return header;
}

void PSDWriter::writePSD(const std::filesystem::path& destination, const std::vector<StagedLayer>& layers,
                         const std::vector<std::filesystem::path>& planes) const
{
    const bool psb = needsPSB(layers);
    FileAssembly file = documentHeader(psb);
    const FileAssembly info = layerInfo(layers, psb);
    const uint64_t lengthBytes = psb ? 8 : 4;
    ByteWriter& section = file.bytes();
    section.putLength(lengthBytes + 4 + 8 + lengthBytes + info.length(), psb);
    section.putLength(0, psb);
    section.putU32(0);
    section.append("8BIMLr16");
    section.putLength(info.length(), psb);
    file.append(info);

    file.bytes().putU16(0);
    const uint64_t planeBytes = uint64_t(width) * uint64_t(height) * 2;
    for (const auto& plane : planes) file.appendFile(plane, planeBytes);
    writeThroughTemporary(file, destination, layeredTemporarySuffix(ExportFormat::psd), beforeReplacing);
}

void writeThroughTemporary(const FileAssembly& assembly, const std::filesystem::path& destination,
                           const std::string& suffix,
                           const std::function<std::optional<std::string>()>& beforeReplacing)
{
    AtomicFileOptions options = hiddenTemporary(suffix);
    options.beforeReplacing = beforeReplacing;
    AtomicFile file(destination, std::move(options));
    if (!file.created()) throw PSDWriterError::io(file.failure());
    OutputFile out(file.path(), file.descriptor());
    assembly.writeTo(out);
    if (!file.commit()) throw PSDWriterError::io(file.failure());
}

} // namespace oxel
