#pragma once

#include "backend/Utf8Text.h"
#include "library/CaptureSpan.h"
#include "library/InternetDate.h"
#include "platform/Decoded.h"
#include "platform/JsonFields.h"
#include "platform/Uuid.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace oxel {

// A stored batch (its batch.json): its name and who gave it, its dates, the batch's steering and
// its images in order.
struct BatchRecord {
    // Who named the batch, in rising rank: automatic naming never replaces a higher one.
    enum class NameSource { date, rule, model, person };

    int64_t format = 1;
    Uuid id;
    std::string name;
    NameSource nameSource = NameSource::date;
    Date createdAt;
    Date updatedAt;
    std::optional<CaptureSpan> captured;
    std::optional<std::string> place;
    std::optional<std::string> account; // the user id the batch was made under
    std::string nudge;
    double strength = 0;
    double colour = 0;
    bool alternativesOn = false;
    std::vector<Uuid> images;

    bool operator==(const BatchRecord&) const = default;

    // A name as a batch keeps it, whoever gave it (the model, the rules or the photographer): one
    // line of at most this many characters, with nothing that reorders the text around it.
    static constexpr size_t longestName = 100;
    static std::string fittedName(std::string_view name) { return oneLineText(name, longestName); }

    // The record as batch.json holds it; reading fails on anything but the strict form.
    static Decoded<BatchRecord> decode(std::string_view bytes);
    Decoded<std::string> encode() const;

    static BatchRecord read(const Json& object);
    Json json() const;
};

} // namespace oxel
