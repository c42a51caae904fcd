#include "model/AppModel.h"

#include "develop/SourceImage.h"
#include "library/ItemPhase.h"
#include "platform/Diagnostics.h"

#include <algorithm>

namespace oxel {

void AppModel::sendAsRoomAllows(const std::vector<std::shared_ptr<BatchItem>>& ready, const std::string& userId,
                                bool overOtherLines)
{
    forgetHeldNoLongerReady();
    // Pictures sent again while others of theirs wait go with them.
    if (roomWait_.held.empty()) roomWait_.sentTogether.clear();
    for (const auto& item : ready) roomWait_.sentTogether.insert(item->id);
    roomWait_.held.clear();
    const auto fitting = ready.begin() + std::ptrdiff_t(picturesWithRoom(ready));
    if (fitting != ready.begin()) {
        if (!libraryWritable()) return;
        startDeveloping({ready.begin(), fitting}, userId);
    }
    if (fitting == ready.end()) return endRoomLine();
    holdForRoom({fitting, ready.end()});
    sayRoomShort(overOtherLines);
}

void AppModel::lookForRoom()
{
    forgetHeldNoLongerReady();
    const auto held = heldForRoom();
    const auto userId = accountId();
    // Held pictures are the shots of the account that chose them.
    if (held.empty() || !userId || userId != roomWait_.account) return forgetRoomWait();
    // The photographer chose to spend these shots: they go as soon as there is room.
    sendAsRoomAllows(held, *userId, false);
}

void AppModel::endRoomLine()
{
    if (statusLine_ && statusLine_ == roomWait_.line) setStatusLine(std::nullopt);
    roomWait_.line.reset();
}

void AppModel::forgetRoomWait()
{
    endRoomLine();
    roomWait_.reset();
}

size_t AppModel::picturesWithRoom(const std::vector<std::shared_ptr<BatchItem>>& sending)
{
    const auto free = services_.library.freeRoom();
    if (services_.library.refusal() || !free) return sending.size();
    measureStoredResults();
    uintmax_t needed = roomForUnstoredResults(sending);
    size_t fitting = 0;
    for (const auto& item : sending) {
        needed += roomForResult(*item);
        if (needed > *free) break;
        ++fitting;
    }
    return fitting;
}

bool AppModel::libraryTakes(const std::vector<std::shared_ptr<BatchItem>>& sending)
{
    forgetHeldNoLongerReady();
    // Each picture is asked for again just before it is sent: the first is enough here. None goes
    // past one held back before it, so those held are always the batch's last.
    if (heldBefore(*sending.front()) || picturesWithRoom(sending) == 0) {
        holdForRoom(sending);
        sayRoomShort(true);
        return false;
    }
    roomWait_.held.erase(sending.front()->id);
    return libraryWritable();
}

bool AppModel::libraryWritable()
{
    const auto why = services_.library.cannotWrite();
    if (!why) return true;
    diagnose("library", "not sent: " + *why);
    setStatusLine(libraryUnwritable);
    return false;
}

void AppModel::holdForRoom(const std::vector<std::shared_ptr<BatchItem>>& pictures)
{
    // A job submitted before a relaunch is collected, whatever the room.
    for (const auto& item : pictures)
        if (!item->jobAwaitsCollection) roomWait_.held.insert(item->id);
    roomWait_.account = accountId();
}

std::vector<std::shared_ptr<BatchItem>> AppModel::heldForRoom() const
{
    std::vector<std::shared_ptr<BatchItem>> held;
    for (const auto& item : items_)
        if (roomWait_.held.contains(item->id)) held.push_back(item);
    return held;
}

void AppModel::forgetHeldNoLongerReady()
{
    std::set<Uuid> ready;
    for (const auto& item : itemsToProcess())
        if (roomWait_.held.contains(item->id)) ready.insert(item->id);
    roomWait_.held = std::move(ready);
}

bool AppModel::heldBefore(const BatchItem& picture) const
{
    for (const auto& item : items_) {
        if (item.get() == &picture) return false;
        if (roomWait_.held.contains(item->id)) return true;
    }
    return false;
}

void AppModel::sayRoomShort(bool overOtherLines)
{
    if (!roomWait_.look.pending()) roomWait_.look.schedule([this] { lookForRoom(); });
    measureStoredResults();
    const auto held = heldForRoom();
    const uintmax_t free = services_.library.freeRoom().value_or(0);
    uintmax_t needed = roomForUnstoredResults(held);
    for (const auto& item : held) needed += roomForResult(*item);
    const auto sent = std::count_if(items_.begin(), items_.end(), [this](const auto& item) {
        return roomWait_.sentTogether.contains(item->id) && !roomWait_.held.contains(item->id);
    });
    auto line = libraryFullStatus(free, needed, int(sent), int(held.size()));
    // A line that tells something else stands until it goes: the next look says this one.
    if (!overOtherLines && statusLine_ && statusLine_ != roomWait_.line) return;
    if (line != roomWait_.line)
        diagnose("library", "not sent: " + std::to_string(free) + " bytes free, " + std::to_string(needed) +
                                " wanted for " + std::to_string(held.size()) + " pictures");
    roomWait_.line = line;
    setStatusLine(std::move(line));
}

std::string AppModel::libraryFullStatus(uintmax_t free, uintmax_t needed, int sent, int held)
{
    constexpr uintmax_t megabyte = 1'000'000;
    return "the library's disk is nearly full · " + std::to_string(free / megabyte) + " MB free, about " +
           std::to_string((needed + megabyte - 1) / megabyte) + " MB needed · " +
           (sent == 0 ? "no shot used" : std::to_string(sent) + " sent") + " · " + std::to_string(held) +
           (held == 1 ? " waits" : " wait") + " for room";
}

std::pair<double, double> AppModel::sentSize(const BatchItem& item)
{
    // An original of unknown size counts as a large one.
    const auto [width, height] = originalSize(item).value_or(std::pair<int64_t, int64_t>(6000, 4000));
    return SourceImage::previewSize(double(width), double(height));
}

uintmax_t AppModel::roomForResult(const BatchItem& item) const
{
    // Each picture counted unpacked at 8 bits a channel: the PNG or JPEG the library keeps of it
    // hardly ever comes out larger.
    const auto unpacked = [](double width, double height) { return uintmax_t(width) * uintmax_t(height) * 3; };
    // Its records, its analysis and the original's small copy stay well within this.
    constexpr uintmax_t records = uintmax_t(256) << 10;
    // The render comes back at the size the picture is sent at; the thumbnail is made from it.
    const auto [sentWidth, sentHeight] = sentSize(item);
    const double thumbScale = std::min(1.0, BatchSaver::thumbPixels / std::max({sentWidth, sentHeight, 1.0}));
    const uintmax_t unpackedRoom =
        unpacked(sentWidth, sentHeight) + unpacked(sentWidth * thumbScale, sentHeight * thumbScale) + records;
    if (roomWait_.storedResults.measured.empty()) return unpackedRoom;
    const double taken =
        sentWidth * sentHeight * roomWait_.storedResults.bytesPerPixel + double(roomWait_.storedResults.recordBytes);
    return std::min(unpackedRoom, uintmax_t(taken * RoomWait::StoredResults::margin));
}

void AppModel::measureStoredResults()
{
    if (!batch_) return;
    const auto& library = services_.library;
    for (const auto& item : items_) {
        if (!item->renderFile || item->keep || roomWait_.storedResults.measured.contains(item->id)) continue;
        const auto folder = library.imageFolder(batch_->id, item->id);
        // The thumbnail is written after the result: a result is measured once both are there.
        const auto render = library.bytesOnDisk(folder / *item->renderFile);
        const auto thumbnail = library.bytesOnDisk(folder / "thumb.jpg");
        if (!render || !thumbnail) continue;
        roomWait_.storedResults.measured.insert(item->id);
        const auto [sentWidth, sentHeight] = sentSize(*item);
        roomWait_.storedResults.bytesPerPixel =
            std::max(roomWait_.storedResults.bytesPerPixel,
                     double(*render + *thumbnail) / std::max(sentWidth * sentHeight, 1.0));
        const uintmax_t records = library.bytesOnDisk(folder / "analysis.json").value_or(0) +
                                  library.bytesOnDisk(folder / "image.json").value_or(0);
        roomWait_.storedResults.recordBytes = std::max(roomWait_.storedResults.recordBytes, records);
    }
}

uintmax_t AppModel::roomForUnstoredResults(const std::vector<std::shared_ptr<BatchItem>>& sending) const
{
    const std::set<std::shared_ptr<BatchItem>> left(sending.begin(), sending.end());
    uintmax_t room = 0;
    for (const auto& item : items_) {
        if (left.contains(item)) continue;
        // Those waiting their turn in the runner were let through already.
        if (item->phase().isInFlight() || (item->result() && item->keep)) room += roomForResult(*item);
    }
    return room;
}

} // namespace oxel
