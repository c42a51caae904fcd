#include "ui/screens/SignInView.h"

#include "ui/kit/Fonts.h"
#include "ui/kit/InkBoxLabel.h"
#include "ui/kit/Palette.h"
#include "ui/kit/PaperPatch.h"
#include "ui/kit/TextLabel.h"
#include "ui/kit/Wordmark.h"

#include <QVBoxLayout>

namespace oxel {

namespace {

constexpr double dimmedWhileBusy = 0.5;

const char* const accountText =
    "the same account as oxel on your phone.\nshots bought here are spent there, and the other way round.";

} // namespace

SignInView::SignInView(Providers providers, QWidget* parent) : CentreLineScreen(28, parent)
{
    column().addWidget(new PaperPatch(new Wordmark(QStringLiteral("pro"), 26), 12), 0, Qt::AlignHCenter);
    column().addWidget(new PaperPatch(centredLines(tr(accountText), uiFont(13, FontWeight::light), 0.65, 5), 12), 0,
                       Qt::AlignHCenter);

    if (providers.apple || providers.google) {
        buttons_ = new QWidget;
        auto* buttonColumn = new QVBoxLayout(buttons_);
        buttonColumn->setContentsMargins(0, 0, 0, 0);
        buttonColumn->setSpacing(12);
        if (providers.apple) {
            appleButton_ = addProvider(*buttonColumn, tr("sign in with apple"));
            connect(appleButton_, &InkBoxLabel::clicked, this, &SignInView::appleRequested);
        }
        if (providers.google) {
            googleButton_ = addProvider(*buttonColumn, tr("sign in with google"));
            connect(googleButton_, &InkBoxLabel::clicked, this, &SignInView::googleRequested);
        }
        column().addWidget(new PaperPatch(buttons_, 0), 0, Qt::AlignHCenter);
    }

    errorLine_ = new TextLabel({}, uiFont(11), Palette::accent());
    errorLine_->setAlignment(Qt::AlignCenter);
    errorPatch_ = new PaperPatch(errorLine_, 8);
    errorPatch_->hide();
    column().addWidget(errorPatch_, 0, Qt::AlignHCenter);
}

InkBoxLabel* SignInView::addProvider(QLayout& buttons, const QString& label)
{
    auto* button = new InkBoxLabel(
        label, {.vertical = 10, .horizontal = 0, .inkOpacity = 0.85, .contentAlpha = 0.9, .labelWidth = 220});
    button->setDisabledOpacity(dimmedWhileBusy);
    buttons.addWidget(button);
    return button;
}

void SignInView::setBusy(bool busy)
{
    busy_ = busy;
    if (buttons_) buttons_->setEnabled(!busy);
}

void SignInView::setError(const std::optional<QString>& message)
{
    errorLine_->setText(message.value_or(QString()));
    errorPatch_->setVisible(message.has_value() && !message->isEmpty());
    errorPatch_->adjustSize();
}

} // namespace oxel
