// The main window's states as a person sees them, written to the screenshots folder in both
// appearances at the two window sizes, with checks on the bars' places and the paper around them.
#include "MainViewFixture.h"

#include "app/MainWindow.h"
#include "support/ui/PixelChecks.h"
#include "support/ui/Screenshots.h"
#include "ui/kit/LinkButton.h"
#include "ui/window/BottomBar.h"
#include "ui/window/EmptySheet.h"
#include "ui/window/SetupLinks.h"
#include "ui/window/TopBar.h"

#include <QDragEnterEvent>
#include <QMimeData>

namespace oxel::testing {
namespace {

using namespace oxel::pixels;

const QSize large = MainWindow::defaultSize;
const QSize small{900, 620};

QString sized(const QString& name, QSize size)
{
    return QStringLiteral("main-%1-%2x%3").arg(name).arg(size.width()).arg(size.height());
}

class MainScreenshots : public MainViewTest, public ::testing::WithParamInterface<QSize> {
protected:
    // Writes both appearances and checks what every state shares: paper at the corners and the
    // rule under the top bar.
    screenshots::Pair capture(const QString& name)
    {
        settle();
        const auto shots = screenshots::capture(*view, sized(name, GetParam()));
        for (const auto& [image, appearance] :
             {std::pair{shots.light, Appearance::light}, std::pair{shots.dark, Appearance::dark}}) {
            EXPECT_TRUE(pixelIs(image, 2, image.height() - 2, paper(appearance), 3)) << name.toStdString();
            EXPECT_TRUE(pixelIs(image, image.width() - 3, 2, paper(appearance), 3)) << name.toStdString();
            const QColor rule = image.pixelColor(image.width() / 3, TopBar::barHeight);
            EXPECT_NE(rule, paper(appearance)) << name.toStdString() << ": the rule under the top bar";
        }
        return shots;
    }

    // The window with a roll of 40 shots and six landscape pictures dropped on it.
    std::vector<std::filesystem::path> showBatchOfSix(const std::string& prefix)
    {
        showView(GetParam());
        backend.state().setBalance(account.userId, 40);
        await(model->refreshBalance());
        std::vector<std::filesystem::path> files;
        for (int index = 0; index < 6; ++index)
            files.push_back(writeJPEG(prefix + std::to_string(index) + ".jpg", 900, 600));
        drop(files);
        return files;
    }

    void mixPhases()
    {
        const auto& items = model->items();
        items[1]->setStartedAt(std::chrono::system_clock::now() - std::chrono::seconds(65));
        items[1]->setPhase(phase::Processing{"rendering", std::nullopt});
        items[2]->setPhase(phase::Queued{});
        items[3]->setPhase(phase::Failed{std::nullopt, "the server is busy", true, false});
    }
};

TEST_P(MainScreenshots, EmptyStates)
{
    showView(GetParam());
    capture("empty-new-user");

    storeBatchOf("only.jpg");
    await(model->refreshRecent());
    capture("empty-one-batch");

    storeBatchOf("second.jpg");
    await(model->refreshRecent());
    capture("empty-two-batches");
    // The link to the other batches stands clear above the set-up links.
    const EmptySheet& empty = *view->emptySheet();
    ASSERT_TRUE(empty.recentLink() && empty.setupLinks()->isVisible());
    EXPECT_LE(empty.recentLink()->mapTo(view.get(), QPoint(0, empty.recentLink()->height())).y(),
              empty.setupLinks()->mapTo(view.get(), QPoint()).y());

    defaults().set("handoffSeen.shotwell", true);
    model->setShowBatches(false);
    capture("empty-two-batches-shotwell-seen");
    defaults().set("handoffSeen.darktable", true);
    model->setShowBatches(false);
    capture("empty-hosts-seen");

    drop({folder / "no-such-photo.jpg"});
    capture("empty-could-not-read");
}

TEST_P(MainScreenshots, InputWithPicturesInMixedPhases)
{
    showBatchOfSix("input");
    mixPhases();
    const auto shots = capture("input");
    // The bottom bar stands on the window's foot.
    EXPECT_EQ(view->bottomBar()->mapTo(view.get(), QPoint(0, view->bottomBar()->height())).y(), view->height());
    EXPECT_EQ(view->bottomBar()->height(), BottomBar::barHeight);
}

TEST_P(MainScreenshots, ResultsInMixedPhasesComparingAndHighlighted)
{
    const auto files = showBatchOfSix("result");
    developAll();
    model->items()[4]->setPhase(phase::Failed{std::nullopt, "no credit left", false, true});
    capture("results");

    press(Qt::Key_Space);
    capture("results-comparing");
    release(Qt::Key_Space);

    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(files[0].string()))});
    QDragEnterEvent enter(QPoint(300, 300), Qt::CopyAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(view.get(), &enter);
    const auto shots = capture("drop-highlight");
    // The outline runs 6 px inside the edge, over the paper.
    EXPECT_FALSE(pixelIs(shots.light, 6, view->height() / 2, paper(Appearance::light), 20));
    QDragLeaveEvent leave;
    QApplication::sendEvent(view.get(), &leave);
}

TEST_P(MainScreenshots, LongNamesElideAndTheBarsKeepTheirHeights)
{
    showView(GetParam());
    model->receiveHandoff({writeJPEG("handed.jpg")}, std::string(300, 'x'));
    settle();
    capture("long-source");
    EXPECT_EQ(view->topBar()->height(), TopBar::barHeight);
    EXPECT_EQ(view->bottomBar()->height(), BottomBar::barHeight);
}

INSTANTIATE_TEST_SUITE_P(Sizes, MainScreenshots, ::testing::Values(large, small),
                         [](const auto& info) { return std::to_string(info.param.width()); });

} // namespace
} // namespace oxel::testing
