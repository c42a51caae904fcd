#include "export/LayeredTestSupport.h"

#include "export/PSDWriter.h"

#include "develop/transfer/DetailTransfer.h"
#include "imaging/Kernel.h"

#include <nlohmann/json.hpp>

#include <cmath>

namespace oxel {
namespace {

using layeredtest::run;
using layeredtest::ScratchFolder;

// A photograph-like original: soft light, a few hard edges and fine texture.
Image original(int64_t width, int64_t height)
{
    return layeredtest::pictureOf(width, height, [](int64_t x, int64_t y, int c) {
        const double light = 0.25 + 0.5 * double(x + y) / 300.0;
        const double edge = ((x / 23 + y / 17) % 2) ? 0.15 : 0.0;
        const double texture = 0.04 * std::sin(double(x) * 1.7 + double(y) * 0.9 + c);
        return uint16_t(std::clamp(light + edge + texture - 0.05 * c, 0.0, 1.0) * 65535.0 + 0.5);
    });
}

// The same scene relit: brighter on the left, warmer, and softer, at half the size.
Image relit(const Image& original)
{
    const Rect extent = original.extent();
    const Image lit = applyKernel(
        extent,
        [](RGB p) {
            return RGB{p.r * 1.25f + 0.04f, p.g * 1.1f + 0.02f, p.b * 0.9f};
        },
        original);
    return lit.scaled(0.5, 0.5);
}

TEST(LayerStack, StackingTheLayersOfAnExportGivesItsCompositeWithinTwoSteps)
{
    ScratchFolder folder;
    const int64_t width = 180, height = 120;
    const Image picture = original(width, height);
    const DetailTransfer transfer(picture, relit(picture), ColourSpace::sRGB());
    const auto planned = transfer.plan(true, true);
    ASSERT_TRUE(planned) << (planned.decline ? planned.decline->description() : "");
    const TransferPlan& plan = *planned.plan;
    // 0.6 x 255 = 153: an opacity the layer record holds exactly.
    const float strength = transfer.effectiveStrength(plan, 0.6f);
    ASSERT_FLOAT_EQ(strength, 0.6f);

    const auto light = DetailTransfer::lightLayer(plan);
    std::vector<PSDLayer> layers = {
        {"original", PSDBlend::normal, 1.0, true, plan.src, std::nullopt, 255},
        {"smooth", PSDBlend::normal, 1.0, true, plan.originalLow, DetailTransfer::smoothMask(plan), 255},
        {"light (moved)", PSDBlend::linearLight, 1.0, true, *light, DetailTransfer::invertedSoftMask(plan), 255},
        {"light", PSDBlend::linearLight, strength, true, *light, DetailTransfer::softMask(plan), 255},
    };
    PSDWriter writer;
    writer.width = width;
    writer.height = height;
    writer.context = &transfer.context();
    const auto path = folder / "stack.psd";
    ASSERT_FALSE(writer.write(layers, path, *transfer.combine(plan, strength), false));

    int status = 0;
    const auto output =
        run("/usr/bin/python3 " + layeredtest::dataFile("recomposite.py") + " '" + path.string() + "'", &status);
    ASSERT_EQ(status, 0) << output;
    const auto steps = nlohmann::json::parse(output);
    // Every layer and mask is rounded to 16 bits on its own, and linear light doubles the light
    // layer's rounding; the stacked rounding errors stay within two steps.
    EXPECT_LE(steps["max"].get<double>(), 2.0) << output;
    std::cerr << "[layer-stack] " << output;
}

} // namespace
} // namespace oxel
