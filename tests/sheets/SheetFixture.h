#pragma once

#include "sheets/FolderPanelPort.h"
#include "support/ModelFixture.h"
#include "ui/kit/SheetButton.h"
#include "ui/kit/TextLabel.h"

#include <QApplication>
#include <QPointer>
#include <QTest>
#include <QWidget>

#include <deque>

namespace oxel::testing {

// Folder panels answered from a script, first answer first; an unscripted panel is cancelled.
class ScriptedFolderPanel final : public FolderPanelPort {
public:
    void chooseFolder(const std::string& message, const std::string& prompt, const std::filesystem::path& startIn,
                      Answer answer) override
    {
        asked.push_back({message, prompt});
        startedIn.push_back(startIn);
        std::optional<std::filesystem::path> choice;
        if (!choices.empty()) {
            choice = choices.front();
            choices.pop_front();
        }
        answer(choice);
    }

    std::deque<std::optional<std::filesystem::path>> choices;
    std::vector<std::pair<std::string, std::string>> asked;
    std::vector<std::filesystem::path> startedIn;
};

// The texts a widget shows now, in the order they were made.
inline QStringList shownTexts(QWidget& widget)
{
    QStringList texts;
    for (auto* label : widget.findChildren<TextLabel*>())
        if (label->isVisibleTo(&widget)) texts << label->text();
    return texts;
}

// The sheet button with this label that the widget shows, or null.
inline SheetButton* shownButton(QWidget& widget, const QString& label)
{
    for (auto* button : widget.findChildren<SheetButton*>())
        if (button->label() == label && button->isVisibleTo(&widget)) return button;
    return nullptr;
}

inline QStringList shownButtons(QWidget& widget)
{
    QStringList labels;
    for (auto* button : widget.findChildren<SheetButton*>())
        if (button->isVisibleTo(&widget)) labels << button->label();
    return labels;
}

// A model on the local backend, and a window for the sheets to open over, as the main window would.
class SheetTest : public ModelTest {
public:
    SheetTest()
    {
        window.resize(900, 620);
        window.show();
        makeModel();
    }

    // Opens the sheet over the window and lays it out.
    template <typename Sheet>
    QPointer<Sheet> opened(Sheet* sheet)
    {
        sheet->open();
        QApplication::processEvents();
        return QPointer<Sheet>(sheet);
    }

    // Lets closed sheets go.
    static void settle()
    {
        QApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    static void click(QAbstractButton* button)
    {
        ASSERT_TRUE(button);
        QTest::mouseClick(button, Qt::LeftButton);
    }

    // Sheets refresh at the end of the turn: these run the model, then end the turn.
    void setBalance(int64_t shots)
    {
        backend.state().setBalance(account.userId, shots);
        await(model->refreshBalance());
        QApplication::processEvents();
    }
    bool runThenShow(const std::function<bool()>& done)
    {
        const bool ran = runUntil(done);
        QApplication::processEvents();
        return ran;
    }

    QWidget window;
};

} // namespace oxel::testing
