#pragma once

#include "app/QuitGuard.h"

class QWidget;

namespace oxel {

// The quit guard's alerts as modal message boxes over the window.
class QuitAlertBoxes final : public QuitAlerts {
public:
    explicit QuitAlertBoxes(QWidget* parent) : parent_(parent) {}
    size_t run(const QuitAlert& alert) override;

private:
    QWidget* parent_;
};

} // namespace oxel
