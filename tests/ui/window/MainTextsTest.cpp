// The texts of the main window's bars and empty state, from the counts the model publishes.
#include "ui/window/MainTexts.h"

#include <gtest/gtest.h>

using namespace oxel;
using namespace oxel::maintexts;
using namespace std::chrono_literals;

namespace {

// 12:00 UTC on a given day of 2026.
Date day(int yearDay)
{
    return Date{} + std::chrono::days(20454 + yearDay) + 12h;
}

BatchRecord record(std::string name, size_t images)
{
    BatchRecord batch;
    batch.name = std::move(name);
    batch.createdAt = day(31); // 1 feb 2026
    batch.images.resize(images);
    return batch;
}

} // namespace

TEST(MainTextsTest, StatusLineOnInputAndResults)
{
    StatusFacts input{.items = 5, .toProcess = 5, .balance = 12};
    EXPECT_EQ(statusText(input), "5 images · 5 shots · 7 left after");
    EXPECT_EQ(statusText({.items = 1, .toProcess = 1}), "1 image · 1 shot");
    EXPECT_EQ(statusText({.items = 3, .toProcess = 0, .balance = 0}), "3 images · 0 shots · 0 left after");
    // Fewer shots than pictures: nothing negative is left after.
    EXPECT_EQ(statusText({.items = 9, .toProcess = 9, .balance = 2}), "9 images · 9 shots · 0 left after");
    // Colour only drops the shots and the roll.
    EXPECT_EQ(
        statusText({.items = 4, .toProcess = 4, .colourOnlyInForce = true, .colourOnlyCandidates = 4, .balance = 12}),
        "4 images · 4 to grade on this computer · no shots");

    EXPECT_EQ(statusText({.resultsScreen = true, .items = 6, .withResult = 4, .inFlight = 2}),
              "4 of 6 back · 2 developing · hold space to compare");
    EXPECT_EQ(statusText({.resultsScreen = true, .items = 2, .failed = 1}), "0 of 2 back · 1 failed");
    // Colour only in force says nothing different on the results screen.
    EXPECT_EQ(statusText({.resultsScreen = true, .items = 2, .withResult = 2, .colourOnlyInForce = true}),
              "2 of 2 back · hold space to compare");

    // The model's own line hides every summary until it is cleared.
    input.statusLine = "could not read that batch";
    EXPECT_EQ(statusText(input), "could not read that batch");
    // A backend that stopped answering comes first, and only while it does.
    input.unreachable = true;
    EXPECT_EQ(statusText(input), "can't reach oxel · still trying");
}

TEST(MainTextsTest, BatchLineShotsAndResumeDetail)
{
    EXPECT_EQ(batchLine(std::nullopt, std::nullopt, 0, 0), "");
    EXPECT_EQ(batchLine(std::nullopt, "from shotwell", 1, 0), "from shotwell · 1 image");
    BatchRecord named = record("harbour at dusk", 12);
    EXPECT_EQ(batchLine(named, "from shotwell", 12, 4), "harbour at dusk · 1 feb 2026 · 12 images · 4 back");
    named.captured = CaptureSpan{day(31), day(33)};
    EXPECT_EQ(batchLine(named, std::nullopt, 1, 0), "harbour at dusk · 1 to 3 feb 2026 · 1 image");

    EXPECT_EQ(shotsLabel(std::nullopt), "…");
    EXPECT_EQ(shotsLabel(0), "0 shots in the roll");
    EXPECT_EQ(shotsLabel(1), "1 shot in the roll");
    EXPECT_EQ(shotsLabel(1500), "1500 shots in the roll");

    EXPECT_EQ(resumeDetail(record("one", 1)), "· 1 feb 2026 · 1 image");
    EXPECT_EQ(resumeDetail(record("none", 0)), "· 1 feb 2026 · 0 images");
    EXPECT_EQ(counted(2, "image"), "2 images");
}
