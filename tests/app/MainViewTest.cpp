// The main window's content over the real model: which parts stand, the bars, the empty state and
// its links, drops and the sheets' flags.
#include "MainViewFixture.h"

#include "sheets/TileGrid.h"
#include "sheets/TileView.h"
#include "ui/kit/BoxedButton.h"
#include "ui/kit/LinkButton.h"
#include "ui/kit/TextLabel.h"
#include "ui/window/BottomBar.h"
#include "ui/window/ColourOnlyToggle.h"
#include "ui/window/EmptySheet.h"
#include "ui/window/MainTexts.h"
#include "ui/window/SetupLinks.h"
#include "ui/window/TopBar.h"

#include <QDragEnterEvent>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QScreen>

namespace oxel::testing {
namespace {

namespace fs = std::filesystem;

QStringList menuTexts(QMenu& menu)
{
    QStringList texts;
    for (QAction* action : menu.actions()) texts << (action->isSeparator() ? QStringLiteral("—") : action->text());
    return texts;
}

QAction* actionNamed(QMenu& menu, const QString& text)
{
    for (QAction* action : menu.actions())
        if (action->text() == text) return action;
    return nullptr;
}

std::unique_ptr<QMimeData> filesAndURLs(const QList<QUrl>& urls)
{
    auto data = std::make_unique<QMimeData>();
    data->setUrls(urls);
    return data;
}

QUrl fileURL(const fs::path& path)
{
    return QUrl::fromLocalFile(QString::fromStdString(path.string()));
}

TEST_F(MainViewTest, EmptyWindowShowsOnlyTheTopBarRuleAndEmptySheet)
{
    MainView& main = showView();
    ASSERT_TRUE(main.emptySheet());
    EXPECT_EQ(main.grid(), nullptr);
    EXPECT_EQ(main.bottomBar(), nullptr);
    EXPECT_EQ(main.topBar()->height(), TopBar::barHeight);
    EXPECT_EQ(main.topBar()->batchLine()->text(), "relight, at full resolution, in layers");
    EXPECT_TRUE(main.topBar()->batchLine()->toolTip().isEmpty());
    EXPECT_EQ(main.topBar()->shotsLabel()->fullText(), "…");
    // An empty library: no resume and no list; both hosts offered, the dot on the centre line.
    EmptySheet& empty = *main.emptySheet();
    EXPECT_EQ(empty.resumeButton(), nullptr);
    EXPECT_EQ(empty.recentLink(), nullptr);
    ASSERT_EQ(empty.setupLinks()->offered(), (std::vector{HandoffApp::shotwell, HandoffApp::darktable}));
    auto links = empty.setupLinks()->findChildren<LinkButton*>();
    ASSERT_EQ(links.size(), 2);
    EXPECT_EQ(links[0]->label(), "set up shotwell");
    EXPECT_EQ(links[1]->label(), "set up darktable");
    const int leftEdge = links[0]->mapTo(&main, QPoint(links[0]->width(), 0)).x();
    const int rightEdge = links[1]->mapTo(&main, QPoint(0, 0)).x();
    EXPECT_NEAR((leftEdge + rightEdge) / 2.0, main.width() / 2.0, 1);
    links[1]->click();
    EXPECT_EQ(model->setupGuide(), HandoffApp::darktable);
}

TEST_F(MainViewTest, HostSeenWhileTheEmptyStateShowsTakesItsLinkAway)
{
    MainView& main = showView();
    defaults().set("handoffSeen.shotwell", true);
    model->setShowBatches(false); // a sheet's flag refreshes the window
    settle();
    EXPECT_EQ(main.emptySheet()->setupLinks()->offered(), std::vector{HandoffApp::darktable});
    defaults().set("handoffSeen.darktable", true);
    defaults().set("handoffSeen.other", true);
    model->setShowBatches(false);
    settle();
    EXPECT_TRUE(main.emptySheet()->setupLinks()->offered().empty());
    EXPECT_FALSE(main.emptySheet()->setupLinks()->isVisible());
}

TEST_F(MainViewTest, SetupLinksMovedByTheRecentBatchesArriveOnScreenAtTheirNewPlace)
{
    MainView& main = showView();
    for (const char* name : {"first.jpg", "second.jpg"}) storeBatchOf(name);
    await(model->refreshRecent());
    settle();
    // What the window shows, not a fresh render of it: the links must be drawn again where the
    // block above pushed them.
    const SetupLinks& links = *main.emptySheet()->setupLinks();
    ASSERT_TRUE(main.emptySheet()->recentLink() && links.isVisible());
    const QRect place(links.mapTo(&main, QPoint()), links.size());
    const QImage shown = main.screen()->grabWindow(main.winId()).toImage().copy(place);
    const QImage rendered = main.grab(place).toImage();
    EXPECT_EQ(shown.convertToFormat(QImage::Format_RGB32), rendered.convertToFormat(QImage::Format_RGB32));
}

TEST_F(MainViewTest, EmptyStateResumesTheNewestBatchAndListsTheOthers)
{
    // Two stored batches, the second the newest.
    for (const char* name : {"first.jpg", "second.jpg"}) storeBatchOf(name);
    await(model->refreshRecent());
    ASSERT_EQ(model->recent().size(), 2u);
    MainView& main = showView();
    EmptySheet& empty = *main.emptySheet();
    ASSERT_TRUE(empty.resumeButton());
    const BatchRecord& newest = model->recent().front().record;
    EXPECT_EQ(empty.resumeButton()->fullText().toStdString(),
              "resume " + newest.name + " " + maintexts::resumeDetail(newest));
    EXPECT_TRUE(empty.resumeButton()->fullText().endsWith("· 1 image"));
    ASSERT_TRUE(empty.recentLink());
    empty.recentLink()->click();
    EXPECT_TRUE(model->showBatches());
    model->setShowBatches(false);
    EXPECT_TRUE(empty.importButton()->isVisible());
    // A photograph that could not be read is said where it was dropped, and not by the batch resumed.
    drop({folder / "no-such-photo.jpg"});
    settle();
    EXPECT_EQ(empty.statusNotice()->isVisible() ? empty.statusNotice()->text() : QString(),
              "could not read no-such-photo.jpg");

    empty.resumeButton()->click();
    settle();
    ASSERT_TRUE(model->batch());
    EXPECT_EQ(model->batch()->id, model->recent().front().record.id);
    EXPECT_EQ(model->items().size(), 1u);
    EXPECT_TRUE(main.grid());
    EXPECT_EQ(main.bottomBar()->statusLabel()->text().toStdString(), "1 image · 1 shot");
}

TEST_F(MainViewTest, TheMenuOpensUnderItsButtonAndInsideTheWindow)
{
    TopBar bar(*model, {});
    bar.setGeometry(0, 0, 520, TopBar::barHeight);
    bar.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&bar));
    QWidget* dots = bar.menuButton();
    QTest::mouseClick(dots, Qt::LeftButton);
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_TRUE(menu);
    const QRect button(dots->mapToGlobal(QPoint(0, 0)), dots->size());
    EXPECT_EQ(menu->geometry().right(), button.right()) << "its right edge on the button's";
    EXPECT_LT(menu->geometry().left(), button.left());
    menu->close();
}

TEST_F(MainViewTest, TopBarFollowsTheBatchAndItsMenuActs)
{
    MainView& main = showView();
    TopBar& bar = *main.topBar();
    QMenu& menu = *bar.menu();
    EXPECT_EQ(menuTexts(menu), QStringList({"new batch", "import images…", "recent batches…", "—", "set up shotwell…",
                                            "set up darktable…", "set up another application…", "—", "appearance",
                                            "reset nudge, light and colour for each new batch", "—",
                                            "check for updates…", "support", "—", "account…", "sign out"}));
    // Without a batch a double click renames nothing.
    QTest::mouseDClick(bar.batchLine(), Qt::LeftButton);
    EXPECT_FALSE(model->showRename());

    QAction* appearance = actionNamed(menu, "appearance");
    ASSERT_TRUE(appearance && appearance->menu());
    const auto choices = appearance->menu()->actions();
    ASSERT_EQ(choices.size(), 3);
    EXPECT_TRUE(choices[0]->isChecked()) << "dark is the default";
    choices[1]->trigger();
    EXPECT_EQ(defaults().stringValue("appearancePreference"), "light");
    EXPECT_TRUE(actionNamed(*bar.menu(), "appearance")->menu()->actions()[1]->isChecked());
    QAction* reset = actionNamed(*bar.menu(), "reset nudge, light and colour for each new batch");
    EXPECT_TRUE(reset->isCheckable() && reset->isChecked());
    reset->trigger();
    EXPECT_FALSE(model->resetSettingsEachBatch());
    actionNamed(*bar.menu(), "check for updates…")->trigger();
    actionNamed(*bar.menu(), "support")->trigger();
    EXPECT_EQ(updateChecks, 1);
    EXPECT_EQ(supportOpened, 1);
    actionNamed(*bar.menu(), "account…")->trigger();
    EXPECT_TRUE(model->showAccount());

    // A stored batch: name, date and count; the double click and the menu rename it.
    dropPictures(1);
    model->ensureBatchStored();
    settle();
    const std::string name = model->batch()->name;
    EXPECT_EQ(bar.batchLine()->text().toStdString(), maintexts::batchLine(model->batch(), std::nullopt, 1, 0));
    EXPECT_TRUE(bar.batchLine()->text().endsWith(" · 1 image"));
    EXPECT_EQ(bar.batchLine()->toolTip(), "double-click to rename this batch");
    QTest::mouseDClick(bar.batchLine(), Qt::LeftButton);
    EXPECT_TRUE(model->showRename());
    EXPECT_TRUE(actionNamed(*bar.menu(), "rename this batch…"));

    // Signing out leaves the model and its batch as they are.
    actionNamed(*bar.menu(), "sign out")->trigger();
    EXPECT_EQ(model->auth().state(), AuthState::signedOut());
    EXPECT_EQ(model->items().size(), 1u);
    EXPECT_EQ(model->batch()->name, name);
}

TEST_F(MainViewTest, TopBarShowsTheRollAndBuyShotsOpensTheShop)
{
    MainView& main = showView();
    backend.state().setBalance(account.userId, 1);
    await(model->refreshBalance());
    settle();
    EXPECT_EQ(main.topBar()->shotsLabel()->fullText(), "1 shot in the roll");
    backend.state().setBalance(account.userId, 0);
    await(model->refreshBalance());
    settle();
    EXPECT_EQ(main.topBar()->shotsLabel()->fullText(), "0 shots in the roll");
    main.topBar()->buyButton()->click();
    EXPECT_TRUE(model->showCredits());
    settle();
    EXPECT_TRUE(model->products()) << "the shop's products were asked for";
}

TEST_F(MainViewTest, ASourceWithoutABatchLeadsTheBatchLine)
{
    MainView& main = showView();
    model->receiveHandoff({writeJPEG("handed.jpg")}, std::string("Shotwell"));
    settle();
    EXPECT_EQ(main.topBar()->batchLine()->text(), "from shotwell · 1 image");
    EXPECT_TRUE(main.topBar()->batchLine()->toolTip().isEmpty());
}

TEST_F(MainViewTest, BottomBarOnInputAndResults)
{
    MainView& main = showView();
    backend.state().setBalance(account.userId, 12);
    await(model->refreshBalance());
    dropPictures(5);
    ASSERT_TRUE(main.bottomBar());
    BottomBar& bar = *main.bottomBar();
    EXPECT_EQ(bar.height(), BottomBar::barHeight);
    EXPECT_EQ(bar.statusLabel()->text(), "5 images · 5 shots · 7 left after");
    EXPECT_FALSE(bar.resultsButton()->isVisible());
    EXPECT_FALSE(bar.colourOnly()->isVisible()) << "the on-device model is not ready here";
    EXPECT_EQ(bar.processButton()->fullText(), "process 5");
    EXPECT_TRUE(bar.processButton()->isEnabled());
    EXPECT_FALSE(bar.exportButton()->isVisible());
    bar.processButton()->click();
    EXPECT_TRUE(model->showConfirm());
    model->setShowConfirm(false);

    developAll();
    EXPECT_EQ(model->screen(), AppModel::Screen::results);
    EXPECT_EQ(bar.statusLabel()->text(), "5 of 5 back · hold space to compare");
    EXPECT_TRUE(bar.nudgesButton()->isVisible());
    EXPECT_TRUE(bar.exportButton()->isVisible() && bar.exportButton()->isEnabled());
    EXPECT_FALSE(bar.sendBackButton()->isVisible()) << "nothing was handed over";
    EXPECT_FALSE(bar.processButton()->isVisible());
    bar.exportButton()->click();
    EXPECT_TRUE(model->showExport());
    model->setShowExport(false);
    bar.nudgesButton()->click();
    settle();
    EXPECT_EQ(model->screen(), AppModel::Screen::input);
    EXPECT_TRUE(bar.resultsButton()->isVisible());
    EXPECT_EQ(bar.processButton()->fullText(), "process 0");
    EXPECT_FALSE(bar.processButton()->isEnabled());
    bar.resultsButton()->click();
    EXPECT_EQ(model->screen(), AppModel::Screen::results);
}

TEST_F(MainViewTest, HandedOverPicturesAreSentBackFromTheBottomBar)
{
    MainView& main = showView();
    const fs::path handed = writeJPEG("handed/copy.jpg");
    const auto before = fs::last_write_time(handed);
    model->receiveHandoff({handed}, std::string("shotwell"));
    settle();
    developAll();
    BottomBar& bar = *main.bottomBar();
    ASSERT_TRUE(bar.sendBackButton()->isVisible());
    EXPECT_EQ(bar.sendBackButton()->fullText(), "send 1 back");
    bar.sendBackButton()->click();
    ASSERT_TRUE(runUntil([&] { return model->tasks().runningCount() == 0 && model->exportsPending() == 0; }));
    settle();
    EXPECT_NE(fs::last_write_time(handed), before) << "the result went over the handed copy";
}

TEST_F(MainViewTest, ResultsScreenWithNothingBackDisablesExportAndFollowsEachPicture)
{
    MainView& main = showView();
    dropPictures(2);
    model->setScreen(AppModel::Screen::results);
    settle();
    BottomBar& bar = *main.bottomBar();
    EXPECT_EQ(bar.statusLabel()->text(), "0 of 2 back · 2 to process");
    EXPECT_TRUE(bar.exportButton()->isVisible());
    EXPECT_FALSE(bar.exportButton()->isEnabled());
    EXPECT_FALSE(bar.resultsButton()->isVisible());

    // The photographs' own changes reach the bar without a change of the model's.
    const phase::Failed failed{std::nullopt, "the backend is busy", true, false};
    for (const auto& item : model->items()) item->setPhase(failed);
    QApplication::processEvents();
    EXPECT_EQ(bar.statusLabel()->text(), "0 of 2 back · 2 failed");
    model->items()[0]->setPhase(phase::Uploading{});
    QApplication::processEvents();
    EXPECT_EQ(bar.statusLabel()->text(), "0 of 2 back · 1 developing · 1 failed");
}

// Signing out sends the queued pictures back undeveloped: the results screen counts them.
TEST_F(MainViewTest, PicturesLeftUndevelopedBySigningOutAreCountedOnTheResults)
{
    MainView& main = showView();
    dropPictures(3);
    model->runner().maxInFlight = 1;
    model->process();
    // The first job is with the backend, waiting to be collected once its account is back.
    ASSERT_TRUE(runUntil([&] { return model->items()[0]->jobId().has_value(); }));
    model->auth().signOut();
    ASSERT_TRUE(runUntil([&] { return model->inFlightCount() == 0; }));
    settle();
    EXPECT_EQ(main.bottomBar()->statusLabel()->text(), "0 of 3 back · 2 to process");
}

// A library this program could not lock is said from the first screen on, and stays said.
TEST_F(MainViewTest, ALibraryThatCouldNotBeLockedIsSaidBeforeAndAfterPicturesCome)
{
    LibraryStore refused(LibraryStore::Environment{folder / "Shared", {}, &loop, "cannot lock the library"});
    makeModel(&refused);
    MainView& main = showView();
    ASSERT_TRUE(main.emptySheet() && main.emptySheet()->libraryNotice());
    EXPECT_EQ(main.emptySheet()->libraryNotice()->text(), AppModel::libraryNotLockedStatus);
    EXPECT_TRUE(main.emptySheet()->libraryNotice()->isVisible());
    dropPictures(1);
    EXPECT_EQ(main.bottomBar()->statusLabel()->text(), AppModel::libraryNotLockedStatus);
    // The view and the model go before the library they were given.
    view.reset();
    model.reset();
}

TEST_F(MainViewTest, TheBottomBarSaysWhenTheBackendStopsAnsweringUntilItAnswersAgain)
{
    using namespace std::chrono_literals;
    MainView& main = showView();
    dropPictures(2);
    // The backend takes the jobs and then stops answering.
    backend.setFaults(local::LocalFaults{.pathPrefix = "/jobs/", .status = 503});
    model->process();
    ASSERT_TRUE(runUntil([&] { return submissions() == 2; }));
    const auto gone = loop.elapsed();
    BottomBar& bar = *main.bottomBar();
    const auto shows = [&](std::string_view text) {
        QApplication::processEvents();
        return bar.statusLabel()->text() == QString::fromUtf8(text.data(), int(text.size()));
    };
    ASSERT_TRUE(runUntil([&] { return loop.elapsed() - gone > 15s; }));
    EXPECT_FALSE(shows(maintexts::unreachableText)) << "a short silence says nothing";
    ASSERT_TRUE(runUntil([&] { return shows(maintexts::unreachableText); }));
    EXPECT_LT(loop.elapsed() - gone, 30s);

    backend.clearFaults();
    ASSERT_TRUE(runUntil([&] { return !shows(maintexts::unreachableText); }));
    ASSERT_TRUE(runUntil([&] { return model->itemsWithResult().size() == 2; }));
}

TEST_F(MainViewTest, DropsHandLocalFilesOnInOrderWithTheHighlight)
{
    MainView& main = showView();
    const fs::path first = writeJPEG("drop/c.jpg"), second = writeJPEG("drop/a.jpg"), third = writeJPEG("drop/b.jpg");
    auto data = filesAndURLs({fileURL(first), QUrl("https://example.org/remote.jpg"), fileURL(second), fileURL(third)});
    EXPECT_EQ(MainView::localFiles(*data), (std::vector{first, second, third}));
    // A Latin-1 name, as a file manager drags it: its exact bytes.
    const fs::path latin1 = writeJPEG("drop/\xE9t\xE9/caf\xE9.jpg");
    const auto encoded = filesAndURLs(
        {QUrl::fromEncoded("file://" + QByteArray::fromStdString(latin1.string()).toPercentEncoding("/"))});
    EXPECT_EQ(MainView::localFiles(*encoded), std::vector{latin1});

    QDragEnterEvent enter(QPoint(600, 400), Qt::CopyAction, data.get(), Qt::LeftButton, {});
    QApplication::sendEvent(&main, &enter);
    EXPECT_TRUE(enter.isAccepted());
    EXPECT_TRUE(main.isTargeted());
    EXPECT_TRUE(main.dropHighlight()->isVisible());
    EXPECT_TRUE(main.dropHighlight()->testAttribute(Qt::WA_TransparentForMouseEvents));
    QDropEvent dropped(QPointF(600, 400), Qt::CopyAction, data.get(), Qt::LeftButton, {});
    QApplication::sendEvent(&main, &dropped);
    EXPECT_FALSE(main.isTargeted());
    EXPECT_FALSE(main.dropHighlight()->isVisible());
    runImports();
    settle();
    ASSERT_EQ(model->items().size(), 3u);
    EXPECT_EQ(model->items()[0]->url().filename(), "c.jpg");
    EXPECT_EQ(model->items()[1]->url().filename(), "a.jpg");
    EXPECT_EQ(model->items()[2]->url().filename(), "b.jpg");
    ASSERT_TRUE(main.grid());
    EXPECT_EQ(main.grid()->tileCount(), 3);
}

TEST_F(MainViewTest, AFolderIsHandedOnAsItIsAndADragWithoutFilesIsRefused)
{
    MainView& main = showView();
    writeJPEG("folder/one.jpg");
    writeJPEG("folder/two.jpg");
    auto text = std::make_unique<QMimeData>();
    text->setText("just words");
    QDragEnterEvent refused(QPoint(10, 10), Qt::CopyAction, text.get(), Qt::LeftButton, {});
    QApplication::sendEvent(&main, &refused);
    EXPECT_FALSE(refused.isAccepted());
    EXPECT_FALSE(main.dropHighlight()->isVisible());
    auto remote = filesAndURLs({QUrl("https://example.org/a.jpg")});
    QDragEnterEvent remoteOnly(QPoint(10, 10), Qt::CopyAction, remote.get(), Qt::LeftButton, {});
    QApplication::sendEvent(&main, &remoteOnly);
    EXPECT_FALSE(remoteOnly.isAccepted());
    EXPECT_FALSE(main.isTargeted());

    auto folderData = filesAndURLs({fileURL(folder / "folder")});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, folderData.get(), Qt::LeftButton, {});
    QApplication::sendEvent(&main, &enter);
    EXPECT_TRUE(main.dropHighlight()->isVisible());
    QDragLeaveEvent leave;
    QApplication::sendEvent(&main, &leave);
    EXPECT_FALSE(main.dropHighlight()->isVisible());
    QApplication::sendEvent(&main, &enter);
    QDropEvent dropped(QPointF(10, 10), Qt::CopyAction, folderData.get(), Qt::LeftButton, {});
    QApplication::sendEvent(&main, &dropped);
    runImports();
    settle();
    ASSERT_EQ(model->items().size(), 2u);
    EXPECT_EQ(model->items()[0]->url().filename(), "one.jpg");
}

TEST_F(MainViewTest, FilesDroppedOnANudgeFieldJoinTheBatch)
{
    MainView& main = showView();
    dropPictures(1);
    auto* editor = main.grid()->findChild<QPlainTextEdit*>();
    ASSERT_TRUE(editor);
    auto data = filesAndURLs({fileURL(writeJPEG("more.jpg"))});
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, data.get(), Qt::LeftButton, {});
    QApplication::sendEvent(editor->viewport(), &enter);
    EXPECT_TRUE(main.isTargeted());
    QDropEvent dropped(QPointF(5, 5), Qt::CopyAction, data.get(), Qt::LeftButton, {});
    QApplication::sendEvent(editor->viewport(), &dropped);
    runImports();
    settle();
    EXPECT_EQ(model->items().size(), 2u);
    EXPECT_TRUE(editor->toPlainText().isEmpty());
}

} // namespace
} // namespace oxel::testing
