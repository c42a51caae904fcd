#pragma once

#include <QDialog>

namespace oxel {

class BuildInfo;

// A small paper window: the wordmark, the version and the build.
class AboutPanel final : public QDialog {
    Q_OBJECT
public:
    explicit AboutPanel(const BuildInfo& info, QWidget* parent = nullptr);

    // "version 1.3.0 (130)"
    static QString versionLine(const BuildInfo& info);
};

} // namespace oxel
