#include "LibraryFixture.h"

#include "platform/JsonFields.h"

#include <fstream>

namespace oxel::testing {
namespace {

namespace fs = std::filesystem;

class OddRecordsTest : public LibraryTest {};

TEST_F(OddRecordsTest, LatinOneNamesAreDevelopedReopenedAndExportedWithTheirExactBytes)
{
    // As an archive made on another system unpacks: folder and file named in Latin-1.
    const fs::path file = writeJPEG(fs::path("\xE9t\xE9") / "caf\xE9.jpg", 600, 400);
    ::testing::internal::CaptureStderr();
    const Uuid id = developedBatch({file});
    const auto loaded = model->library().load(id);
    ASSERT_TRUE(loaded);
    ASSERT_EQ(loaded->images.size(), 1u) << "the record of the developed picture is on disk";
    EXPECT_EQ(loaded->images[0].state, ImageRecord::State::done);
    EXPECT_EQ(loaded->images[0].original.path, (folder / "\uFFFDt\uFFFD" / "caf\uFFFD.jpg").string());

    openAndRestore(id);
    ASSERT_EQ(model->items().size(), 1u);
    const auto item = model->items()[0];
    EXPECT_EQ(item->url(), file);
    EXPECT_EQ(item->availability(), Availability::present()) << item->availability().detail;
    EXPECT_TRUE(item->phase().is<phase::Done>());
    ASSERT_TRUE(item->result());

    const fs::path to = folder / "\xC9xports" / "caf\xE9 fini.jpg";
    fs::create_directories(to.parent_path());
    model->startExport(item, to, {.format = ExportFormat::jpeg, .sixteenBit = false}, false);
    ASSERT_TRUE(runUntil([&] { return model->exportsPending() == 0; }));
    EXPECT_TRUE(fs::exists(to));
    model->setGlobalNudge("warmer"); // a later save of the picture still goes through
    model->saveNow();
    runIdle();
    const auto saved = storedImage(id, item->id);
    ASSERT_EQ(saved.exports.size(), 1u);
    EXPECT_EQ(saved.exports[0].to, (folder / "\uFFFDxports" / "caf\uFFFD fini.jpg").string());
    EXPECT_EQ(::testing::internal::GetCapturedStderr().find("oxel pro library"), std::string::npos);
}

TEST_F(OddRecordsTest, AnImageRecordThatCannotBeReadStaysInItsBatchUntouched)
{
    const auto id = storedBatch({writeJPEG("a.jpg"), writeJPEG("b.jpg"), writeJPEG("c.jpg")});
    auto loaded = *model->library().load(id);
    const Uuid unreadable = loaded.record.images[1];
    const fs::path record = imageFolder(id, unreadable) / "image.json";
    // As a later version might write it.
    std::ofstream(record, std::ios::trunc) << R"({"id": ")" << unreadable.text() << R"(", "state": "archived"})";
    const auto bytes = fs::file_size(record);
    openAndRestore(id);
    ASSERT_EQ(model->items().size(), 2u);

    model->setGlobalNudge("softer");
    model->remove(model->items()[0]);
    model->saveNow();
    runIdle();
    const auto after = model->library().load(id);
    ASSERT_TRUE(after);
    EXPECT_EQ(after->record.images, (std::vector<Uuid>{loaded.record.images[2], unreadable}));
    EXPECT_EQ(after->unreadable, std::vector<Uuid>{unreadable});
    EXPECT_EQ(fs::file_size(record), bytes);
    EXPECT_TRUE(fs::exists(imageFolder(id, unreadable) / "original.jpg"));
}

} // namespace
} // namespace oxel::testing
