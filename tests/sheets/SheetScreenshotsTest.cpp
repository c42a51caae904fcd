// Every sheet in its main states, light and dark, for a reviewer to look at, with checks on the
// width each sheet takes and the paper at its corners.
#include "SheetFixture.h"

#include "sheets/AccountSheet.h"
#include "sheets/BatchRow.h"
#include "sheets/BatchesSheet.h"
#include "sheets/ColourExplainerSheet.h"
#include "sheets/ConfirmSheet.h"
#include "sheets/CreditsSheet.h"
#include "sheets/ExportSheet.h"
#include "sheets/RenameSheet.h"
#include "sheets/SetupSheet.h"
#include "support/PictureFiles.h"
#include "support/ui/PixelChecks.h"
#include "support/ui/Screenshots.h"
#include "ui/kit/SheetButton.h"

#include <QMenu>
#include <QScrollArea>
#include <QScrollBar>

using namespace oxel;
using namespace oxel::testing;

namespace {

class SheetScreenshots : public SheetTest {
public:
    void shoot(QWidget& sheet, const QString& name, int width)
    {
        QApplication::processEvents();
        EXPECT_EQ(sheet.width(), width) << name.toStdString();
        const auto shots = screenshots::capture(sheet, "sheet-" + name);
        EXPECT_TRUE(pixels::pixelIs(shots.light, 2, 2, pixels::paper(Appearance::light), 0)) << name.toStdString();
        EXPECT_TRUE(pixels::pixelIs(shots.dark, shots.dark.width() - 3, shots.dark.height() - 3,
                                    pixels::paper(Appearance::dark), 0))
            << name.toStdString();
    }

    template <typename Sheet>
    void shootAndClose(Sheet* made, const QString& name, int width)
    {
        auto sheet = opened(made);
        shoot(*sheet, name, width);
        sheet->reject();
        settle();
    }

    ScriptedFolderPanel panel;
};

} // namespace

TEST_F(SheetScreenshots, ExportSheetInItsChoices)
{
    shootAndClose(new ExportSheet(*model, panel, &window), "export-psd-mention", 520);
    model->settings().setCompareLastUsed(std::chrono::system_clock::now());
    defaults().set("exportFormats", "jpeg,heic");
    shootAndClose(new ExportSheet(*model, panel, &window), "export-jpeg-heic", 520);
    defaults().set("exportFormats", "psd,tiff,jpeg,png,heic");
    defaults().set("exportTiffLayered", false);
    defaults().set("exportColour", "sRGB");
    shootAndClose(new ExportSheet(*model, panel, &window), "export-all-five", 520);
}

TEST_F(SheetScreenshots, ConfirmSheetWithAndWithoutEnoughShots)
{
    drop({writeJPEG("a.jpg"), writeJPEG("b.jpg"), writeJPEG("c.jpg")});
    // With grain on, the sheet widens so that its film-grain words are whole.
    shootAndClose(new ConfirmSheet(*model, &window), "confirm-no-balance", 407);
    setBalance(10);
    shootAndClose(new ConfirmSheet(*model, &window), "confirm-enough", 407);
    setBalance(2);
    defaults().set("grainEnabled", false);
    shootAndClose(new ConfirmSheet(*model, &window), "confirm-short-grain-off", 380);
}

TEST_F(SheetScreenshots, ShopAccountRenameAndExplainer)
{
    shootAndClose(new CreditsSheet(*model, &window, "EUR"), "shots-waiting", 440);
    setBalance(40);
    auto shop = opened(new CreditsSheet(*model, &window, "EUR"));
    ASSERT_TRUE(runUntil([&] { return model->products().has_value(); }));
    shoot(*shop, "shots-open", 440);
    shop->reject();
    settle();
    defaults().set("signInProvider", "google");
    shootAndClose(new AccountSheet(*model, &window), "account", 380);
    drop({writeJPEG("a.jpg")});
    model->ensureBatchStored();
    shootAndClose(new RenameSheet(*model, &window), "rename", 420);
    shootAndClose(new ColourExplainerSheet(*model, &window), "colour-explainer", 440);
}

TEST_F(SheetScreenshots, SetUpGuides)
{
    for (HandoffApp app : allHandoffApps)
        shootAndClose(new SetupSheet(*model, app, &window, "/usr/bin/oxel-pro-darktable"),
                      "setup-" + QString::fromUtf8(rawValue(app).data()), 500);
}

TEST_F(SheetScreenshots, BatchesEmptyAndFull)
{
    await(model->refreshRecent());
    shootAndClose(new BatchesSheet(
                      *model, panels, [](const auto&) {}, &window),
                  "batches-empty", 640);

    drop({writeJPEG("harbour.jpg", 300, 200), writeJPEG("quay.jpg", 200, 300)});
    model->ensureBatchStored();
    model->saveNow();
    library.drain();
    // Enough to scroll.
    for (int index = 0; index < 11; ++index) {
        BatchRecord record;
        record.id = Uuid::random();
        record.name = index == 2 ? "a batch whose name goes on and on past the end of its row, far beyond what fits "
                                   "on one line of the sheet"
                                 : "batch number " + std::to_string(index + 1);
        record.createdAt = Date{} + std::chrono::hours(494'000 - index * 30);
        record.updatedAt = record.createdAt;
        for (int image = 0; image < index % 5 + 1; ++image) {
            record.images.push_back(Uuid::random());
            const auto file = library.imageFolder(record.id, record.images.back()) / "thumb.jpg";
            std::filesystem::create_directories(file.parent_path());
            const int width = 40 + 20 * image, height = 80 - 10 * image;
            test::writeFile(file, test::encodeJPEG(width, height, test::gradientOf(width, height)));
        }
        library.saveBatch(record);
    }
    library.drain();
    await(model->refreshRecent());
    auto sheet = opened(new BatchesSheet(
        *model, panels, [](const auto&) {}, &window));
    ASSERT_TRUE(runUntil([&] { return sheet->sizes().size() == model->recent().size(); }));
    ASSERT_TRUE(runUntil([&] { return sheet->thumbnails().pending() == 0; }));
    shoot(*sheet, "batches-full", 640);
    // The "open" buttons keep a margin from the scroll bar.
    const QScrollBar* bar = sheet->findChild<QScrollArea*>()->verticalScrollBar();
    ASSERT_TRUE(bar->isVisible());
    const int barLeft = bar->mapTo(sheet.data(), QPoint()).x();
    for (BatchRow* row : sheet->builtRows()) {
        if (auto* open = row->findChild<SheetButton*>()) {
            EXPECT_LE(open->mapTo(sheet.data(), QPoint(open->width(), 0)).x(), barLeft - 12);
        }
    }
    sheet->menuFor(model->recent()[1])->actions().at(1)->trigger();
    shoot(*sheet, "batches-renaming", 640);
    sheet->reject();
    settle();
}
