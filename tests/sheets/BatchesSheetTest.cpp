#include "SheetFixture.h"

#include "sheets/BatchRow.h"
#include "sheets/BatchesSheet.h"
#include "sheets/ByteCount.h"
#include "support/PictureFiles.h"
#include "ui/kit/BoxedField.h"

#include <QLineEdit>
#include <QMenu>
#include <QScrollArea>

using namespace oxel;
using namespace oxel::testing;
using namespace std::chrono_literals;

namespace {

enum class Thumb { jpeg, truncated, png, none };

class BatchesTest : public SheetTest {
public:
    // A batch in the library with one image a thumbnail kind, updated `age` ago.
    BatchRecord addBatch(const std::string& name, const std::vector<Thumb>& thumbs, std::chrono::hours age = 0h)
    {
        BatchRecord record;
        record.id = Uuid::random();
        record.name = name;
        record.createdAt = Date{} + 494'000h;
        record.updatedAt = Date{} + 500'000h - age;
        for (Thumb thumb : thumbs) {
            const Uuid image = Uuid::random();
            record.images.push_back(image);
            const auto file = library.imageFolder(record.id, image) / "thumb.jpg";
            std::filesystem::create_directories(file.parent_path());
            auto jpeg = test::encodeJPEG(60, 40, test::gradientOf(60, 40));
            if (thumb == Thumb::jpeg) test::writeFile(file, jpeg);
            if (thumb == Thumb::truncated)
                test::writeFile(file, test::Bytes(jpeg.begin(), jpeg.begin() + jpeg.size() / 2));
            if (thumb == Thumb::png) test::writeFile(file, test::encodePNG(60, 40, test::gradientOf(60, 40)));
        }
        library.saveBatch(record);
        library.drain();
        return record;
    }

    QPointer<BatchesSheet> openSheet()
    {
        await(model->refreshRecent());
        model->setShowBatches(true);
        return opened(new BatchesSheet(
            *model, panels, [this](const std::filesystem::path& path) { revealed.push_back(path); }, &window));
    }

    void waitForSizes(BatchesSheet& sheet)
    {
        ASSERT_TRUE(runUntil([&] { return sheet.sizes().size() == model->recent().size(); }));
    }

    void waitForThumbnails(BatchesSheet& sheet)
    {
        ASSERT_TRUE(runUntil([&] { return sheet.thumbnails().pending() == 0; }));
    }

    std::vector<std::filesystem::path> revealed;
};

} // namespace

TEST(ByteCount, FileStyleInDecimalUnitsLowerCased)
{
    EXPECT_EQ(fileSizeText(0), "zero kb");
    EXPECT_EQ(fileSizeText(1), "1 byte");
    EXPECT_EQ(fileSizeText(999), "999 bytes");
    EXPECT_EQ(fileSizeText(1000), "1 kb");
    EXPECT_EQ(fileSizeText(12'345), "12 kb");
    EXPECT_EQ(fileSizeText(999'499), "999 kb");
    EXPECT_EQ(fileSizeText(999'600), "1 mb") << "rounding up to a thousand moves to the next unit";
    EXPECT_EQ(fileSizeText(3'400'000), "3.4 mb");
    EXPECT_EQ(fileSizeText(3'000'000), "3 mb");
    EXPECT_EQ(fileSizeText(1'234'567'890), "1.23 gb");
    EXPECT_EQ(fileSizeText(2'500'000'000'000), "2.5 tb");
}

TEST(BatchesText, CountLineWritesTheHomeFolderAsTilde)
{
    const Uuid a = Uuid::random(), b = Uuid::random();
    EXPECT_EQ(batchCountLine(2, {{a, 1000}}, "/home/ana/.local/share/oxel pro/Library", "/home/ana"),
              "2 batches · in ~/.local/share/oxel pro/Library");
    EXPECT_EQ(batchCountLine(2, {{a, 1000}, {b, 2'400'000}}, "/home/ana/lib", "/home/ana/"),
              "2 batches · 2.4 mb · in ~/lib");
    EXPECT_EQ(batchCountLine(1, {}, "/home/anab/lib", "/home/ana"), "1 batch · in /home/anab/lib");
}

TEST(BatchesText, ACopyOfABatchsFolderIsListedAsSuch)
{
    BatchSummary copy;
    copy.record.id = Uuid::random();
    copy.record.images = {Uuid::random()};
    copy.folder = "/library/" + copy.record.id.text() + " copy";
    copy.copy = true;
    const std::string line = batchDetailLine(copy, {{copy.record.id, 1000}});
    EXPECT_TRUE(line.ends_with(" · 1 image · a copy, in " + copy.record.id.text() + " copy")) << line;
}

TEST_F(BatchesTest, AnEmptyLibrarySaysSoWithoutACountLine)
{
    auto sheet = openSheet();
    EXPECT_EQ(sheet->width(), 640);
    EXPECT_EQ(shownTexts(*sheet),
              (QStringList{"recent batches", "nothing kept yet. a batch joins the library when it is processed."}));
    EXPECT_EQ(shownButtons(*sheet), (QStringList{"show the library folder", "close"}));
    click(shownButton(*sheet, "show the library folder"));
    EXPECT_EQ(revealed, std::vector<std::filesystem::path>{library.root()});
    sheet->reject();
    settle();
}

TEST_F(BatchesTest, CountLineWaitsForEverySizeAndDropsItsTotalAfterATrash)
{
    const auto one = addBatch("harbour", {Thumb::jpeg});
    const auto two = addBatch("empty", {}, 1h);
    auto sheet = openSheet();
    const QString where = QString::fromStdString(" · in " + homeWritten(library.root(), std::getenv("HOME")));
    waitForSizes(*sheet);
    const int64_t total = library.size(one.id) + library.size(two.id);
    EXPECT_TRUE(shownTexts(*sheet).contains(QString::fromStdString("2 batches · " + fileSizeText(total)) + where));
    QStringList details;
    for (auto* row : sheet->builtRows()) details << shownTexts(*row);
    EXPECT_TRUE(details.filter(" · 1 image · ").size() == 1) << details.join("|").toStdString();
    EXPECT_TRUE(details.filter(" · 0 images · ").size() == 1) << details.join("|").toStdString();

    // The batch goes while the sheet is open: its size stays, the counts differ, the total goes.
    library.deleteBatch(two.id);
    await(model->refreshRecent());
    QApplication::processEvents();
    EXPECT_TRUE(shownTexts(*sheet).contains("1 batch" + where));
    sheet->reject();
    settle();
}

TEST_F(BatchesTest, UnreadableThumbnailsGiveNoCellAndTheNameColumnStaysPut)
{
    const auto full = addBatch("full", {Thumb::jpeg, Thumb::jpeg, Thumb::jpeg, Thumb::jpeg});
    const auto poor = addBatch("poor", {Thumb::jpeg, Thumb::truncated, Thumb::png, Thumb::none}, 1h);
    auto sheet = openSheet();
    waitForThumbnails(*sheet);
    BatchRow* fullRow = sheet->row(full.id);
    BatchRow* poorRow = sheet->row(poor.id);
    ASSERT_TRUE(fullRow && poorRow);
    EXPECT_EQ(fullRow->cellCount(), 4);
    EXPECT_EQ(poorRow->cellCount(), 1);
    EXPECT_EQ(fullRow->nameColumnX(), poorRow->nameColumnX());
    EXPECT_EQ(fullRow->nameColumnX(), BatchRow::stripWidth + 12);
    EXPECT_FALSE(decodeThumbnail(library.root() / "missing.jpg", 40));
    sheet->reject();
    settle();
}

TEST_F(BatchesTest, DoubleClickOpensAnotherBatchButNotTheOneOnScreen)
{
    drop({writeJPEG("a.jpg")});
    model->ensureBatchStored();
    model->saveNow();
    library.drain();
    const auto other = addBatch("other", {Thumb::jpeg}, 100h);
    auto sheet = openSheet();
    ASSERT_EQ(model->recent().size(), 2u);
    const Uuid onScreenId = model->batch()->id;

    BatchRow* onScreen = sheet->row(model->batch()->id);
    ASSERT_TRUE(onScreen);
    EXPECT_TRUE(shownTexts(*onScreen).contains("on screen"));
    EXPECT_FALSE(shownButton(*onScreen, "open"));
    QTest::mouseDClick(onScreen, Qt::LeftButton);
    EXPECT_EQ(model->batch()->id, onScreenId);
    ASSERT_FALSE(sheet.isNull());

    QTest::mouseDClick(sheet->row(other.id), Qt::LeftButton);
    ASSERT_TRUE(model->batch());
    EXPECT_EQ(model->batch()->id, other.id);
    settle();
    EXPECT_TRUE(sheet.isNull());
    EXPECT_FALSE(model->showBatches());
}

TEST_F(BatchesTest, RenameInPlaceCommitsTheDraftAndClosesTheField)
{
    const auto batch = addBatch("harbour", {Thumb::jpeg});
    auto sheet = openSheet();
    const BatchSummary summary = model->recent().front();
    sheet->menuFor(summary)->actions().at(1)->trigger();
    ASSERT_TRUE(sheet->row(batch.id)->field());
    QLineEdit* editor = sheet->row(batch.id)->field()->editor();
    EXPECT_EQ(editor->text(), "harbour");
    editor->selectAll();
    QTest::keyClicks(editor, "harbour at dusk");
    QTest::keyClick(editor, Qt::Key_Return);
    EXPECT_FALSE(sheet->renaming());
    EXPECT_FALSE(sheet->row(batch.id)->field());
    ASSERT_TRUE(runThenShow([&] { return model->recent().front().record.name == "harbour at dusk"; }));
    EXPECT_TRUE(shownTexts(*sheet->row(batch.id)).contains("harbour at dusk"));

    // A blank name leaves the name as it was and closes the field.
    sheet->menuFor(model->recent().front())->actions().at(1)->trigger();
    editor = sheet->row(batch.id)->field()->editor();
    editor->selectAll();
    QTest::keyClicks(editor, "  ");
    QTest::keyClick(editor, Qt::Key_Return);
    EXPECT_FALSE(sheet->row(batch.id)->field());
    loop.runUntil([] { return false; }, std::chrono::milliseconds(500));
    EXPECT_EQ(model->recent().front().record.name, "harbour at dusk");
    sheet->reject();
    settle();
}

TEST_F(BatchesTest, TrashAsksFirstAndKeepItKeeps)
{
    const auto batch = addBatch("harbour", {Thumb::jpeg});
    addBatch("kept", {Thumb::jpeg}, 5h);
    auto sheet = openSheet();
    waitForSizes(*sheet);
    const BatchSummary summary = model->recent().front();
    auto actions = sheet->menuFor(summary)->actions();
    ASSERT_EQ(actions.size(), 5);
    EXPECT_EQ(actions[0]->text(), "open");
    EXPECT_EQ(actions[1]->text(), "rename…");
    EXPECT_EQ(actions[2]->text(), "show in folder");
    EXPECT_TRUE(actions[3]->isSeparator());
    EXPECT_EQ(actions[4]->text(), "move to trash…");

    panels.answers = {0};
    actions[4]->trigger();
    ASSERT_TRUE(runUntil([&] { return panels.alertsShown.size() == 1; }));
    EXPECT_EQ(panels.alertsShown[0].message, "move harbour to the trash?");
    EXPECT_EQ(panels.alertsShown[0].information,
              "its renders and settings go. the originals and anything exported are not touched.");
    EXPECT_EQ(model->recent().size(), 2u) << "keep it keeps";
    EXPECT_TRUE(std::filesystem::exists(library.batchFolder(batch.id)));

    panels.answers = {1};
    sheet->menuFor(summary)->actions()[4]->trigger();
    ASSERT_TRUE(runThenShow([&] { return model->recent().size() == 1; }));
    EXPECT_FALSE(std::filesystem::exists(library.batchFolder(batch.id)));
    EXPECT_TRUE(sheet->isVisible()) << "the sheet stays open";
    EXPECT_FALSE(sheet->row(batch.id));
    // Its size is still held, so the counts differ and the total goes until the next opening.
    const QString where = QString::fromStdString(" · in " + homeWritten(library.root(), std::getenv("HOME")));
    EXPECT_TRUE(shownTexts(*sheet).contains("1 batch" + where));

    sheet->menuFor(summary)->actions()[2]->trigger();
    EXPECT_EQ(revealed, std::vector<std::filesystem::path>{library.batchFolder(batch.id)});
    sheet->reject();
    settle();
}

TEST_F(BatchesTest, TrashingTheOpenBatchEmptiesTheWindow)
{
    drop({writeJPEG("a.jpg")});
    model->ensureBatchStored();
    model->saveNow();
    library.drain();
    auto sheet = openSheet();
    panels.answers = {1};
    sheet->menuFor(model->recent().front())->actions()[4]->trigger();
    ASSERT_TRUE(runThenShow([&] { return model->recent().empty(); }));
    EXPECT_TRUE(model->items().empty());
    EXPECT_FALSE(model->batch());
    EXPECT_TRUE(shownTexts(*sheet).contains("nothing kept yet. a batch joins the library when it is processed."));
    sheet->reject();
    settle();
}

TEST_F(BatchesTest, SizesThatArriveAfterTheSheetClosedGoNowhere)
{
    for (int index = 0; index < 6; ++index)
        addBatch("batch " + std::to_string(index), {Thumb::jpeg}, std::chrono::hours(index));
    auto sheet = openSheet();
    int shown = 0;
    QObject::connect(sheet.data(), &BatchesSheet::sizeShown, [&] { ++shown; });
    sheet->reject();
    settle();
    EXPECT_TRUE(sheet.isNull());
    loop.runUntil([] { return false; });
    EXPECT_EQ(shown, 0);
}
