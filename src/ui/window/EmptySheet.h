#pragma once

#include "ui/kit/CentreLineScreen.h"

namespace oxel {

class AppModel;
class BoxedButton;
class SetupLinks;
class LinkButton;
class TextLabel;

// The working area while the batch has no pictures: the crosshair on the centre line, the hint,
// "import images…", the status line (a photograph that could not be read, say), what stands in
// the way of writing the library (changes it refused included), the most recent batch to resume
// and the way to the others, and the set-up links. Dropping files is the main window's business.
class EmptySheet : public CentreLineScreen {
    Q_OBJECT
public:
    static constexpr int spacing = 18;
    static constexpr const char* hint =
        "drop photographs here, import a folder,\nor send them from shotwell or darktable";

    explicit EmptySheet(AppModel& model, QWidget* parent = nullptr);

    // Follows the library's list, what stands in its way, and the hosts seen since.
    void refresh();

    BoxedButton* importButton() const { return import_; }
    // Null while the library is empty.
    BoxedButton* resumeButton() const { return resume_; }
    // Null unless the library holds more than one batch.
    LinkButton* recentLink() const { return recentLink_; }
    SetupLinks* setupLinks() const { return links_; }
    // Shown while the status line says something of its own.
    TextLabel* statusNotice() const { return statusNotice_; }
    // Shown while the library cannot be locked, is used without a lock, or refused changes.
    TextLabel* libraryNotice() const { return libraryNotice_; }

private:
    void rebuildRecent();
    void refreshNotice();

    AppModel& model_;
    BoxedButton* import_;
    QWidget* recentBlock_ = nullptr;
    BoxedButton* resume_ = nullptr;
    LinkButton* recentLink_ = nullptr;
    SetupLinks* links_;
    TextLabel* statusNotice_;
    QWidget* statusPatch_;
    TextLabel* libraryNotice_;
    QWidget* noticePatch_;
    // What the recent block shows: the first batch's id, name, detail, and whether there are more.
    QString shownRecent_;
};

} // namespace oxel
