#pragma once

#include "app/Updater.h"

#include <QMessageBox>
#include <QPointer>

namespace oxel {

// The updater's windows: one small window at a time, the newest replacing the one before.
class UpdaterDialogs final : public UpdaterWindows {
public:
    explicit UpdaterDialogs(QWidget* parent = nullptr) : parent_(parent) {}
    ~UpdaterDialogs() override;

    void showChecking() override;
    void showNewest(const std::string& version) override;
    void showAvailable(const std::string& version, std::function<void()> download) override;
    void showFailed(const std::string& message) override;
    void showPackageManaged() override;

    // The window shown now, if any.
    QMessageBox* current() const { return current_; }

private:
    QMessageBox* replaceWith(const QString& text);

    QWidget* parent_;
    QPointer<QMessageBox> current_;
};

} // namespace oxel
