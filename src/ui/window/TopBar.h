#pragma once

#include "ui/kit/AppearancePreference.h"

#include <QWidget>

#include <functional>

class QMenu;

namespace oxel {

class AppModel;
class BoxedButton;
class TextLabel;

// The strip across the top of the main window: the wordmark over the batch line, the roll of
// shots, "buy shots" and the "···" menu with the batch commands, the set-up guides, the
// appearance, the reset switch, updates, support, the account and signing out.
class TopBar : public QWidget {
    Q_OBJECT
public:
    static constexpr int barHeight = 44;

    // What the bar asks of the application beyond the model.
    struct Shell {
        std::function<void()> checkForUpdates;
        std::function<void()> openSupport;
        // Stores the choice and gives the window its look.
        std::function<void(AppearancePreference)> setAppearance;
    };

    TopBar(AppModel& model, Shell shell, QWidget* parent = nullptr);

    // Follows the model: the batch line, its tooltip and the roll.
    void refresh();

    TextLabel* batchLine() const { return batchLine_; }
    BoxedButton* shotsLabel() const { return shots_; }
    BoxedButton* buyButton() const { return buy_; }
    // The "···" menu as it would open now, and the button that opens it.
    QMenu* menu();
    QWidget* menuButton() const { return menuButton_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void fillMenu();
    void buyShots();
    AppearancePreference storedAppearance() const;

    AppModel& model_;
    Shell shell_;
    TextLabel* batchLine_;
    BoxedButton* shots_;
    BoxedButton* buy_;
    QWidget* menuButton_;
    QMenu* menu_;
};

} // namespace oxel
