#pragma once

#include <QDialog>
#include <QObject>
#include <QPointer>

#include <functional>
#include <optional>
#include <string>
#include <vector>

class QWidget;

namespace oxel {

// Presents the main window's sheets from the model's flags, one at a time. A raised flag opens a
// fresh sheet; closing the sheet lowers its flag; a flag the model lowers closes its sheet; a flag
// raised while another sheet is up waits until that one closes. `refresh` reads the flags again.
class SheetPresenter : public QObject {
    Q_OBJECT
public:
    struct Sheet {
        std::string name;
        // The flag's value as a key: none while lowered. A new key replaces the open sheet.
        std::function<std::optional<std::string>()> wanted;
        std::function<void()> lower;
        // A new sheet over `window`, not yet open; null while this sheet cannot be made.
        std::function<QDialog*(QWidget* window)> make;
    };

    SheetPresenter(QWidget& window, std::vector<Sheet> sheets);
    ~SheetPresenter() override;

    void refresh();
    QDialog* current() const { return current_; }
    // The name of the sheet that is up; empty when none is.
    std::string currentName() const;

private:
    void present(size_t index, std::string key);
    void closed(QDialog* dialog);

    QWidget& window_;
    std::vector<Sheet> sheets_;
    QPointer<QDialog> current_;
    size_t currentIndex_ = 0;
    std::string currentKey_;
    bool refreshing_ = false;
};

} // namespace oxel
