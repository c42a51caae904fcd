#pragma once

#include "async/Completion.h"
#include "async/Debounce.h"
#include "async/Signal.h"
#include "async/Task.h"
#include "async/TaskScope.h"
#include "backend/AppConfig.h"
#include "backend/AuthService.h"
#include "backend/BalanceResponse.h"
#include "backend/ProProduct.h"
#include "develop/DevelopSettings.h"
#include "export/ExportOptions.h"
#include "library/BatchItem.h"
#include "library/BatchRecord.h"
#include "library/BatchSummary.h"
#include "library/JobRunner.h"
#include "library/Origin.h"
#include "model/BatchSaver.h"
#include "model/CompareCoach.h"
#include "model/ExportTurns.h"
#include "model/HandoffApp.h"
#include "model/IntakeFiles.h"
#include "model/LibraryRebuild.h"
#include "model/ModelServices.h"
#include "model/ModelSettings.h"
#include "model/OriginalCheck.h"
#include "model/PreviewRenderer.h"
#include "model/RoomWait.h"
#include "ondevice/BatchNamer.h"
#include "ondevice/ColourOnlyResult.h"
#include "platform/JsonFields.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace oxel {

// The one application model: the open batch, the batch look, the remote data and the flags that
// present sheets. Views observe `changed` and read the new value; every item tells its own changes.
// Main thread only.
class AppModel {
public:
    enum class Screen { input, results };
    // One per published property, announced after the value is stored.
    enum class Field {
        items,
        screen,
        globalNudge,
        globalStrength,
        globalColour,
        alternativesOn,
        config,
        balance,
        products,
        updateRequired,
        announcement,
        nudgePlaceholders,
        statusLine,
        lastBatchSource,
        showConfirm,
        showExport,
        showCredits,
        showAccount,
        lightbox,
        batch,
        recent,
        showBatches,
        showRename,
        setupGuide,
        colourOnlyOn,
        colourOnlyModelReady,
        colourOnlyMissing,
        showColourExplainer,
        reporting,
        resetSettingsEachBatch,
        backendUnreachable,
    };
    // How many fields there are: a field added after the last moves this.
    static constexpr unsigned fieldCount = unsigned(Field::backendUnreachable) + 1;

    static constexpr std::chrono::seconds configStaleness{600};
    static constexpr std::chrono::seconds configRequestTimeout{10};
    static constexpr int mostJobsInFlight = 4;
    // Amounts closer than this to another count as equal.
    static constexpr double amountTolerance = 0.0005;

    explicit AppModel(ModelServices services);
    ~AppModel();
    AppModel(const AppModel&) = delete;
    AppModel& operator=(const AppModel&) = delete;

    Signal<Field> changed;

    // Published state.
    const std::vector<std::shared_ptr<BatchItem>>& items() const { return items_; }
    Screen screen() const { return screen_; }
    void setScreen(Screen screen);
    const std::string& globalNudge() const { return globalNudge_; }
    // Stores the text, then handles the change against the text it replaced.
    void setGlobalNudge(std::string nudge);
    double globalStrength() const { return globalStrength_; }
    void setGlobalStrength(double strength);
    double globalColour() const { return globalColour_; }
    void setGlobalColour(double colour);
    bool alternativesOn() const { return alternativesOn_; }
    void setAlternativesOn(bool on);
    const AppConfig& config() const { return config_; }
    const std::optional<BalanceResponse>& balance() const { return balance_; }
    const std::optional<ProProductsResponse>& products() const { return products_; }
    bool updateRequired() const { return updateRequired_; }
    const std::optional<Json>& announcement() const { return announcement_; }
    const std::vector<std::string>& nudgePlaceholders() const { return nudgePlaceholders_; }
    const std::optional<std::string>& statusLine() const { return statusLine_; }
    const std::optional<std::string>& lastBatchSource() const { return lastBatchSource_; }
    bool showConfirm() const { return showConfirm_; }
    void setShowConfirm(bool show);
    bool showExport() const { return showExport_; }
    void setShowExport(bool show);
    bool showCredits() const { return showCredits_; }
    void setShowCredits(bool show);
    bool showAccount() const { return showAccount_; }
    void setShowAccount(bool show);
    const std::shared_ptr<BatchItem>& lightbox() const { return lightbox_; }
    void setLightbox(std::shared_ptr<BatchItem> item);
    const std::optional<BatchRecord>& batch() const { return batch_; }
    const std::vector<BatchSummary>& recent() const { return recent_; }
    bool showBatches() const { return showBatches_; }
    void setShowBatches(bool show);
    bool showRename() const { return showRename_; }
    void setShowRename(bool show);
    const std::optional<HandoffApp>& setupGuide() const { return setupGuide_; }
    void setSetupGuide(std::optional<HandoffApp> app);
    bool colourOnlyOn() const { return colourOnlyOn_; }
    bool colourOnlyModelReady() const { return colourOnlyModelReady_; }
    const std::optional<std::string>& colourOnlyMissing() const { return colourOnlyMissing_; }
    bool showColourExplainer() const { return showColourExplainer_; }
    const std::set<Uuid>& reporting() const { return reporting_; }
    // The developing jobs' status requests have gone unanswered for a while (the runner's word).
    bool backendUnreachable() const { return runner_.unreachable(); }

    // Plain state.
    bool launchedByHandoff = false;
    std::optional<std::string> handoffSender;
    AuthService& auth() { return auth_; }
    JobRunner& runner() { return runner_; }
    ModelSettings& settings() { return settings_; }

    // The batch look and the standing look.
    bool resetSettingsEachBatch() const { return settings_.resetSettingsEachBatch(); }
    // Stores the preference and tells the views that show it.
    void setResetSettingsEachBatch(bool reset);
    double standingValue(std::string_view suffix) const { return settings_.standingValue(suffix); }
    void saveStanding();
    bool hasStandingChanges() const;
    void resetStanding();
    // What of the open batch waits to be written, and the writing.
    BatchSaver& saving() { return saving_; }
    const BatchSaver& saving() const { return saving_; }

    // Launch, activation and remote data.
    void launch();
    void refreshConfigIfStale();
    Task<void> refreshConfig();
    void applyConfig(const AppConfig& config, const std::string& body);
    Task<void> refreshBalance();
    // Fetches the balance `balanceGathering` from now; the calls that come meanwhile share that
    // one fetch, and a call while it runs is answered by one more after it.
    void refreshBalanceSoon();
    static constexpr std::chrono::seconds balanceGathering{1};
    // Fetches the balance, and again after 1, 2, 4... s while none is known (a backend that
    // starts after the program, say), `balanceRetries` times at most.
    Task<void> refreshBalanceUntilKnown();
    static constexpr std::chrono::seconds balanceFirstRetry{1};
    static constexpr int balanceRetries = 6;
    // Fetches the balance when none is known: the sheets that show the roll ask as they open.
    void ensureBalance();
    Task<void> loadMessage();
    void dismissAnnouncement();
    Task<void> refreshSuggestions();
    void refreshColourOnlyAvailability();

    // Intake.
    void addDropped(const std::vector<std::filesystem::path>& urls);
    // `notPictures`: the files of dropped folders left out as not pictures, told with the files
    // that could not be read.
    void add(const std::vector<std::filesystem::path>& urls, Origin origin, std::string label,
             std::optional<std::string> sender, int notPictures = 0);
    // Whether the file (standardized) is still being read to join the batch.
    bool importPending(const std::filesystem::path& file) const { return pendingImports_.contains(file); }

    // Batch control.
    void newBatch();
    // "new batch" and opening another batch as the photographer asks for them: pictures not
    // processed yet, which live nowhere but the window, are dropped only once the question about
    // them was answered so.
    void requestNewBatch();
    void requestOpenBatch(const Uuid& id);
    // Pictures not processed yet: only processing keeps them, and their nudges, in the library.
    int unprocessedCount() const;
    // The question asked before `dropping` (quitting, a new batch) lets them go; the first button,
    // `keep`, is the safe answer, the second lets them go.
    static Alert unprocessedQuestion(int count, const std::string& dropping, std::string keep, std::string drop);
    void openFiles();
    void process();
    void receiveHandoff(const std::vector<std::filesystem::path>& urls, const std::optional<std::string>& sender);
    // An item's effective light strength and colour amount.
    double strength(const BatchItem& item) const;
    double colour(const BatchItem& item) const;
    // How the item is developed now: its runner-up choice, light strength and colour amount, and
    // the grain switch. Every preview, export and report picture of it is made from this value.
    DevelopSettings developSettings(const BatchItem& item) const;
    std::vector<std::shared_ptr<BatchItem>> itemsToProcess() const;
    std::vector<std::shared_ptr<BatchItem>> itemsWithResult() const;
    int inFlightCount() const;
    // Of those in flight, the pictures still waiting for a job slot, none of them sent.
    int waitingCount() const;
    // Results on screen that the library could not take yet (not those being written now).
    int unsavedResultCount() const;
    int failedCount() const;

    // Renders every developed item again once the batch's controls have rested.
    void restartPreviewTask() { previews_.restartPass(); }
    // The film grain switch, which every develop settings value carries. Setting it stores it and
    // renders the previews again; a value it already holds changes nothing.
    bool grainEnabled() const { return settings_.grainEnabled(); }
    void setGrainEnabled(bool on);
    // The previews of developed items, and what waits for a render.
    PreviewRenderer& previews() { return previews_; }
    // Raised by every new or opened batch; a task that outlives its batch sees it changed.
    uint64_t batchGeneration() const { return batchGeneration_; }

    // Keeping and saving.
    // Stores the item's kept render and analysis and then its record as done, each only once the
    // one before is on disk; true once all are there. Bytes that could not be stored stay on the
    // item, which says so, as does the status line.
    Task<bool> keep(std::shared_ptr<BatchItem> item);
    // The job runner's question after a delivery: whether its result is on disk.
    Task<JobRunner::Kept> keepDelivered(std::shared_ptr<BatchItem> item);
    // The job runner's question before a picture is sent: the item's record is written and on
    // disk, and the library has room for its result; otherwise the status line says so.
    Task<bool> libraryTakesJob(std::shared_ptr<BatchItem> item);
    static constexpr const char* unsavedNote = "not in the library yet · trying again";
    static constexpr const char* unsavedStatus =
        "a result could not be saved to the library · it stays here until it can be";
    // How often the library's disk is looked at again while pictures wait for room on it.
    static constexpr std::chrono::seconds roomLookInterval{3};
    static constexpr const char* libraryUnwritable = "the library can't be written · no shot used";
    // The bytes free on the library's disk and those the pictures not sent would take; of the
    // pictures sent together, how many went and how many are held back for room.
    static std::string libraryFullStatus(uintmax_t free, uintmax_t needed, int sent, int held);
    // What the window says of the library for the program's whole run: that this program may not
    // write it, or writes it without a lock.
    std::optional<std::string> libraryNotice() const;
    // What stays said whatever comes and goes: changes the disk refused, or the library's notice.
    std::optional<std::string> lastingStatus() const;
    static constexpr const char* libraryNotLockedStatus = "the library can't be locked · nothing is processed or saved";
    static constexpr const char* libraryUnlockedStatus =
        "this disk can't lock the library · keep to one oxel pro at a time";
    static constexpr const char* changesUnsavedStatus =
        "changes can't be saved to the library · kept here until they can be";
    static constexpr const char* folderReplacedStatus =
        "the library folder was moved or replaced · changes are kept here until the library folder is back or oxel pro "
        "starts again";
    // Why changes are not in the library yet: a refusing disk, or a folder that is no longer the one
    // this program locked.
    const char* unsavedChangesStatus() const;
    void ensureBatchStored();
    void saveNow() { saving_.saveNow(); }
    // Names the batch by its developed pictures once nothing is in flight, unless a better name stands.
    void nameBatchIfReady();
    bool naming() const { return naming_; }
    // Lists the library's batches into `recent`.
    Task<void> refreshRecent();
    bool mostlyPortrait() const;
    void stepLightbox(int step);
    LibraryStore& library() { return services_.library; }

    // Adjustments. A value that is not a finite number changes nothing; others are clamped to 0...1.
    void setStrength(double value, const std::shared_ptr<BatchItem>& item);
    void setColour(double value, const std::shared_ptr<BatchItem>& item);
    // The item follows the batch's value again.
    void resetStrength(const std::shared_ptr<BatchItem>& item);
    void resetColour(const std::shared_ptr<BatchItem>& item);
    // The nudge the photographer wrote for one item, read against the batch nudge: text that
    // begins with it keeps the item linked, other text unlinks it. Text it already holds changes nothing.
    void setNudge(const std::string& text, const std::shared_ptr<BatchItem>& item);
    // An unlinked item follows the batch nudge again, keeping what it added after it.
    void relinkNudge(const std::shared_ptr<BatchItem>& item);
    // Takes the runner-up look only when the item's result has one.
    void setUseAlternative(bool use, const std::shared_ptr<BatchItem>& item);
    // Whether the "alternatives" switch is offered.
    bool alternativesAvailable() const;
    // Sends a failed item to be developed again; nothing while signed out or while it is in flight.
    void retry(const std::shared_ptr<BatchItem>& item);
    // The developed picture a problem report sends: a JPEG at most 2048 pixels on its long edge,
    // made off the main thread; nothing when it cannot be made.
    Task<std::optional<std::vector<uint8_t>>> reportPicture(std::shared_ptr<const JobOutcome> result,
                                                            DevelopSettings settings) const;
    static constexpr double reportPictureEdge = 2048;

    // The hint that teaches comparing.
    CompareCoach& compareCoach() { return compareCoach_; }

    // Colour only: grading on this computer by the local model.
    // Stores the switch and writes it to the user defaults.
    void setColourOnlyOn(bool on);
    void setShowColourExplainer(bool show);
    // The switch's action: off when on; on at once once the explainer was confirmed, else the explainer.
    void colourOnlyTapped();
    void presentColourExplainer();
    void confirmColourExplainer();
    // The next "process" grades on this computer.
    bool colourOnlyInForce() const;
    // The items an on-device grade would take now, in batch order.
    std::vector<std::shared_ptr<BatchItem>> colourOnlyCandidates() const;
    // False only while the batch has been developed with colour only so far.
    bool batchUsesLight() const;
    // Queues the items and grades them one after another.
    void gradeOnDevice(std::vector<std::shared_ptr<BatchItem>> items, bool retry);
    // Grades again those of the items that have a result graded here.
    void regradeOnDevice(const std::vector<std::shared_ptr<BatchItem>>& items);
    // Drops the items' on-device results and readies them for colour and light.
    void developWithLight(const std::vector<std::shared_ptr<BatchItem>>& items);
    static constexpr const char* gradingStatus = "grading on this computer";
    static constexpr const char* gradeFailedNote = "couldn't grade this one on this computer · try colour and light";
    static constexpr const char* colourOnlyPausedStatus = "the local model isn't ready · colour only paused";

    // Export, send back, removing and reporting a picture, buying shots.
    // Exports every developed picture once per options entry into `folder` (one entry: the folder
    // itself; several: a sub-folder per format). `export` is a keyword, hence the name.
    void exportTo(const std::vector<ExportOptions>& options, const std::filesystem::path& folder);
    // One file of one picture as the tile starts it, in its export turn.
    void startExport(const std::shared_ptr<BatchItem>& item, std::filesystem::path url, ExportOptions options,
                     bool markDownloaded);
    // Exports started and not yet finished (the quit guard reads it).
    int exportsPending() const { return exports_.pending(); }
    // The hand-off pictures send back writes: developed, and their host's file neither located
    // elsewhere nor missing. "send N back" and its command count these.
    std::vector<std::shared_ptr<BatchItem>> sendBackItems() const;
    // Writes each hand-off picture over the file it was handed over in, when that can be done
    // faithfully; a run launched by a hand-off then closes once every picture went back.
    void sendBack();
    // Removes at once, or asks first when the picture holds a result.
    void confirmRemove(const std::shared_ptr<BatchItem>& item);
    void remove(const std::shared_ptr<BatchItem>& item);
    struct ReportTarget {
        std::string jobId;
        std::string userId;
    };
    // Whom a problem report about this picture's result would name; nothing when it can't be reported.
    std::optional<ReportTarget> reportTarget(const BatchItem& item) const;
    struct ReportOutcome {
        std::optional<std::string> reportId;
        bool pictureWent = false;
    };
    Task<ReportOutcome> sendReport(std::shared_ptr<BatchItem> item, bool openSupport);
    Task<void> reportThenRemove(std::shared_ptr<BatchItem> item);
    // Opens the product's checkout page for this account, then watches the roll for the shots.
    void buy(const ProProduct& product);
    // Announces the shots that arrive over `before`; without it, over the balance fetched first.
    Task<void> awaitShots(std::optional<int64_t> before);
    // Fetches the packs for sale; callers meanwhile share the one request. A failure keeps the list.
    Task<void> refreshProducts();
    static constexpr std::chrono::milliseconds sendBackPoll{300};
    static constexpr std::chrono::milliseconds sendBackClosing{900};
    static constexpr std::chrono::seconds shotsPoll{10};
    static constexpr int shotsPolls = 60;

    // How long the standing look rests before its file write.
    static constexpr std::chrono::milliseconds standingSaveDelay{300};
    static constexpr int originalCopyPixels = 512;
    static constexpr double originalCopyQuality = 0.8;

    // Library sessions: a stored batch opened, restored, renamed and moved to the Trash.
    // A restore mostly decodes on one thread (the original's check, the kept render), so as many
    // run at once as a photographer's machine has cores; each holds little once it is done.
    static constexpr int mostRestoresAtOnce = 8;
    void openBatch(const Uuid& id);
    void openMostRecent();
    void renameBatch(const std::string& name);
    void renameBatch(const Uuid& id, const std::string& name);
    void trashBatch(const Uuid& id);
    // The listed row's own folder: a copy of a batch's folder goes alone, the batch stays.
    void trashBatch(const BatchSummary& listed);

    // Originals that moved, changed or were sent back over. The true original of a picture sent
    // back lives in one file: the handed-over file as send back copied it before its first write,
    // or the original read back out of a layered file sent back over it.
    std::filesystem::path originalCacheURL(const Uuid& id) const;
    void locateOriginal(const std::shared_ptr<BatchItem>& item);
    void adoptLocatedOriginal(const std::filesystem::path& file, const std::shared_ptr<BatchItem>& item);
    void relinkOriginal(const std::shared_ptr<BatchItem>& item, SourceImage source, const std::filesystem::path& file);

    // The model's own tasks; they go before anything else of the model.
    TaskScope& tasks() { return *tasks_; }

    // What intake reads of one new original, and the file it came from.
    struct Imported;
    struct Arrival;

private:
    // Restores the opened items `mostRestoresAtOnce` at a time in order, then saves and names the batch once.
    Task<void> restoreItems(std::vector<std::shared_ptr<BatchItem>> items, Uuid batchId,
                            std::map<Uuid, ImageRecord> records, uint64_t generation);
    // Finds the item's original again, rebuilds its result or thumbnail and hands a running job
    // back to the runner; stops at each step once its batch is no longer open.
    Task<void> restoreItem(std::shared_ptr<BatchItem> item, ImageRecord record, Uuid batchId, uint64_t generation);
    void applyRestored(BatchItem& item, const ImageRecord& record, OriginalCheck check);
    // Hands the item's stored job back to the runner to be polled, not submitted again, when
    // its account is signed in and its original is loaded; otherwise the job keeps waiting.
    void resumeJobs(const std::shared_ptr<BatchItem>& item, double strength);
    // The backend said it no longer knows the account `userId`: it is signed out, and the jobs
    // accepted for it, which nobody can collect now, are given up, here and in batches opened later.
    void accountUnknown(const std::string& userId);
    // Gives up the item's job when it waits for an account the backend no longer knows; whether it did.
    bool dropJobOfUnknownAccount(const std::shared_ptr<BatchItem>& item);
    bool restoresInto(const std::shared_ptr<BatchItem>& item, const Uuid& batchId, uint64_t generation) const;
    void applyRebuilt(BatchItem& item, std::optional<RebuiltResult> rebuilt);
    OriginalPlaces originalPlaces() const;
    bool relinkTo(const std::shared_ptr<BatchItem>& item, const std::filesystem::path& file);
    Task<void> importAll(std::vector<std::filesystem::path> urls, Origin origin, std::optional<std::string> sender,
                         IntakeTally tally, uint64_t generation);
    // Appends the items of the originals read, in their order, in one change of the list.
    void appendImported(std::vector<Arrival> arrivals, Origin origin);
    std::shared_ptr<BatchItem> importedItem(const std::filesystem::path& url, Origin origin, Imported imported);
    void saveImported(const BatchItem& item, const Uuid& batch);
    void writeOriginalCopy(const BatchItem& item, const Uuid& batch);
    void settlePending(const std::filesystem::path& url);
    Task<void> nameBatch(std::vector<std::string> descriptions, std::vector<std::string> intents,
                         std::vector<BatchNamer::Coordinate> coordinates, Uuid batchId, uint64_t generation);
    // Sends, in the batch's order, the pictures whose results the library's disk has room for
    // besides those not stored yet, and holds back the rest, saying so.
    // `overOtherLines`: the line says so whatever line stands.
    void sendAsRoomAllows(const std::vector<std::shared_ptr<BatchItem>>& ready, const std::string& userId,
                          bool overOtherLines);
    // Looks at the disk again while pictures are held back for room: those it has room for now go,
    // and the line tells the free room as it is now.
    void lookForRoom();
    // Nothing waits for room any more: the line says so no longer.
    void endRoomLine();
    // Ends the wait for room, its held pictures and its line (a new batch, another account).
    void forgetRoomWait();
    void startDeveloping(const std::vector<std::shared_ptr<BatchItem>>& items, const std::string& userId);
    // How many of `sending`, from the first, the disk has room for.
    size_t picturesWithRoom(const std::vector<std::shared_ptr<BatchItem>>& sending);
    // Whether the library can take the result of the first picture of `sending` besides the
    // results not stored yet; when it can't, `sending` is held back for room and the line says so.
    bool libraryTakes(const std::vector<std::shared_ptr<BatchItem>>& sending);
    // Whether the library can be written; says why not when it can't.
    bool libraryWritable();
    void holdForRoom(const std::vector<std::shared_ptr<BatchItem>>& pictures);
    // The pictures held back for room, in the batch's order.
    std::vector<std::shared_ptr<BatchItem>> heldForRoom() const;
    // Those sent or dropped another way since are held no longer.
    void forgetHeldNoLongerReady();
    bool heldBefore(const BatchItem& picture) const;
    // Says how much the disk has free and how much the held pictures need, and looks again
    // `roomLookInterval` later.
    void sayRoomShort(bool overOtherLines);
    // The most a developed picture of the item adds to the library: unpacked, or once results of
    // the batch are stored, what they took for its size, with a margin.
    uintmax_t roomForResult(const BatchItem& item) const;
    // The size the item's picture is sent at, which its render comes back at.
    static std::pair<double, double> sentSize(const BatchItem& item);
    void measureStoredResults();
    // What the results not stored yet may take: of pictures sent and not collected, and of results
    // the disk has not taken yet; those of `sending` left out.
    uintmax_t roomForUnstoredResults(const std::vector<std::shared_ptr<BatchItem>>& sending) const;
    // The original's pixel size as loaded or recorded.
    static std::optional<std::pair<int64_t, int64_t>> originalSize(const BatchItem& item);
    Task<void> watchSendBack(std::vector<std::shared_ptr<BatchItem>> items);
    // How long a status line stands.
    enum class StatusKind {
        // A failure, or work under way: it stands until another line takes its place, the
        // photographer starts something, or its cause clears.
        standing,
        // A finished one-off event ("50 shots added to the roll"): it gives way to the progress
        // line as soon as the batch's progress moves.
        passing,
    };
    // Sets the one status line; clearing it shows the lasting line, when there is one.
    void setStatusLine(std::optional<std::string> text, StatusKind kind = StatusKind::standing);
    // The photographer started something: a standing line left from before goes.
    void photographerActs();
    void installSavingCallbacks();
    // The open batch's record as it now stands, stored and written.
    void writeBatchRecord();
    // What the progress line counts: back, developing, failed.
    struct Progress {
        int withResult = 0;
        int inFlight = 0;
        int failed = 0;
        bool operator==(const Progress&) const = default;
    };
    Progress progress() const;
    // An item's phase or result changed: a passing line set at another progress gives way.
    void progressMoved();
    void setLastBatchSource(std::optional<std::string> source);
    void setBatch(std::optional<BatchRecord> record);
    void setItems(std::vector<std::shared_ptr<BatchItem>> items);
    void applyStartLook();
    // Runs `then` at once with no picture unprocessed, else once the question about them was
    // answered with `drop`.
    void askBeforeDropping(const std::string& dropping, std::string drop, std::function<void()> then);
    // The next batch's generation: the work of the one before stops at its next step, and the files
    // its intake was still reading are no longer pending, so the same file dropped again comes in.
    uint64_t nextBatchGeneration();
    std::optional<std::string> accountId() const;
    void installRunnerCallbacks();
    // The deliveries the last run left unconfirmed go to the runner: those whose results are stored,
    // the library says which, off the main thread, when the last run did not know. The rest are let
    // go unconfirmed, as the backend keeps their jobs: the batch whose record holds one collects it
    // again.
    void handBackWaitingConfirmations();
    Task<void> confirmStoredAtLastEnd(std::set<std::string> unsure);
    // Jobs run under one account only: those of an account that left wait for it, and those that
    // waited for the account now signed in are collected.
    void accountChanged();
    bool holds(const std::shared_ptr<BatchItem>& item) const;
    void applyGlobalNudge(const std::string& previous);
    void applyTransferSettings(const AppConfig& config);
    void setUpdateRequired();
    void setBalance(BalanceResponse balance);
    template <typename Value>
    void publish(Value& member, Value value, Field field)
    {
        member = std::move(value);
        changed.emit(field);
    }
    bool stillOpen(const std::optional<Uuid>& batch, uint64_t generation) const;
    void globalLookChanged();
    Task<void> runOnDevice(std::vector<std::shared_ptr<BatchItem>> items, std::optional<Uuid> batch,
                           uint64_t generation, TransferLimits limits, bool retry);
    void applyGrade(const std::shared_ptr<BatchItem>& item, ColourOnlyGrade graded, const DevelopSettings& firstLook,
                    bool retry, const std::vector<std::shared_ptr<BatchItem>>& run);
    void applyColourOnlyResult(const std::shared_ptr<BatchItem>& item, ColourOnlyResult result,
                               const DevelopSettings& firstLook, bool retry);
    void pauseColourOnly(const std::vector<std::shared_ptr<BatchItem>>& run);
    void readyForLight(const std::shared_ptr<BatchItem>& item);
    Task<void> thumbnailFromSource(std::shared_ptr<BatchItem> item);
    // The colour-only road of "process".
    void processOnDevice();
    // Called when the runner delivered, submitted or settled an item of the open batch.
    void jobFinished(const std::shared_ptr<BatchItem>& item);
    void jobSubmitted(const std::shared_ptr<BatchItem>& item);
    void jobSettled(const std::shared_ptr<BatchItem>& item);
    void installPreviewCallbacks();

    ModelServices services_;
    ModelSettings settings_;

    std::vector<std::shared_ptr<BatchItem>> items_;
    Screen screen_ = Screen::input;
    std::string globalNudge_;
    double globalStrength_ = 1.0;
    double globalColour_ = 1.0;
    bool alternativesOn_ = false;
    AppConfig config_ = AppConfig::defaults();
    std::optional<BalanceResponse> balance_;
    std::optional<ProProductsResponse> products_;
    bool updateRequired_ = false;
    std::optional<Date> lastConfigFetch_;
    std::optional<Json> announcement_;
    std::vector<std::string> nudgePlaceholders_;
    std::optional<std::string> statusLine_;
    Progress statusProgress_;
    StatusKind statusKind_ = StatusKind::standing;
    std::vector<Connection> itemsProgress_;
    std::optional<std::string> lastBatchSource_;
    bool showConfirm_ = false;
    bool showExport_ = false;
    bool showCredits_ = false;
    bool showAccount_ = false;
    std::shared_ptr<BatchItem> lightbox_;
    std::optional<BatchRecord> batch_;
    RoomWait roomWait_{roomLookInterval};
    // Images of the open batch whose records this version could not read: kept in its list.
    std::set<Uuid> unreadableImages_;
    std::vector<BatchSummary> recent_;
    bool showBatches_ = false;
    bool showRename_ = false;
    std::optional<HandoffApp> setupGuide_;
    bool colourOnlyOn_ = false;
    bool colourOnlyModelReady_ = false;
    std::optional<std::string> colourOnlyMissing_;
    bool showColourExplainer_ = false;
    std::set<Uuid> reporting_;

    bool restoringBatch_ = false;
    uint64_t batchGeneration_ = 0;
    bool naming_ = false;
    // Standardized files of imports not yet handled, with how many times each is pending.
    std::map<std::filesystem::path, int> pendingImports_;
    Debounce standingDebounce_{standingSaveDelay};
    BatchSaver saving_{BatchSaver::Environment{&services_.library}};
    PreviewRenderer previews_{PreviewRenderer::Environment::standard(services_.pool)};

    CompareCoach compareCoach_{CompareCoach::Environment{&services_.settings, &services_.clock}};

    // Exports and the shop's shared products request.
    void installExportCallbacks();
    Task<void> exportOne(std::shared_ptr<BatchItem> item, std::filesystem::path url, ExportOptions options,
                         bool markDownloaded);
    // `beforeReplacing` is asked just before the file replaces what is at `url`; a reason refuses it.
    Task<std::optional<std::string>> exportItem(std::shared_ptr<BatchItem> item, std::filesystem::path url,
                                                ExportOptions options, bool markDownloaded,
                                                std::function<std::optional<std::string>()> beforeReplacing = {});
    Task<void> sendBackOne(std::shared_ptr<BatchItem> item, ExportOptions options);
    ExportTurns exports_;
    bool fetchingProducts_ = false;
    // The gathered balance fetch: one is wanted, and its task is under way.
    Task<void> gatherBalanceFetches();
    bool balanceWanted_ = false;
    bool balanceGathering_ = false;
    std::vector<Completion<bool>> productsWaiters_;

    AuthService auth_;
    JobRunner runner_;
    Connection availabilityConnection_;
    Connection authConnection_;
    Connection runnerConnection_;
    // Last, so it goes first: no task of the model outlives what it uses.
    std::unique_ptr<TaskScope> tasks_;
};

} // namespace oxel
