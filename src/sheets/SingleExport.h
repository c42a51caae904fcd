#pragma once

#include "export/ExportOptions.h"
#include "library/BatchItem.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace oxel {

// Where the single export asks for a file name: a save panel offering "layered psd" and "layered
// tiff", with the proposed name and "export" on its accept button. It answers once, with nothing
// when cancelled. Tests put a scripted panel in its place.
class SavePanelPort {
public:
    using Answer = std::function<void(std::optional<std::filesystem::path>)>;
    virtual ~SavePanelPort() = default;
    virtual void chooseExportFile(const std::string& proposedName, Answer answer) = 0;
};

// "export this one…" of a tile: one photograph written to a file the photographer names, with the
// fixed layered options. The panel's answer holds the item, never the tile, so a tile closed
// while the panel was open costs nothing. After the panel: the result is checked again, then
// `start` hands the export on (the model marks the item waiting to write, counts it pending and
// runs it when a turn is free, developed with the settings that stand then, grain included).
class SingleExport {
public:
    using Start = std::function<void(std::shared_ptr<BatchItem>, std::filesystem::path, ExportOptions)>;

    SingleExport(SavePanelPort& panel, Start start);

    void exportOne(const std::shared_ptr<BatchItem>& item);

private:
    void chosen(const std::shared_ptr<BatchItem>& item, const std::filesystem::path& file);

    SavePanelPort& panel_;
    Start start_;
    // Panels answer late; an answer that finds this object gone does nothing.
    std::shared_ptr<const bool> alive_ = std::make_shared<const bool>(true);
};

} // namespace oxel
