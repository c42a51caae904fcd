#pragma once

#include "model/HandoffApp.h"

#include <QWidget>

#include <vector>

class QHBoxLayout;

namespace oxel {

class AppModel;

// The empty state's last line: a link to the set-up guide of each of the two hosts that hand
// pictures over, until that host has handed something over. With both, the dot between them sits
// on the window's centre line.
class SetupLinks : public QWidget {
    Q_OBJECT
public:
    static constexpr int linkFrameWidth = 220;
    static constexpr int dotFrameWidth = 18;

    explicit SetupLinks(AppModel& model, QWidget* parent = nullptr);

    // The hosts offered, in order, as the stored "handoffSeen." flags leave them.
    static std::vector<HandoffApp> hostsToOffer(AppModel& model);
    // Reads the flags again; a host seen since goes away.
    void refresh();
    const std::vector<HandoffApp>& offered() const { return offered_; }

private:
    void rebuild();

    AppModel& model_;
    std::vector<HandoffApp> offered_;
    QWidget* row_ = nullptr;
};

} // namespace oxel
