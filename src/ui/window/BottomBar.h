#pragma once

#include <QWidget>

namespace oxel {

class AppModel;
class BoxedButton;
class ColourOnlyToggle;
class TextLabel;

// The strip at the foot of the main window: the batch's status line on the left, the screen's
// actions on the right. On input: "results", the colour-only switch and "process N"; on results:
// "nudges", "export…" and, for pictures handed over by a host, "send N back".
class BottomBar : public QWidget {
    Q_OBJECT
public:
    static constexpr int barHeight = 46;

    explicit BottomBar(AppModel& model, QWidget* parent = nullptr);

    // Follows the model: the status line and which actions stand, enabled or not.
    void refresh();
    // While quitting waits for the library's writes: the status line says so, painted at once,
    // as the loop no longer runs.
    void showSaving();
    static constexpr const char* savingStatus = "saving…";

    TextLabel* statusLabel() const { return status_; }
    BoxedButton* resultsButton() const { return results_; }
    BoxedButton* processButton() const { return process_; }
    BoxedButton* nudgesButton() const { return nudges_; }
    BoxedButton* exportButton() const { return export_; }
    BoxedButton* sendBackButton() const { return sendBack_; }
    ColourOnlyToggle* colourOnly() const { return colourOnly_; }

private:
    void processTapped();

    AppModel& model_;
    TextLabel* status_;
    BoxedButton* results_;
    ColourOnlyToggle* colourOnly_;
    BoxedButton* process_;
    BoxedButton* nudges_;
    BoxedButton* export_;
    BoxedButton* sendBack_;
};

} // namespace oxel
