#include "export/ChannelStaging.h"

#include "async/SerialQueue.h"
#include "export/OutputFile.h"
#include "export/ZlibSink.h"

#include <memory>
#include <semaphore>
#include <string>

namespace oxel {

void StagingProgress::report(double fraction) const
{
    if (callback) callback((stagesDone + fraction) / totalStages * 0.9);
}

void FailureBox::keep(PSDWriterError error)
{
    std::lock_guard guard(lock_);
    if (!stored_) stored_ = std::move(error);
}

std::optional<PSDWriterError> FailureBox::stored() const
{
    std::lock_guard guard(lock_);
    return stored_;
}

void renderBand(const Image& image, const Canvas& canvas, int64_t y, int64_t rows, uint16_t* out)
{
    canvas.context->renderRGBA16(image, PixelRect{0, y, canvas.width, rows}, out, size_t(canvas.width) * 8);
}

void deltaCodeBand(const uint16_t* band, int64_t width, int64_t rows, int component, uint8_t* out)
{
    for (int64_t row = 0; row < rows; ++row) {
        const uint16_t* sample = band + row * width * 4 + component;
        uint16_t previous = 0;
        for (int64_t x = 0; x < width; ++x, sample += 4) {
            const uint16_t difference = uint16_t(*sample - previous);
            *out++ = uint8_t(difference >> 8);
            *out++ = uint8_t(difference);
            previous = *sample;
        }
    }
}

namespace {

// A rendered band, shared read-only by the jobs of every channel. Band buffers are written whole
// before they are read, so they are never cleared first.
using Band = std::shared_ptr<const uint16_t[]>;

void encodeBand(const Band& band, const Canvas& canvas, int64_t rows, int component, ZlibSink& sink,
                FailureBox& failure)
{
    if (failure.stored()) return;
    try {
        const size_t count = size_t(canvas.width * rows * 2);
        const auto coded = std::make_unique_for_overwrite<uint8_t[]>(count);
        deltaCodeBand(band.get(), canvas.width, rows, component, coded.get());
        sink.write(coded.get(), count);
    } catch (const PSDWriterError& error) {
        failure.keep(error);
    } catch (const std::bad_alloc&) {
        failure.keep(PSDWriterError::io("out of memory while compressing a channel"));
    }
}

} // namespace

void stageChannels(const Image& image, const std::vector<int>& components, const std::vector<ZlibSink*>& sinks,
                   const Canvas& canvas, const StagingProgress& progress)
{
    const size_t channelCount = sinks.size();
    std::counting_semaphore<> unfinished(std::ptrdiff_t(4 * channelCount));
    FailureBox failure;
    // Declared after what the jobs use, so that on any way out the queues finish their jobs first.
    std::vector<std::unique_ptr<SerialQueue>> queues;
    for (size_t n = 0; n < channelCount; ++n)
        queues.push_back(std::make_unique<SerialQueue>("oxel pro.psd.channel." + std::to_string(n)));
    const auto waitForJobs = [&] {
        for (auto& queue : queues) queue->wait();
    };

    for (int64_t y = 0; y < canvas.height;) {
        const int64_t rows = std::min<int64_t>(canvas.height - y, canvas.bandHeight());
        auto pixels = std::make_shared_for_overwrite<uint16_t[]>(size_t(canvas.width * rows * 4));
        renderBand(image, canvas, y, rows, pixels.get());
        if (failure.stored()) break;
        const Band band = std::move(pixels);
        for (size_t n = 0; n < channelCount; ++n) {
            unfinished.acquire();
            queues[n]->async([&, band, rows, n] {
                encodeBand(band, canvas, rows, components[n], *sinks[n], failure);
                unfinished.release();
            });
        }
        y += rows;
        progress.report(double(y) / double(canvas.height));
    }
    // Jobs hold the sinks and the failure box by reference: none may outlive this call, even
    // when a job has failed.
    waitForJobs();
    if (auto error = failure.stored()) throw *error;
}

std::vector<std::filesystem::path> stageComposite(const Image& image, const Canvas& canvas, bool interleaved,
                                                  const std::filesystem::path& folder, const StagingProgress& progress)
{
    std::vector<std::filesystem::path> paths;
    if (interleaved)
        paths.push_back(folder / "comp.rgb");
    else
        for (int c = 0; c < 3; ++c) paths.push_back(folder / ("comp" + std::to_string(c) + ".raw"));
    std::vector<std::unique_ptr<OutputFile>> files;
    for (const auto& path : paths) files.push_back(std::make_unique<OutputFile>(path));

    const size_t bandSamples = size_t(canvas.width) * size_t(canvas.bandHeight());
    std::vector<uint16_t> band(bandSamples * 4);
    std::vector<uint8_t> bytes(bandSamples * 6);
    for (int64_t y = 0; y < canvas.height;) {
        const int64_t rows = std::min<int64_t>(canvas.height - y, canvas.bandHeight());
        const size_t samples = size_t(canvas.width * rows);
        renderBand(image, canvas, y, rows, band.data());
        if (interleaved) {
            uint8_t* out = bytes.data();
            for (size_t i = 0; i < samples; ++i)
                for (int c = 0; c < 3; ++c) {
                    *out++ = uint8_t(band[i * 4 + c] >> 8);
                    *out++ = uint8_t(band[i * 4 + c]);
                }
            files[0]->write(bytes.data(), samples * 6);
        } else {
            for (int c = 0; c < 3; ++c) {
                uint8_t* out = bytes.data();
                for (size_t i = 0; i < samples; ++i) {
                    *out++ = uint8_t(band[i * 4 + c] >> 8);
                    *out++ = uint8_t(band[i * 4 + c]);
                }
                files[c]->write(bytes.data(), samples * 2);
            }
        }
        y += rows;
        progress.report(double(y) / double(canvas.height));
    }
    for (auto& file : files) file->close();
    return paths;
}

} // namespace oxel
