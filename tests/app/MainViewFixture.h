#pragma once

#include "app/MainView.h"
#include "support/ModelFixture.h"

#include <QApplication>
#include <QKeyEvent>
#include <QTest>

#include <memory>

namespace oxel::testing {

// Counts the keys that reach a widget: those the window stage let through.
class WidgetKeys : public QObject {
public:
    WidgetKeys() { qApp->installEventFilter(this); }
    ~WidgetKeys() override { qApp->removeEventFilter(this); }
    int seen = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if ((event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) && watched->isWidgetType())
            ++seen;
        return false;
    }
};

// The main view as the window's content, over the real model of `ModelTest`, shown and active.
class MainViewTest : public ModelTest {
protected:
    void SetUp() override { makeModel(); }
    void TearDown() override { view.reset(); }

    MainView& showView(QSize size = {1200, 800})
    {
        view = std::make_unique<MainView>(
            *model, MainView::Shell{[this] { ++updateChecks; }, [this] { ++supportOpened; }, {}, &panels, {}, nullptr});
        view->resize(size);
        view->show();
        view->activateWindow();
        QApplication::setActiveWindow(view.get());
        settle();
        return *view;
    }

    // Lets the model's tasks and then the views' once-per-turn refreshes run.
    void settle()
    {
        runUntil([&] { return model->tasks().runningCount() == 0; });
        for (int turn = 0; turn < 4; ++turn) QApplication::processEvents();
    }

    // Drops real JPEGs and waits until they are shown.
    void dropPictures(int count, int width = 600, int height = 400)
    {
        std::vector<std::filesystem::path> files;
        // Appended rather than a literal plus a temporary string, which GCC 12 wrongly warns may overlap.
        for (int index = 0; index < count; ++index)
            files.push_back(writeJPEG(std::string("p").append(std::to_string(index)).append(".jpg"), width, height));
        drop(files);
        settle();
    }

    // Stores a batch of one picture in the library and opens a new, empty one.
    void storeBatchOf(const std::string& file)
    {
        drop({writeJPEG(file)});
        model->ensureBatchStored();
        model->saveNow();
        library.drain();
        model->newBatch();
    }

    // Develops every picture of the batch through the local backend.
    void developAll()
    {
        model->process();
        runUntilOrStop(
            [&] {
                for (const auto& item : model->items())
                    if (item->phase().isInFlight() || item->phase().is<phase::Ready>()) return false;
                return true;
            },
            "not every picture was developed");
        settle();
    }

    // A key as Qt hands it to the active window first; true when it went on to a widget.
    bool key(QEvent::Type type, int code, Qt::KeyboardModifiers modifiers = {}, bool autoRepeat = false)
    {
        QWindow* window =
            QApplication::activeWindow() ? QApplication::activeWindow()->windowHandle() : view->windowHandle();
        const QString text = code == Qt::Key_Space ? QStringLiteral(" ") : QString();
        QKeyEvent event(type, code, modifiers, text, autoRepeat);
        const int before = widgetKeys.seen;
        QApplication::sendEvent(window, &event);
        return widgetKeys.seen > before;
    }
    bool press(int code, Qt::KeyboardModifiers modifiers = {}, bool autoRepeat = false)
    {
        return key(QEvent::KeyPress, code, modifiers, autoRepeat);
    }
    bool release(int code, Qt::KeyboardModifiers modifiers = {}, bool autoRepeat = false)
    {
        return key(QEvent::KeyRelease, code, modifiers, autoRepeat);
    }

    std::unique_ptr<MainView> view;
    int updateChecks = 0;
    int supportOpened = 0;
    WidgetKeys widgetKeys;
};

} // namespace oxel::testing
