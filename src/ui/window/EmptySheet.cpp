#include "ui/window/EmptySheet.h"

#include "model/AppModel.h"
#include "ui/kit/BoxedButton.h"
#include "ui/kit/DrawnCrosshair.h"
#include "ui/kit/Fonts.h"
#include "ui/kit/LinkButton.h"
#include "ui/kit/Palette.h"
#include "ui/kit/PaperPatch.h"
#include "ui/kit/TextLabel.h"
#include "ui/window/MainTexts.h"
#include "ui/window/SetupLinks.h"

#include <QVBoxLayout>

namespace oxel {
namespace {

constexpr qreal crosshairSide = 26;
constexpr int hintLineSpacing = 5;
constexpr int hintPadding = 10;
constexpr int recentSpacing = 8;
constexpr int recentPadding = 10;
// A batch name longer than this is cut with "…" so the button stays within the window.
constexpr qreal longestName = 420;

} // namespace

EmptySheet::EmptySheet(AppModel& model, QWidget* parent) : CentreLineScreen(spacing, parent), model_(model)
{
    column().addWidget(new DrawnCrosshair(crosshairSide, Palette::ink(0.7)), 0, Qt::AlignHCenter);
    column().addWidget(
        new PaperPatch(centredLines(hint, uiFont(13, FontWeight::light), 0.6, hintLineSpacing), hintPadding), 0,
        Qt::AlignHCenter);
    import_ = new BoxedButton({{QStringLiteral("import images…"), Palette::ink(0.8)}},
                              BoxedButton::outlined(uiFont(13), 9, 22, false));
    connect(import_, &QAbstractButton::clicked, this, [this] { model_.openFiles(); });
    column().addWidget(new PaperPatch(import_, 0), 0, Qt::AlignHCenter);
    // Said here, as no bar shows the status line before the batch has pictures.
    statusNotice_ = new TextLabel({}, uiFont(11), Palette::pencil());
    statusPatch_ = new PaperPatch(statusNotice_, hintPadding);
    column().addWidget(statusPatch_, 0, Qt::AlignHCenter);
    libraryNotice_ = new TextLabel({}, uiFont(11), Palette::pencil());
    noticePatch_ = new PaperPatch(libraryNotice_, hintPadding);
    column().addWidget(noticePatch_, 0, Qt::AlignHCenter);
    links_ = new SetupLinks(model_);
    column().addWidget(links_, 0, Qt::AlignHCenter);
    refreshNotice();
    rebuildRecent();
}

void EmptySheet::refresh()
{
    refreshNotice();
    rebuildRecent();
    links_->refresh();
}

void EmptySheet::refreshNotice()
{
    const auto notice = model_.lastingStatus();
    if (notice) libraryNotice_->setText(QString::fromStdString(*notice));
    noticePatch_->setVisible(notice.has_value());
    const auto& status = model_.statusLine();
    const bool ownLine = status && status != notice;
    if (ownLine) statusNotice_->setText(QString::fromStdString(*status));
    statusPatch_->setVisible(ownLine);
}

void EmptySheet::rebuildRecent()
{
    const auto& recent = model_.recent();
    QString wanted;
    if (!recent.empty()) {
        const BatchRecord& record = recent.front().record;
        wanted =
            QString::fromStdString(record.id.text() + "\n" + record.name + "\n" + maintexts::resumeDetail(record)) +
            (recent.size() > 1 ? "\nmore" : "");
    }
    if (wanted == shownRecent_ && (recentBlock_ != nullptr) == !recent.empty()) return;
    shownRecent_ = wanted;
    delete recentBlock_;
    recentBlock_ = nullptr;
    resume_ = nullptr;
    recentLink_ = nullptr;
    if (recent.empty()) return;

    const BatchRecord& record = recent.front().record;
    auto* block = new QWidget;
    auto* layout = new QVBoxLayout(block);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(recentSpacing);
    BoxedButton::Look look = BoxedButton::outlined(uiFont(12, FontWeight::light), 6, 14, true);
    look.longestRun = longestName;
    resume_ = new BoxedButton({{QStringLiteral("resume"), Palette::ink(0.85)},
                               {QString::fromStdString(record.name), Palette::ink(0.85)},
                               {QString::fromStdString(maintexts::resumeDetail(record)), Palette::pencil()}},
                              look);
    connect(resume_, &QAbstractButton::clicked, this, [this] { model_.openMostRecent(); });
    layout->addWidget(resume_, 0, Qt::AlignHCenter);
    if (recent.size() > 1) {
        recentLink_ = new LinkButton(QStringLiteral("recent batches…"), LinkButton::onPaper(0));
        connect(recentLink_, &QAbstractButton::clicked, this, [this] { model_.setShowBatches(true); });
        layout->addWidget(recentLink_, 0, Qt::AlignHCenter);
    }
    recentBlock_ = new PaperPatch(block, recentPadding);
    // After the import button, before the set-up links.
    column().insertWidget(column().indexOf(links_), recentBlock_, 0, Qt::AlignHCenter);
}

} // namespace oxel
