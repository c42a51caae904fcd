#include "ui/screens/AnnouncementView.h"

#include "ui/kit/Fonts.h"
#include "ui/kit/InkBoxLabel.h"
#include "ui/kit/Palette.h"
#include "ui/kit/TextLabel.h"

#include <QEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QVBoxLayout>

namespace oxel {

namespace {

constexpr double veilOpacity = 0.94;
constexpr int cardPadding = 36, cardSpacing = 22, bodyWidth = 380, bodyLines = 8;
constexpr qreal cardBorder = 0.75;
// Far more than the card shows (one line of title, five of body): a message of megabytes is cut
// before anything measures it.
constexpr qsizetype longestTitle = 120, longestBody = 1000, longestLabel = 40, longestURL = 2048;

// The text's first `count` UTF-16 units, without splitting a surrogate pair.
QString cut(QString text, qsizetype count)
{
    if (text.size() <= count) return text;
    if (text.at(count - 1).isHighSurrogate()) --count;
    text.truncate(count);
    return text;
}

void paintCard(QWidget& card)
{
    QPainter painter(&card);
    const Appearance appearance = appearanceOf(card);
    painter.fillRect(card.rect(), Palette::paper().resolve(appearance));
    QPen pen(Palette::pencil().resolve(appearance), cardBorder);
    pen.setJoinStyle(Qt::MiterJoin);
    painter.setPen(pen);
    const qreal inset = cardBorder / 2;
    painter.drawRect(QRectF(card.rect()).adjusted(inset, inset, -inset, -inset));
}

} // namespace

AnnouncementView::AnnouncementView(const QVariantMap& message, QWidget* parent) : QWidget(parent)
{
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(makeCard(message), 0, Qt::AlignCenter);
}

QString AnnouncementView::textOf(const QVariantMap& message, const QString& key)
{
    const QVariant value = message.value(key);
    return value.typeId() == QMetaType::QString ? value.toString() : QString();
}

std::optional<QUrl> AnnouncementView::linkOf(const QVariantMap& message)
{
    if (textOf(message, QStringLiteral("linkLabel")).isEmpty()) return std::nullopt;
    const QString address = textOf(message, QStringLiteral("linkURL"));
    if (address.size() > longestURL) return std::nullopt;
    const QUrl url(address, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || url.host().isEmpty() || (scheme != u"http" && scheme != u"https")) return std::nullopt;
    return url;
}

QWidget* AnnouncementView::makeCard(const QVariantMap& message)
{
    auto* card = new QWidget;
    card->installEventFilter(this);
    auto* column = new QVBoxLayout(card);
    column->setContentsMargins(cardPadding, cardPadding, cardPadding, cardPadding);
    column->setSpacing(cardSpacing);

    title_ = new TextLabel(cut(textOf(message, QStringLiteral("title")), longestTitle), uiFont(17, FontWeight::light),
                           Palette::ink(0.75));
    title_->setAlignment(Qt::AlignCenter);
    title_->setMaximumWidth(bodyWidth);
    column->addWidget(title_, 0, Qt::AlignHCenter);

    body_ = new TextLabel(cut(textOf(message, QStringLiteral("body")), longestBody), uiFont(13, FontWeight::light),
                          Palette::ink(0.6));
    body_->setWrapping(bodyLines, 5);
    body_->setMaximumWidth(bodyWidth);
    column->addWidget(body_, 0, Qt::AlignHCenter);

    if (const std::optional<QUrl> url = linkOf(message)) {
        link_ = new InkBoxLabel(cut(textOf(message, QStringLiteral("linkLabel")), longestLabel),
                                {.vertical = 8, .horizontal = 18});
        connect(link_, &InkBoxLabel::clicked, this, [this, address = *url] {
            Q_EMIT linkFollowed(address);
            Q_EMIT dismissed();
        });
        column->addWidget(link_, 0, Qt::AlignHCenter);
    }

    okButton_ = new InkBoxLabel(tr("ok"), {.vertical = 8, .horizontal = 26});
    connect(okButton_, &InkBoxLabel::clicked, this, &AnnouncementView::dismissed);
    column->addWidget(okButton_, 0, Qt::AlignHCenter);
    return card;
}

bool AnnouncementView::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Paint) {
        paintCard(*static_cast<QWidget*>(watched));
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void AnnouncementView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    QColor veil = Palette::paper().resolve(appearanceOf(*this));
    veil.setAlphaF(float(veilOpacity));
    painter.fillRect(rect(), veil);
}

// The veil takes every click so none reaches the screen beneath.
void AnnouncementView::mousePressEvent(QMouseEvent* event)
{
    event->accept();
}
void AnnouncementView::mouseReleaseEvent(QMouseEvent* event)
{
    event->accept();
}
void AnnouncementView::mouseDoubleClickEvent(QMouseEvent* event)
{
    event->accept();
}
void AnnouncementView::wheelEvent(QWheelEvent* event)
{
    event->accept();
}

} // namespace oxel
