#pragma once

#include <QStringList>
#include <QWidget>

#include <vector>

namespace oxel {

class BoxOption;

// The row shared by `BoxChoice` and `BoxMultiChoice`: one option box per label, in order, 8 apart,
// sharing the row's width. What a click does is the subclass's.
class BoxOptionRow : public QWidget {
    Q_OBJECT
public:
    explicit BoxOptionRow(const QStringList& labels, QWidget* parent = nullptr);

    int optionCount() const { return int(options_.size()); }
    BoxOption* option(int index) const { return options_.at(size_t(index)); }

protected:
    virtual void optionClicked(int index) = 0;
    // Shows each option selected or not as `isSelected` answers for its index.
    template <typename IsSelected>
    void showSelection(IsSelected isSelected);

private:
    void setOptionSelected(int index, bool selected);

    std::vector<BoxOption*> options_;
};

template <typename IsSelected>
void BoxOptionRow::showSelection(IsSelected isSelected)
{
    for (int index = 0; index < optionCount(); ++index) setOptionSelected(index, isSelected(index));
}

} // namespace oxel
