#pragma once

#include "model/HandoffApp.h"
#include "sheets/ModelSheet.h"
#include "sheets/SetupGuide.h"

#include <filesystem>

namespace oxel {

// The guide to making one host application hand photographs over and take the result back: its
// numbered steps, a rule and a footnote, and "done". It shows the host it was made for and reads
// nothing else while open.
class SetupSheet : public ModelSheet {
    Q_OBJECT
public:
    SetupSheet(AppModel& model, HandoffApp app, QWidget* parent,
               const std::filesystem::path& launcher = darktableLauncherPath());

    HandoffApp app() const { return app_; }
    static constexpr int sheetWidth = 500;

private:
    static QWidget* stepRow(int number, const std::string& step);

    HandoffApp app_;
};

} // namespace oxel
