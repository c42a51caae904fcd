#pragma once

#include "sheets/SingleExport.h"

#include <QFileDialog>
#include <QPointer>

class QWidget;

namespace oxel {

// The single export's save panel: a window-modal file dialog over the window (the desktop's own
// where the platform theme offers one), with "layered psd" and "layered tiff" to choose from, the
// proposed name, and "export" on its accept button. A name typed without a layered extension
// ("photo", "photo.jpg") takes the chosen type's before the dialog asks whether to replace a file,
// so the question is about the file that will be written. The desktop's own dialog asks its
// question about the name as typed; when that name then changes and the file exists, the panel
// asks again.
class QtSavePanel final : public SavePanelPort {
public:
    explicit QtSavePanel(QWidget* window) : window_(window) {}

    void chooseExportFile(const std::string& proposedName, Answer answer) override;

    // The dialog on screen, if one is; for tests.
    QFileDialog* dialog() const { return dialog_; }

    static const QString psdFilter;
    static const QString tiffFilter;

private:
    QWidget* window_;
    QPointer<QFileDialog> dialog_;
};

} // namespace oxel
