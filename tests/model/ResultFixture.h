#pragma once

#include "support/ModelFixture.h"

#include "platform/JsonFields.h"
#include "support/PictureFiles.h"

#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace oxel::testing {

// The model fixture with pictures that get developed: a grey one beside the colourful gradients,
// a run of "process" to its end, and the funnel events the local backend received.
class ResultTest : public ModelTest {
public:
    // A real JPEG without colour: a grey ramp, left to right.
    std::filesystem::path writeGreyJPEG(const std::filesystem::path& name, int width = 300, int height = 200)
    {
        test::JPEGOptions options;
        options.icc = test::iccProfile("sRGB");
        const auto path = folder / name;
        std::filesystem::create_directories(path.parent_path());
        auto ramp = [width](int x, int, int) { return 0.15 + 0.7 * x / std::max(1, width - 1); };
        test::writeFile(path, test::encodeJPEG(width, height, ramp, options));
        return path;
    }

    // Processes the batch and runs the loop until no item is in flight.
    void developAll()
    {
        model->process();
        runUntilOrStop([&] { return model->inFlightCount() == 0; }, "pictures still in flight");
    }

    // The funnel events of that name the local backend logged, oldest first; they travel on their
    // own, so this waits up to a second for `atLeast` of them.
    std::vector<nlohmann::json> funnelEvents(const std::string& name, size_t atLeast = 0)
    {
        std::vector<nlohmann::json> found;
        for (int attempt = 0; attempt < 100 && (attempt == 0 || found.size() < atLeast); ++attempt) {
            if (attempt > 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
            found.clear();
            for (const auto& event : backend.state().funnelEvents())
                if (event.value("event", "") == name) found.push_back(event);
        }
        return found;
    }
};

} // namespace oxel::testing
