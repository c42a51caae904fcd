#pragma once

#include "ui/kit/CentreLineScreen.h"

namespace oxel {

class InkBoxLabel;

// The screen shown in place of everything else once this version must be updated. "update now"
// asks the updater to look for the new version; the screen stays until the application quits.
class UpdateRequiredView : public CentreLineScreen {
    Q_OBJECT
public:
    explicit UpdateRequiredView(QWidget* parent = nullptr);

    InkBoxLabel* updateButton() const { return updateButton_; }

Q_SIGNALS:
    void updateRequested();

private:
    InkBoxLabel* updateButton_;
};

} // namespace oxel
