#include "app/SheetPresenter.h"

#include <QDialog>

namespace oxel {

SheetPresenter::SheetPresenter(QWidget& window, std::vector<Sheet> sheets) : window_(window), sheets_(std::move(sheets))
{}

SheetPresenter::~SheetPresenter()
{
    if (current_) {
        current_->disconnect(this);
        current_->close();
    }
}

std::string SheetPresenter::currentName() const
{
    return current_ ? sheets_[currentIndex_].name : std::string();
}

void SheetPresenter::refresh()
{
    if (refreshing_) return;
    refreshing_ = true;
    if (current_) {
        const std::optional<std::string> key = sheets_[currentIndex_].wanted();
        // The model lowered the flag, or pointed it elsewhere: this sheet goes.
        if (key != currentKey_) current_->reject();
    }
    if (!current_) {
        for (size_t index = 0; index < sheets_.size(); ++index) {
            const std::optional<std::string> key = sheets_[index].wanted();
            if (!key) continue;
            present(index, *key);
            if (current_) break;
        }
    }
    refreshing_ = false;
}

void SheetPresenter::present(size_t index, std::string key)
{
    QDialog* dialog = sheets_[index].make ? sheets_[index].make(&window_) : nullptr;
    if (!dialog) return;
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    current_ = dialog;
    currentIndex_ = index;
    currentKey_ = std::move(key);
    connect(dialog, &QDialog::finished, this, [this, dialog] { closed(dialog); });
    dialog->open();
}

void SheetPresenter::closed(QDialog* dialog)
{
    if (dialog != current_) return;
    dialog->disconnect(this);
    const Sheet& sheet = sheets_[currentIndex_];
    current_ = nullptr;
    // Closed by the person: the flag goes down, unless the model already moved it on.
    if (sheet.wanted() == currentKey_) sheet.lower();
    // A flag raised meanwhile is presented now.
    if (!refreshing_) refresh();
}

} // namespace oxel
