#include "library/BatchItem.h"
#include "RecordSamples.h"
#include "backend/Utf8Text.h"

#include <gtest/gtest.h>

namespace oxel {
namespace {

using namespace samples;
using State = ImageRecord::State;

std::shared_ptr<BatchItem> itemWithSource()
{
    auto item = BatchItem::make(Uuid::random(), "/photos/a.jpg", Origin::opened, SourceImage{}, std::nullopt);
    item->original.emplace();
    item->original->path = "/photos/a.jpg";
    item->original->pixels = {4, 3};
    return item;
}

std::shared_ptr<const JobOutcome> anOutcome()
{
    return std::make_shared<JobOutcome>("job-1", Image(), DetailTransfer(Image(), Image(), SourceImage::sRGB()));
}

State storedState(const BatchItem& item)
{
    return item.record()->state;
}

TEST(BatchItemRecord, StateFollowsTheFirstRuleThatHolds)
{
    auto item = itemWithSource();
    EXPECT_EQ(storedState(*item), State::unprocessed);

    item->setPhase(phase::Queued{});
    EXPECT_EQ(storedState(*item), State::unprocessed) << "queued without a job id";

    item->setPhase(phase::Processing{"running", std::nullopt});
    item->setJobId("job-9");
    EXPECT_EQ(storedState(*item), State::developing);

    item->setPhase(phase::Failed{std::nullopt, "offline", true, false});
    item->setJobId(std::nullopt);
    EXPECT_EQ(storedState(*item), State::failed) << "failed without a job id";

    item->setResult(anOutcome());
    EXPECT_EQ(storedState(*item), State::done);

    auto colourOnly = itemWithSource();
    colourOnly->colourOnly = true;
    colourOnly->setPhase(phase::Uploading{});
    EXPECT_EQ(storedState(*colourOnly), State::done);
    EXPECT_EQ(colourOnly->record()->mode, ImageRecord::Mode::colour);
    EXPECT_EQ(item->record()->mode, std::nullopt) << "never written as light";
}

TEST(BatchItemRecord, AnItemWithoutItsOriginalHasNoRecord)
{
    auto item = itemWithSource();
    item->original.reset();
    EXPECT_FALSE(item->record());
}

TEST(BatchItemRecord, ApplyThenRecordGivesTheStoredRecordBack)
{
    ImageRecord stored = fullImageRecord();
    stored.state = State::done;
    auto item = BatchItem::make(stored.id, stored.original.path, Origin::handoff, std::nullopt, std::nullopt);
    std::vector<BatchItem::Field> fields;
    Connection connection = item->changed.connect([&](BatchItem::Field field) { fields.push_back(field); });
    item->apply(stored);

    EXPECT_EQ(item->record(), stored);
    EXPECT_TRUE(item->colourOnly);
    EXPECT_EQ(item->phase(), ItemPhase(phase::Ready{})) << "the caller picks the phase";
    using F = BatchItem::Field;
    EXPECT_EQ(fields, (std::vector<F>{F::addition, F::unlinkedNudge, F::strengthOffset, F::strengthTouched,
                                      F::colourOffset, F::colourTouched, F::useAlternative, F::jobId}));

    stored.mode = ImageRecord::Mode::light;
    item->apply(stored);
    EXPECT_FALSE(item->colourOnly);
}

TEST(BatchItemRecord, AJobStillDevelopingIsWrittenBackDevelopingUntilItIsCollected)
{
    // As image.json holds a job that was still running when the batch was left.
    ImageRecord stored = fullImageRecord();
    stored.state = State::developing;
    stored.renderFile.reset();
    stored.mode.reset();
    const auto bytes = stored.encode();
    ASSERT_TRUE(bytes);
    const auto read = ImageRecord::decode(*bytes);
    ASSERT_TRUE(read);

    // Reopened without anyone to poll the job, the item waits ready; saving keeps the job.
    auto item = BatchItem::make(read->id, read->original.path, Origin::opened, std::nullopt, std::nullopt);
    item->apply(*read);
    item->setPhase(phase::Ready{});
    item->setStrengthOffset(0.25);
    auto written = item->record();
    ASSERT_TRUE(written);
    EXPECT_EQ(written->state, State::developing);
    EXPECT_EQ(written->jobId, "job_7f3a");
    written->strengthOffset = stored.strengthOffset;
    EXPECT_EQ(written->encode().value(), *bytes) << "written as older readers know it";

    // Once a job id is given again (the runner took the job up), the phase decides once more.
    item->setJobId("job_7f3a");
    item->setPhase(phase::Failed{"content_policy", "not allowed", false, true});
    EXPECT_EQ(storedState(*item), State::failed);

    // A stored failure comes back ready with its job id but never as a job to collect.
    ImageRecord failed = *read;
    failed.state = State::failed;
    auto again = BatchItem::make(failed.id, failed.original.path, Origin::opened, std::nullopt, std::nullopt);
    again->apply(failed);
    again->setPhase(phase::Ready{});
    EXPECT_EQ(storedState(*again), State::unprocessed);
    EXPECT_EQ(again->record()->jobId, "job_7f3a");

    // Nor is a record that says developing but names no job.
    ImageRecord unnamed = *read;
    unnamed.jobId.reset();
    again->apply(unnamed);
    EXPECT_EQ(storedState(*again), State::unprocessed);
}

TEST(BatchItem, CanProcessOnlyWhenNothingIsDevelopedKeptOrUnderWay)
{
    auto item = itemWithSource();
    EXPECT_TRUE(item->canProcess());
    for (ItemPhase passing : {ItemPhase(phase::Done{}), ItemPhase(phase::Exported{}), ItemPhase(phase::Failed{})}) {
        item->setPhase(passing);
        EXPECT_TRUE(item->canProcess());
    }
    for (ItemPhase blocking :
         {ItemPhase(phase::Queued{}), ItemPhase(phase::Uploading{}), ItemPhase(phase::Processing{}),
          ItemPhase(phase::Finishing{}), ItemPhase(phase::Restoring{})}) {
        item->setPhase(blocking);
        EXPECT_FALSE(item->canProcess());
    }
    item->setPhase(phase::Ready{});

    item->renderFile = "render.jpg";
    EXPECT_FALSE(item->canProcess()) << "a kept render before its result is rebuilt";
    item->renderFile.reset();
    item->colourOnly = true;
    EXPECT_FALSE(item->canProcess());
    item->colourOnly = false;
    item->setSource(std::nullopt);
    EXPECT_FALSE(item->canProcess()) << "the original is not loaded";
    item->setSource(SourceImage{});
    item->setResult(anOutcome());
    EXPECT_FALSE(item->canProcess());
}

TEST(BatchItem, ChangedFiresOnceAfterTheValueIsStored)
{
    auto item = itemWithSource();
    std::vector<std::string> seen;
    Connection connection = item->changed.connect([&](BatchItem::Field field) {
        ASSERT_EQ(field, BatchItem::Field::note);
        seen.push_back(item->note().value_or("none"));
    });
    item->setNote("offline");
    EXPECT_EQ(seen, std::vector<std::string>{"offline"});
    item->original.reset(); // plain properties say nothing
    item->exports.push_back({});
    EXPECT_EQ(seen.size(), 1u);
}

TEST(ItemPhase, EqualityComparesTheWholePayload)
{
    const phase::Failed failed{"upstreamModel", "the model failed", true, false};
    phase::Failed spent = failed;
    spent.shotSpent = true;
    EXPECT_NE(ItemPhase(failed), ItemPhase(spent));
    phase::Failed uncoded = failed;
    uncoded.code.reset();
    EXPECT_NE(ItemPhase(failed), ItemPhase(uncoded));
    EXPECT_EQ(ItemPhase(uncoded), ItemPhase(uncoded));

    const JobNarration narration{std::vector<std::string>{"calm"}, std::nullopt, "warmer"};
    EXPECT_NE(ItemPhase(phase::Processing{"running", narration}), ItemPhase(phase::Processing{"running", {}}));
    EXPECT_EQ(ItemPhase(phase::Processing{"running", {}}), ItemPhase(phase::Processing{"running", {}}));
    JobNarration other = narration;
    other.direction = "cooler";
    EXPECT_NE(ItemPhase(phase::Processing{"running", narration}), ItemPhase(phase::Processing{"running", other}));
    EXPECT_NE(ItemPhase(phase::Done{}), ItemPhase(phase::Exported{}));
}

TEST(ItemPhase, InFlightMeansProcessingQueuedUploadingOrFinishing)
{
    EXPECT_TRUE(ItemPhase(phase::Processing{}).isInFlight());
    EXPECT_TRUE(ItemPhase(phase::Queued{}).isInFlight());
    EXPECT_TRUE(ItemPhase(phase::Uploading{}).isInFlight());
    EXPECT_TRUE(ItemPhase(phase::Finishing{}).isInFlight());
    for (ItemPhase still : {ItemPhase(phase::Ready{}), ItemPhase(phase::Done{}), ItemPhase(phase::Exported{}),
                            ItemPhase(phase::Restoring{}), ItemPhase(phase::Failed{})})
        EXPECT_FALSE(still.isInFlight());
}

// Nudges.

TEST(BatchItemNudge, ALinkedItemAddsItsWordsDirectlyAfterTheBatchNudge)
{
    auto item = itemWithSource();
    item->setNudge("soft light and warm", "soft light");
    EXPECT_EQ(item->addition(), " and warm");
    EXPECT_EQ(item->effectiveNudge("soft light"), "soft light and warm");
    EXPECT_EQ(item->effectiveNudge("hard light"), "hard light and warm") << "follows the batch nudge";
    EXPECT_EQ(item->effectiveNudge(""), " and warm");

    item->setNudge("soft lighter", "soft light");
    EXPECT_EQ(item->effectiveNudge("soft light"), "soft lighter") << "joined to the last word";

    item->setNudge("soft light", "soft light");
    EXPECT_EQ(item->addition(), "");
    EXPECT_FALSE(item->unlinkedNudge());
}

TEST(BatchItemNudge, ATextThatDoesNotBeginWithTheBatchNudgeUnlinks)
{
    auto item = itemWithSource();
    item->setAddition(" kept");
    item->setNudge("moody blue", "soft light");
    EXPECT_EQ(item->unlinkedNudge(), "moody blue");
    EXPECT_EQ(item->addition(), " kept");
    EXPECT_EQ(item->effectiveNudge("anything else"), "moody blue");
    item->setNudge("soft light too", "soft light");
    EXPECT_EQ(item->unlinkedNudge(), "soft light too") << "an unlinked item stays unlinked";

    item->setAddition("x");
    item->setNudge("y", "");
    EXPECT_EQ(item->unlinkedNudge(), "y");
}

TEST(BatchItemNudge, WithAnEmptyBatchNudgeTheTextIsTheAddition)
{
    auto item = itemWithSource();
    item->setNudge("anything", "");
    EXPECT_EQ(item->addition(), "anything");
    EXPECT_FALSE(item->unlinkedNudge());
}

TEST(BatchItemNudge, RelinkKeepsWhatFollowsTheBatchNudgeOrNothing)
{
    auto item = itemWithSource();
    item->relinkNudge("soft");
    EXPECT_FALSE(item->unlinkedNudge()) << "a linked item is left as it is";

    item->setUnlinkedNudge("soft light, grainy");
    item->relinkNudge("soft light");
    EXPECT_EQ(item->addition(), ", grainy");
    EXPECT_FALSE(item->unlinkedNudge());

    for (const char* global : {"hard light", ""}) {
        item->setUnlinkedNudge("soft light, grainy");
        item->relinkNudge(global);
        EXPECT_EQ(item->addition(), "");
        EXPECT_EQ(item->effectiveNudge(global), global);
    }
}

struct CharacterCut {
    const char* name;
    std::string global;
    std::string edited;
    std::optional<std::string> addition; // nothing: the item unlinks
};

class BatchItemNudgeCut : public testing::TestWithParam<CharacterCut> {};

TEST_P(BatchItemNudgeCut, ComparesAndCutsWholeCharacters)
{
    const auto& cut = GetParam();
    auto item = itemWithSource();
    item->setNudge(cut.edited, cut.global);
    if (cut.addition) {
        EXPECT_FALSE(item->unlinkedNudge());
        EXPECT_EQ(item->addition(), *cut.addition);
        EXPECT_EQ(item->effectiveNudge(cut.global), cut.edited);
    } else {
        EXPECT_EQ(item->unlinkedNudge(), cut.edited);
    }
}

INSTANTIATE_TEST_SUITE_P(Characters, BatchItemNudgeCut,
                         testing::Values(
                             // "e" followed by a combining acute accent is one character, not "e" and more.
                             CharacterCut{"CombiningMarkAfterThePrefix", "cafe", "cafe\u0301 noir", std::nullopt},
                             CharacterCut{"CombiningMarkInsideThePrefix", "cafe\u0301", "cafe\u0301 noir", " noir"},
                             CharacterCut{"SkinToneModifierAfterThePrefix", "wave \U0001F44B",
                                          "wave \U0001F44B\U0001F3FD hi", std::nullopt},
                             CharacterCut{"SkinToneModifierInsideThePrefix", "wave \U0001F44B\U0001F3FD",
                                          "wave \U0001F44B\U0001F3FD hi", " hi"},
                             // Two regional indicators make one flag; a third begins another.
                             CharacterCut{"HalfAFlag", "go \U0001F1EC", "go \U0001F1EC\U0001F1E7 now", std::nullopt},
                             CharacterCut{"WholeFlagThenAnother", "go \U0001F1EC\U0001F1E7",
                                          "go \U0001F1EC\U0001F1E7\U0001F1EB\U0001F1F7", "\U0001F1EB\U0001F1F7"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Utf8Characters, CountAndCutAgree)
{
    const std::string text = "a\u0301\U0001F44B\U0001F3FD\U0001F1EC\U0001F1E7z";
    EXPECT_EQ(characterCount(text), 4u);
    EXPECT_EQ(characterCount(""), 0u);
    for (size_t n = 0; n <= 5; ++n) EXPECT_EQ(firstCharacters(text, n) + afterFirstCharacters(text, n), text);
    EXPECT_EQ(afterFirstCharacters(text, 3), "z");
    EXPECT_EQ(afterFirstCharacters(text, 9), "");
}

} // namespace
} // namespace oxel
