#pragma once

#include "async/Debounce.h"
#include "async/Signal.h"
#include "async/TimeSource.h"
#include "library/InternetDate.h"
#include "platform/SettingsStore.h"
#include "platform/Uuid.h"

#include <chrono>
#include <optional>
#include <set>

namespace oxel {

// Decides when the hint that teaches comparing (holding the space bar) is shown: once when the
// results screen comes up and once after three different pictures were opened large, never to
// someone who compared in the last week or in this batch, and on the results screen not again
// within 12 hours of the last hint. The hint hides itself after 5 s. The view animates; the coach
// only flips `showing`. Main thread only.
class CompareCoach {
public:
    // Where the two dates are kept and where "now" comes from; `standard()` is the application's.
    struct Environment {
        SettingsStore* settings;
        const TimeSource* clock;

        static Environment standard();
    };

    static constexpr std::chrono::seconds compareWindow{604'800};
    static constexpr std::chrono::seconds resultsHintWindow{43'200};
    static constexpr std::chrono::seconds displayTime{5};
    static constexpr size_t lightboxCount = 3;

    explicit CompareCoach(Environment environment = Environment::standard());
    CompareCoach(const CompareCoach&) = delete;
    CompareCoach& operator=(const CompareCoach&) = delete;

    // Announced after the flag is stored.
    bool showing() const { return showing_; }
    Signal<bool> showingChanged;

    bool comparedThisBatch() const { return comparedThisBatch_; }
    // The moment the photographer last compared, or none.
    std::optional<Date> compareLastUsed() const;
    // A compare less than a week ago, or one dated in the future.
    bool comparedRecently() const;

    // The open batch changed to this one (none: no batch).
    void batchChanged(std::optional<Uuid> batch);
    void resultsShown();
    // The lightbox opened a picture that has a result.
    void lightboxShowed(const Uuid& picture);
    // The photographer compared: remembers when, stops both hints for this batch and hides.
    void compared();
    void show();
    void hide();

private:
    void setShowing(bool showing);
    Date now() const { return environment_.clock->now(); }

    Environment environment_;
    bool showing_ = false;
    std::optional<Uuid> batchKey_;
    bool comparedThisBatch_ = false;
    bool spokeOnResults_ = false;
    bool spokeInLightbox_ = false;
    std::set<Uuid> seenLarge_;
    // The pending automatic hide; goes with the coach.
    Debounce hideTimer_{displayTime};
};

} // namespace oxel
