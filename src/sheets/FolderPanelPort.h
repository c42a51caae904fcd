#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

class QWidget;

namespace oxel {

// Where the export sheet asks for a folder: directories only, new ones may be made, `message` as
// the panel's title and `prompt` on its accept button, opening in `startIn`. It answers once, with
// nothing when cancelled. Tests put a scripted panel in its place.
class FolderPanelPort {
public:
    using Answer = std::function<void(std::optional<std::filesystem::path>)>;
    virtual ~FolderPanelPort() = default;
    virtual void chooseFolder(const std::string& message, const std::string& prompt,
                              const std::filesystem::path& startIn, Answer answer) = 0;
};

// The folder an export panel opens in: `lastExport` while it is still a folder, else the user's
// pictures folder (XDG), else the home folder.
std::filesystem::path exportPanelFolder(const std::optional<std::filesystem::path>& lastExport);

// The desktop's folder dialog (native where the platform theme offers one), window-modal over
// `window`.
class QtFolderPanel final : public FolderPanelPort {
public:
    explicit QtFolderPanel(QWidget* window) : window_(window) {}
    void chooseFolder(const std::string& message, const std::string& prompt, const std::filesystem::path& startIn,
                      Answer answer) override;

private:
    QWidget* window_;
};

} // namespace oxel
