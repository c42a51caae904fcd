#include "app/QuitAlertBoxes.h"

#include <QMessageBox>
#include <QPushButton>

namespace oxel {

size_t QuitAlertBoxes::run(const QuitAlert& alert)
{
    QMessageBox box(parent_);
    box.setIcon(QMessageBox::Warning);
    box.setWindowTitle(QStringLiteral("oxel pro"));
    box.setText(QString::fromStdString(alert.message));
    box.setInformativeText(QString::fromStdString(alert.informative));
    std::vector<QPushButton*> buttons;
    for (const std::string& title : alert.buttons)
        buttons.push_back(box.addButton(QString::fromStdString(title), QMessageBox::ActionRole));
    if (!buttons.empty()) {
        box.setDefaultButton(buttons.front());
        // Escape keeps going, as the first button does.
        box.setEscapeButton(buttons.front());
    }
    box.exec();
    for (size_t i = 0; i < buttons.size(); ++i) {
        if (box.clickedButton() == buttons[i]) return i;
    }
    return 0;
}

} // namespace oxel
