#pragma once

#include "async/Signal.h"
#include "develop/DevelopSettings.h"
#include "develop/SourceImage.h"
#include "imaging/Bitmap.h"
#include "imaging/PictureCache.h"
#include "imaging/PictureHandle.h"
#include "library/Availability.h"
#include "library/ExportRecord.h"
#include "library/FileStamp.h"
#include "library/ImageRecord.h"
#include "library/InternetDate.h"
#include "library/ItemPhase.h"
#include "library/JobOutcome.h"
#include "library/KeptResult.h"
#include "library/Origin.h"
#include "library/OriginalRef.h"
#include "platform/Uuid.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace oxel {

// One photograph of the open batch as the program holds it: where its original lives and how it
// came in, the loaded original, its progress through developing, the photographer's steering for
// this image, the developed result with its previews, and its exports. Its pictures (thumbnail and
// previews) are handles into the shared picture cache, so an item far from view holds no pixels.
// Shared by reference
// (`std::shared_ptr<BatchItem>`) between the model, the job runner and the views; main thread only.
//
// Observable properties are stored through their setters, which then emit `changed` with the
// property's `Field`, so an observer reads the new value. Plain properties are public members.
// What outlives the item is its `record()`, applied back onto a new item with `apply`.
class BatchItem {
public:
    enum class Field {
        url,
        source,
        thumbnail,
        availability,
        addition,
        unlinkedNudge,
        strengthOffset,
        strengthTouched,
        colourOffset,
        colourTouched,
        useAlternative,
        phase,
        jobId,
        startedAt,
        result,
        previewImage,
        originalPreview,
        developedThumbnail,
        note,
        lastError,
        exportProgress,
        exportWaiting,
        exportedTo,
        developedCopy,
    };
    // How many fields there are: a field added after the last moves this.
    static constexpr unsigned fieldCount = unsigned(Field::developedCopy) + 1;

    // The developed picture a tile shows, made at the size the tiles draw it, with the settings it
    // was made at and the preview of the same result and settings, which is made only when a view
    // shows the whole picture.
    struct DevelopedCopy {
        Bitmap picture;
        PictureHandle preview;
        DevelopSettings madeAt;
        // The picture as the shared cache holds it, pinned for as long as the item keeps it, so
        // that it counts in the picture budget.
        PictureHandle counted{};
        std::shared_ptr<const PictureCache::Pin> held{};

        // A tile's picture made at `madeAt`, with its preview, counted in the picture budget.
        static DevelopedCopy counting(Bitmap picture, PictureHandle preview, DevelopSettings madeAt);
    };

    static std::shared_ptr<BatchItem> make(Uuid id, std::filesystem::path url, Origin origin,
                                           std::optional<SourceImage> source, std::optional<PictureHandle> thumbnail);

    BatchItem(Uuid id, std::filesystem::path url, Origin origin, std::optional<SourceImage> source,
              std::optional<PictureHandle> thumbnail);
    BatchItem(const BatchItem&) = delete;
    BatchItem& operator=(const BatchItem&) = delete;

    Signal<Field> changed;

    const Uuid id;
    const Origin origin;
    std::optional<OriginalRef> original;
    std::optional<std::string> renderFile; // "render." and the kept render's extension
    std::vector<ExportRecord> exports;     // oldest first
    std::optional<FileStamp> sentBack;
    bool colourOnly = false;
    std::optional<bool> grainBaked;
    std::optional<PlanVerdict> planVerdict; // what planning the result's preview found
    bool wantsColourOnly = false;
    std::optional<KeptResult> keep; // the result's bytes until the library has them
    // The delivery of the result's job that the backend has not been told of yet: it is confirmed
    // once, when the result is stored or first leaves the program, whichever comes first.
    struct Unconfirmed {
        std::string jobId;
        std::string account;
    };
    std::optional<Unconfirmed> unconfirmed;
    // Its job was sent to the backend and no one polls it now (the account signed out while it
    // developed, or the batch was reopened signed out or without its original), so its record
    // stays "developing" and the job is collected later. Set from a stored record or by the job
    // runner; ends with the next job id the item is given, which is also how the job runner marks
    // a job it took up.
    bool jobAwaitsCollection = false;
    // The user id of the account that submitted the job: only that account collects it. Absent
    // for jobs recorded before it was kept.
    std::optional<std::string> jobAccount;

    const std::filesystem::path& url() const { return url_; }
    const std::optional<SourceImage>& source() const { return source_; }
    const std::optional<PictureHandle>& thumbnail() const { return thumbnail_; }
    const Availability& availability() const { return availability_; }
    const std::string& addition() const { return addition_; }
    const std::optional<std::string>& unlinkedNudge() const { return unlinkedNudge_; }
    double strengthOffset() const { return strengthOffset_; }
    bool strengthTouched() const { return strengthTouched_; }
    double colourOffset() const { return colourOffset_; }
    bool colourTouched() const { return colourTouched_; }
    bool useAlternative() const { return useAlternative_; }
    const ItemPhase& phase() const { return phase_; }
    const std::optional<std::string>& jobId() const { return jobId_; }
    const std::optional<Date>& startedAt() const { return startedAt_; }
    const std::shared_ptr<const JobOutcome>& result() const { return result_; }
    const std::optional<PictureHandle>& previewImage() const { return previewImage_; }
    const std::optional<PictureHandle>& originalPreview() const { return originalPreview_; }
    // The result's kept thumbnail, which a reopened item shows until its first preview is made.
    const std::optional<PictureHandle>& developedThumbnail() const { return developedThumbnail_; }
    const std::optional<DevelopedCopy>& developedCopy() const { return developedCopy_; }
    const std::optional<std::string>& note() const { return note_; }
    const std::optional<std::string>& lastError() const { return lastError_; }
    const std::optional<double>& exportProgress() const { return exportProgress_; }
    bool exportWaiting() const { return exportWaiting_; }
    const std::optional<std::filesystem::path>& exportedTo() const { return exportedTo_; }

    void setUrl(std::filesystem::path url);
    void setSource(std::optional<SourceImage> source);
    void setThumbnail(std::optional<PictureHandle> thumbnail);
    void setAvailability(Availability availability);
    void setAddition(std::string addition);
    void setUnlinkedNudge(std::optional<std::string> nudge);
    void setStrengthOffset(double offset);
    void setStrengthTouched(bool touched);
    void setColourOffset(double offset);
    void setColourTouched(bool touched);
    void setUseAlternative(bool use);
    void setPhase(ItemPhase phase);
    void setJobId(std::optional<std::string> jobId);
    void setStartedAt(std::optional<Date> startedAt);
    void setResult(std::shared_ptr<const JobOutcome> result);
    void setPreviewImage(std::optional<PictureHandle> preview);
    void setOriginalPreview(std::optional<PictureHandle> preview);
    void setDevelopedThumbnail(std::optional<PictureHandle> thumbnail);
    void setDevelopedCopy(std::optional<DevelopedCopy> copy);
    void setNote(std::optional<std::string> note);
    void setLastError(std::optional<std::string> error);
    void setExportProgress(std::optional<double> progress);
    void setExportWaiting(bool waiting);
    void setExportedTo(std::optional<std::filesystem::path> file);
    // The backend will never hand over the item's job, and spent nothing on it: the picture is
    // ready to be sent anew, its line saying why.
    void dropForgottenJob();

    // Whether the photographer may send this item to be developed now: nothing developed, kept or
    // under way, not colour only, and its original loaded.
    bool canProcess() const;

    // The item as its library record, or nothing while it has no reference to its original.
    std::optional<ImageRecord> record() const;
    // Copies a stored record onto the item; its phase is left to the caller. A record still
    // developing leaves its job awaiting collection.
    void apply(const ImageRecord& record);

    // The nudge sent for this item given the batch nudge: its own text while unlinked, else the
    // batch nudge immediately followed by its addition.
    std::string effectiveNudge(const std::string& global) const;
    // Stores the nudge the photographer edited for this item: the part after the batch nudge
    // while the text begins with it, else the whole text, which unlinks the item.
    void setNudge(const std::string& text, const std::string& global);
    // Makes an unlinked item follow the batch nudge again, keeping what it added after it.
    void relinkNudge(const std::string& global);

private:
    template <class T>
    void store(T& member, T value, Field field)
    {
        member = std::move(value);
        changed.emit(field);
    }

    std::filesystem::path url_;
    std::optional<SourceImage> source_;
    std::optional<PictureHandle> thumbnail_;
    Availability availability_;
    std::string addition_;
    std::optional<std::string> unlinkedNudge_;
    double strengthOffset_ = 0;
    bool strengthTouched_ = false;
    double colourOffset_ = 0;
    bool colourTouched_ = false;
    bool useAlternative_ = false;
    ItemPhase phase_ = phase::Ready{};
    std::optional<std::string> jobId_;
    std::optional<Date> startedAt_;
    std::shared_ptr<const JobOutcome> result_;
    std::optional<PictureHandle> previewImage_;
    std::optional<PictureHandle> originalPreview_;
    std::optional<PictureHandle> developedThumbnail_;
    std::optional<DevelopedCopy> developedCopy_;
    std::optional<std::string> note_;
    std::optional<std::string> lastError_;
    std::optional<double> exportProgress_;
    bool exportWaiting_ = false;
    std::optional<std::filesystem::path> exportedTo_;
};

} // namespace oxel
