#pragma once

#include "ui/kit/BoxOptionRow.h"

#include <optional>

namespace oxel {

// A row of boxed options of which one is chosen. A click chooses its option; clicking the chosen
// one again changes nothing. A selection that matches no option (none) shows every option unchosen.
class BoxChoice : public BoxOptionRow {
    Q_OBJECT
public:
    explicit BoxChoice(const QStringList& labels, QWidget* parent = nullptr);

    std::optional<int> selection() const { return selection_; }
    void setSelection(std::optional<int> index);

Q_SIGNALS:
    // A click chose another option.
    void selectionChanged(int index);

protected:
    void optionClicked(int index) override;

private:
    std::optional<int> selection_;
};

} // namespace oxel
