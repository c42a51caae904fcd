// Submit, poll, collect and decode one result against the local backend with its delays off.
#include "backend/BackendBaseURL.h"
#include "backend/JobEndpoints.h"
#include "backend/ResultWire.h"
#include "localbackend/LocalBackend.h"
#include "localbackend/LocalRelight.h"
#include "platform/SettingsStore.h"

#include <benchmark/benchmark.h>
#include <turbojpeg.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <thread>

namespace {

using namespace oxel;

// The job runner's polling interval.
constexpr auto pollInterval = std::chrono::seconds(3);

// A 2048 × 1365 photograph-like picture: smooth light with fine noise, so the JPEG is of a
// realistic size.
std::string photographJPEG()
{
    local::RgbPicture picture{2048, 1365, {}};
    picture.pixels.resize(size_t(picture.width) * picture.height * 3);
    std::mt19937 noise(7);
    std::uniform_int_distribution<int> grain(-12, 12);
    for (int y = 0; y < picture.height; ++y) {
        for (int x = 0; x < picture.width; ++x) {
            double light = 0.5 + 0.4 * std::sin(x * 0.004) * std::cos(y * 0.005);
            uint8_t* p = &picture.pixels[(size_t(y) * picture.width + x) * 3];
            p[0] = uint8_t(std::clamp(int(light * 230) + grain(noise), 0, 255));
            p[1] = uint8_t(std::clamp(int(light * 190) + grain(noise), 0, 255));
            p[2] = uint8_t(std::clamp(int(light * 150) + grain(noise), 0, 255));
        }
    }
    return local::encodeJPEG(picture, 92);
}

// The result decoded at full size with the decoder's default (accurate) transform.
std::vector<uint8_t> decodedRGB(const std::string& jpeg)
{
    tjhandle decoder = tjInitDecompress();
    int width = 0, height = 0, subsampling = 0, colourspace = 0;
    auto* bytes = reinterpret_cast<const unsigned char*>(jpeg.data());
    std::vector<uint8_t> pixels;
    if (tjDecompressHeader3(decoder, bytes, jpeg.size(), &width, &height, &subsampling, &colourspace) == 0) {
        pixels.resize(size_t(width) * height * 3);
        tjDecompress2(decoder, bytes, jpeg.size(), pixels.data(), width, 0, height, TJPF_RGB, 0);
    }
    tjDestroy(decoder);
    return pixels;
}

struct BenchBackend {
    std::filesystem::path configHome;
    std::unique_ptr<local::LocalBackend> backend;
    std::string userId;

    BenchBackend()
    {
        configHome = std::filesystem::temp_directory_path() / ("oxel-bench-" + std::to_string(getpid()));
        std::filesystem::create_directories(configHome);
        setenv("XDG_CONFIG_HOME", configHome.c_str(), 1);
        local::LocalBackend::Options options;
        options.instant = true;
        backend = std::make_unique<local::LocalBackend>(options);
        if (!backend->start()) std::abort();
        overrideBackendBaseURL(backend->baseURL());
        auto account = backend->state().signIn("apple", "bench");
        backend->state().setBalance(account.userId, 1'000'000);
        userId = std::to_string(account.userId);
        SettingsStore::shared().set("userId", userId);
        SettingsStore::shared().set("accountToken", account.token);
    }

    ~BenchBackend()
    {
        backend.reset();
        std::filesystem::remove_all(configHome);
    }
};

void BM_SubmitPollCollect(benchmark::State& state)
{
    static BenchBackend bench;
    static const std::string jpeg = photographJPEG();
    for (auto _ : state) {
        auto jobId = submitJob(jpeg, bench.userId, std::nullopt, std::nullopt, false);
        if (!jobId) {
            state.SkipWithError(describe(jobId.failure()).c_str());
            break;
        }
        while (true) {
            auto status = jobStatus(*jobId);
            if (!status) {
                state.SkipWithError(describe(status.failure()).c_str());
                return;
            }
            if (status->status == "succeeded") break;
            std::this_thread::sleep_for(pollInterval);
        }
        auto result = jobResult(*jobId);
        if (!result) {
            state.SkipWithError(describe(result.failure()).c_str());
            break;
        }
        auto wire = ResultWire::from(result->response);
        benchmark::DoNotOptimize(decodedRGB(wire.fullSend.value_or("")));
    }
    state.counters["upload_MB"] = double(jpeg.size()) / 1e6;
}
BENCHMARK(BM_SubmitPollCollect)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
