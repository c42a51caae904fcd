#pragma once

#include <QWidget>

namespace oxel {

// The boxed note "hold [space] to see the original". It is static and lets clicks through to
// whatever lies beneath; when it shows is the main window's business.
class CompareHint : public QWidget {
    Q_OBJECT
public:
    explicit CompareHint(QWidget* parent = nullptr);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace oxel
