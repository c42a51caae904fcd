#include "ui/window/SetupLinks.h"

#include "model/AppModel.h"
#include "ui/kit/Fonts.h"
#include "ui/kit/LinkButton.h"
#include "ui/kit/Palette.h"
#include "ui/kit/PaperPatch.h"
#include "ui/kit/TextLabel.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

namespace oxel {
namespace {

constexpr int spaceAbove = 6;
constexpr int linkPadding = 4;

} // namespace

SetupLinks::SetupLinks(AppModel& model, QWidget* parent) : QWidget(parent), model_(model)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, spaceAbove, 0, 0);
    layout->setSpacing(0);
    offered_ = hostsToOffer(model_);
    rebuild();
}

std::vector<HandoffApp> SetupLinks::hostsToOffer(AppModel& model)
{
    std::vector<HandoffApp> hosts;
    for (HandoffApp host : {HandoffApp::shotwell, HandoffApp::darktable})
        if (!model.settings().handoffSeen(rawValue(host))) hosts.push_back(host);
    return hosts;
}

void SetupLinks::refresh()
{
    auto hosts = hostsToOffer(model_);
    if (hosts == offered_) return;
    offered_ = std::move(hosts);
    rebuild();
}

void SetupLinks::rebuild()
{
    delete row_;
    row_ = nullptr;
    // Shown while it has no parent yet, it would open as an empty window of its own, and keep a
    // window's state once in the sheet: its later moves there were never drawn again.
    if (parentWidget() || offered_.empty()) setVisible(!offered_.empty());
    if (offered_.empty()) return;
    row_ = new QWidget(this);
    auto* row = new QHBoxLayout(row_);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    const auto linkTo = [this](HandoffApp host) {
        auto* link = new LinkButton("set up " + QString::fromUtf8(displayName(host)), LinkButton::onPaper(linkPadding));
        connect(link, &QAbstractButton::clicked, this, [this, host] { model_.setSetupGuide(host); });
        return link;
    };
    if (offered_.size() == 1) {
        row->addWidget(linkTo(offered_.front()), 0, Qt::AlignCenter);
    } else {
        auto* left = new QWidget;
        left->setFixedWidth(linkFrameWidth);
        (new QHBoxLayout(left))->addWidget(linkTo(offered_[0]), 0, Qt::AlignRight | Qt::AlignVCenter);
        left->layout()->setContentsMargins(0, 0, 0, 0);
        auto* dot = new TextLabel(QStringLiteral("·"), uiFont(11), Palette::pencil());
        dot->setAlignment(Qt::AlignCenter);
        dot->setFixedWidth(dotFrameWidth);
        auto* right = new QWidget;
        right->setFixedWidth(linkFrameWidth);
        (new QHBoxLayout(right))->addWidget(linkTo(offered_[1]), 0, Qt::AlignLeft | Qt::AlignVCenter);
        right->layout()->setContentsMargins(0, 0, 0, 0);
        row->addWidget(left);
        row->addWidget(new PaperPatch(dot, 0));
        row->addWidget(right);
    }
    layout()->addWidget(row_);
}

} // namespace oxel
