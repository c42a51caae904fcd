#include "ui/window/TopBar.h"

#include "model/AppModel.h"
#include "ui/kit/BoxedButton.h"
#include "ui/kit/Fonts.h"
#include "ui/kit/PaintedButton.h"
#include "ui/kit/Palette.h"
#include "ui/kit/TextLabel.h"
#include "ui/kit/Wordmark.h"
#include "ui/window/MainTexts.h"

#include <QActionGroup>
#include <QEvent>
#include <QHBoxLayout>
#include <QMenu>
#include <QPainter>
#include <QVBoxLayout>

#include <functional>

namespace oxel {
namespace {

constexpr int sideMargin = 14;
constexpr int spacing = 14;
constexpr int menuButtonWidth = 28;

QString appearanceLabel(AppearancePreference preference)
{
    switch (preference) {
    case AppearancePreference::dark: return QStringLiteral("dark");
    case AppearancePreference::light: return QStringLiteral("light");
    case AppearancePreference::system: return QStringLiteral("follow the system");
    }
    return {};
}

// The "···" that opens the application menu under itself, its right edge on the button's, so it
// opens inside the window from the window's right end. `menu` gives the menu filled afresh.
class MenuDots : public PaintedButton {
public:
    MenuDots(std::function<QMenu*()> menu, QWidget* parent) : PaintedButton(parent), menu_(std::move(menu))
    {
        setLabel(QStringLiteral("···"));
        setAccessibleName(QStringLiteral("menu"));
        setFixedWidth(menuButtonWidth);
        setCursor(Qt::PointingHandCursor);
        connect(this, &QAbstractButton::clicked, this, [this] {
            QMenu* menu = menu_();
            menu->popup(mapToGlobal(QPoint(width() - menu->sizeHint().width(), height())));
        });
    }

    QSize sizeHint() const override { return {menuButtonWidth, menuButtonWidth}; }

protected:
    void paintFace(QPainter& painter) override
    {
        painter.setFont(uiFont(16));
        painter.setPen(Palette::pencil().resolve(appearanceOf(*this)));
        painter.drawText(rect(), Qt::AlignCenter, text());
    }

private:
    std::function<QMenu*()> menu_;
};

} // namespace

TopBar::TopBar(AppModel& model, Shell shell, QWidget* parent)
    : QWidget(parent), model_(model), shell_(std::move(shell)), menu_(new QMenu(this))
{
    setFixedHeight(barHeight);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(sideMargin, 0, sideMargin, 0);
    row->setSpacing(spacing);

    auto* title = new QWidget;
    auto* titleColumn = new QVBoxLayout(title);
    titleColumn->setContentsMargins(0, 0, 0, 0);
    titleColumn->setSpacing(1);
    titleColumn->addWidget(new Wordmark(QStringLiteral("pro"), 15));
    batchLine_ = new TextLabel({}, uiFont(11), Palette::pencil());
    batchLine_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    batchLine_->installEventFilter(this);
    titleColumn->addWidget(batchLine_);
    title->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    row->addWidget(title, 1);

    shots_ = new BoxedButton({{QString(), Palette::ink(0.85)}},
                             BoxedButton::outlined(uiFont(12, FontWeight::light), 4, 10, true));
    shots_->makeInert();
    row->addWidget(shots_);
    buy_ = new BoxedButton({{QStringLiteral("buy shots"), Palette::ink(0.85)}},
                           BoxedButton::outlined(uiFont(12), 4, 10, true));
    connect(buy_, &QAbstractButton::clicked, this, &TopBar::buyShots);
    row->addWidget(buy_);
    menuButton_ = new MenuDots([this] { return menu(); }, this);
    row->addWidget(menuButton_);
    refresh();
}

void TopBar::refresh()
{
    const std::string line =
        maintexts::batchLine(model_.batch(), model_.lastBatchSource(), static_cast<int>(model_.items().size()),
                             static_cast<int>(model_.itemsWithResult().size()));
    batchLine_->setText(QString::fromStdString(line.empty() ? std::string(maintexts::tagline) : line));
    batchLine_->setToolTip(model_.batch() ? QStringLiteral("double-click to rename this batch") : QString());
    std::optional<int64_t> balance;
    if (model_.balance()) balance = model_.balance()->balance;
    shots_->setText(QString::fromStdString(maintexts::shotsLabel(balance)));
}

bool TopBar::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == batchLine_ && event->type() == QEvent::MouseButtonDblClick) {
        if (model_.batch()) model_.setShowRename(true);
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

QMenu* TopBar::menu()
{
    fillMenu();
    return menu_;
}

AppearancePreference TopBar::storedAppearance() const
{
    const auto stored = model_.settings().store().stringValue(appearancePreferenceKey);
    return appearancePreferenceFrom(stored.value_or("")).value_or(defaultAppearancePreference);
}

void TopBar::fillMenu()
{
    menu_->clear();
    menu_->addAction(QStringLiteral("new batch"), this, [this] { model_.requestNewBatch(); });
    menu_->addAction(QStringLiteral("import images…"), this, [this] { model_.openFiles(); });
    menu_->addAction(QStringLiteral("recent batches…"), this, [this] { model_.setShowBatches(true); });
    if (model_.batch())
        menu_->addAction(QStringLiteral("rename this batch…"), this, [this] { model_.setShowRename(true); });
    menu_->addSeparator();
    for (HandoffApp host : allHandoffApps)
        menu_->addAction("set up " + QString::fromUtf8(displayName(host)) + "…", this,
                         [this, host] { model_.setSetupGuide(host); });
    menu_->addSeparator();

    QMenu* appearance = menu_->addMenu(QStringLiteral("appearance"));
    auto* choices = new QActionGroup(appearance);
    const AppearancePreference stored = storedAppearance();
    for (AppearancePreference preference : allAppearancePreferences) {
        QAction* choice = appearance->addAction(appearanceLabel(preference), this, [this, preference] {
            if (shell_.setAppearance) {
                shell_.setAppearance(preference);
            } else {
                model_.settings().store().set(appearancePreferenceKey, rawText(preference));
            }
        });
        choice->setCheckable(true);
        choice->setChecked(preference == stored);
        choice->setData(QString::fromUtf8(rawText(preference)));
        choices->addAction(choice);
    }
    QAction* reset = menu_->addAction(QStringLiteral("reset nudge, light and colour for each new batch"), this,
                                      [this] { model_.setResetSettingsEachBatch(!model_.resetSettingsEachBatch()); });
    reset->setCheckable(true);
    reset->setChecked(model_.resetSettingsEachBatch());
    menu_->addSeparator();
    menu_->addAction(QStringLiteral("check for updates…"), this, [this] {
        if (shell_.checkForUpdates) shell_.checkForUpdates();
    });
    menu_->addAction(QStringLiteral("support"), this, [this] {
        if (shell_.openSupport) shell_.openSupport();
    });
    menu_->addSeparator();
    menu_->addAction(QStringLiteral("account…"), this, [this] { model_.setShowAccount(true); });
    // The model and its batch stay as they are; the window goes back to the sign-in screen.
    menu_->addAction(QStringLiteral("sign out"), this, [this] { model_.auth().signOut(); });
}

void TopBar::buyShots()
{
    model_.setShowCredits(true);
    // The model's one shared request: a late failure never wipes a newer list.
    model_.tasks().spawn(model_.refreshProducts());
}

} // namespace oxel
