#pragma once

#include "ui/kit/BoxOptionRow.h"

#include <set>

namespace oxel {

// The selection after a click on `clicked`: an unselected value joins it; a selected one leaves
// it only when another value stays, so a click never empties the selection.
template <typename Value>
std::set<Value> multiChoiceAfterClick(std::set<Value> selection, const Value& clicked)
{
    if (!selection.contains(clicked))
        selection.insert(clicked);
    else if (selection.size() >= 2)
        selection.erase(clicked);
    return selection;
}

// A row of boxed options of which several may be chosen but, by clicks, never none.
class BoxMultiChoice : public BoxOptionRow {
    Q_OBJECT
public:
    explicit BoxMultiChoice(const QStringList& labels, QWidget* parent = nullptr);

    const std::set<int>& selection() const { return selection_; }
    void setSelection(std::set<int> indices);

Q_SIGNALS:
    // A click changed the selection.
    void selectionChanged(const std::set<int>& indices);

protected:
    void optionClicked(int index) override;

private:
    std::set<int> selection_;
};

} // namespace oxel
