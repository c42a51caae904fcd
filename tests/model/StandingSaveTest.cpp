#include "support/ModelFixture.h"

#include "platform/SettingsStore.h"

namespace oxel::testing {
namespace {

using namespace std::chrono_literals;

// The standing look as the settings file holds it, read by a store of its own.
class StandingSaveTest : public ModelTest {
protected:
    void SetUp() override
    {
        defaults().set("resetSettingsEachBatch", false);
        makeModel();
    }
    std::optional<double> lightOnDisk() const
    {
        return SettingsStore(SettingsStore::shared().file()).doubleValue("standingLight");
    }
};

TEST_F(StandingSaveTest, ADragIsReadAtOnceAndWrittenOnceTheControlRests)
{
    for (int step = 1; step <= 60; ++step) {
        model->setGlobalStrength(1.0 - step * 0.01);
        model->saveStanding();
        loop.advance(16ms);
    }
    EXPECT_DOUBLE_EQ(*defaults().doubleValue("standingLight"), 0.4);
    EXPECT_FALSE(lightOnDisk());
    loop.advance(AppModel::standingSaveDelay - 17ms);
    EXPECT_FALSE(lightOnDisk());
    loop.advance(1ms);
    EXPECT_DOUBLE_EQ(*lightOnDisk(), 0.4);
}

TEST_F(StandingSaveTest, ASaveANewBatchAndTheModelsEndWriteItAtOnce)
{
    model->setGlobalStrength(0.3);
    model->saveStanding();
    model->saveNow();
    EXPECT_DOUBLE_EQ(*lightOnDisk(), 0.3);

    model->setGlobalStrength(0.5);
    model->saveStanding();
    model->newBatch();
    EXPECT_DOUBLE_EQ(*lightOnDisk(), 0.5);

    model->setGlobalStrength(0.6);
    model->saveStanding();
    model.reset();
    EXPECT_DOUBLE_EQ(*lightOnDisk(), 0.6);
}

} // namespace
} // namespace oxel::testing
