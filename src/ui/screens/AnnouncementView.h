#pragma once

#include <QString>
#include <QUrl>
#include <QVariantMap>
#include <QWidget>

#include <optional>

namespace oxel {

class InkBoxLabel;
class TextLabel;

// The backend's announcement laid over whichever screen shows: a veil of paper that hides the
// screen and takes its clicks, and a card with a title, a body, an optional link and "ok".
// The message comes from the network, so a key counts only when its value is text, only a web
// address (http or https) is offered as a link, and each text is cut to a length the card can hold
// before it is laid out; a title too wide for the card is cut at its tail, and a body longer than
// eight lines ends its eighth with "…".
class AnnouncementView : public QWidget {
    Q_OBJECT
public:
    explicit AnnouncementView(const QVariantMap& message, QWidget* parent = nullptr);

    // The text under `key`, or empty when it is missing or not text.
    static QString textOf(const QVariantMap& message, const QString& key);
    // The link's address: "linkURL" when it is an http or https address with a host and
    // "linkLabel" is not empty.
    static std::optional<QUrl> linkOf(const QVariantMap& message);

    TextLabel* title() const { return title_; }
    TextLabel* body() const { return body_; }
    // Absent when the message offers no web link.
    InkBoxLabel* link() const { return link_; }
    InkBoxLabel* okButton() const { return okButton_; }

Q_SIGNALS:
    // The link was followed: open it. `dismissed` follows.
    void linkFollowed(const QUrl& url);
    // "ok" or the link: the announcement is done with.
    void dismissed();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* makeCard(const QVariantMap& message);

    TextLabel* title_ = nullptr;
    TextLabel* body_ = nullptr;
    InkBoxLabel* link_ = nullptr;
    InkBoxLabel* okButton_ = nullptr;
};

} // namespace oxel
