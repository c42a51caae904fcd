#pragma once

#include <QWidget>

class QVBoxLayout;

namespace oxel {

class WorkingSheetCentreLine;

// A start screen: the pencil centre line over the whole window and, in front of it, one column
// centred in the window.
class CentreLineScreen : public QWidget {
    Q_OBJECT
public:
    CentreLineScreen(int spacing, QWidget* parent = nullptr);

protected:
    QVBoxLayout& column() { return *column_; }
    void resizeEvent(QResizeEvent* event) override;

private:
    WorkingSheetCentreLine* centreLine_;
    QVBoxLayout* column_;
};

} // namespace oxel
