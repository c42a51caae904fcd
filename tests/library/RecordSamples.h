#pragma once

#include "library/BatchRecord.h"
#include "library/ImageRecord.h"

#include <chrono>

namespace oxel::samples {

using namespace std::chrono;

// 2026-05-17T09:41:07Z and later seconds of that morning.
inline Date morning(int secondsLater = 0)
{
    return Date(sys_days(2026y / May / 17) + hours(9) + minutes(41) + seconds(7 + secondsLater));
}

inline Uuid uuid(const char* text)
{
    return *Uuid::parse(text);
}

// Every optional present, bytes that are not text.
inline ImageRecord fullImageRecord()
{
    ImageRecord record;
    record.id = uuid("6F9619FF-8B86-D011-B42D-00C04FC964FF");
    record.original.path = "/home/ana/Pictures/2026/harbour/IMG_0042.JPG";
    record.original.bookmark = std::vector<uint8_t>{0x00, 0xFF, 0x7B, 0x22, 0x80, 0x0A};
    record.original.volume = "CARD 01";
    record.original.stamp = FileStamp{18'446'744'073, morning(-60)};
    record.original.pixels = {6000, 4000};
    record.original.captured = morning(-3600);
    record.original.latitude = -33.8568;
    record.original.longitude = 151.2153;
    record.original.handoff = true;
    record.original.sender = "lightroom";
    record.original.metadata = std::vector<uint8_t>{'E', 'x', 'i', 'f', 0, 0, 0xC3};
    record.state = ImageRecord::State::done;
    record.jobId = "job_7f3a";
    record.addition = " and warmer";
    record.unlinkedNudge = "golden hour, quiet";
    record.strengthOffset = -0.125;
    record.strengthTouched = true;
    record.colourOffset = 0.25;
    record.colourTouched = true;
    record.useAlternative = true;
    record.renderFile = "render.jpg";
    record.exports = {{"/home/ana/Out/IMG_0042.psd", "psd", morning(30)}, {"/tmp/x.heic", "heic", morning(40)}};
    record.sentBack = FileStamp{123'456, morning(50)};
    record.mode = ImageRecord::Mode::colour;
    record.grainBaked = false;
    return record;
}

// Only the required fields.
inline ImageRecord minimalImageRecord()
{
    ImageRecord record;
    record.id = uuid("00000000-0000-4000-8000-000000000001");
    record.original.path = "IMG_1.png";
    record.original.pixels = {1, 1};
    return record;
}

inline BatchRecord fullBatchRecord()
{
    BatchRecord record;
    record.id = uuid("E621E1F8-C36C-495A-93FC-0C247A3E6E5F");
    record.name = "harbour at dawn";
    record.nameSource = BatchRecord::NameSource::person;
    record.createdAt = morning();
    record.updatedAt = morning(90);
    record.captured = CaptureSpan{morning(-7200), morning(-3600)};
    record.place = "Sydney";
    record.account = "4242";
    record.nudge = "soft light";
    record.strength = 0.8;
    record.colour = 0.6;
    record.alternativesOn = true;
    record.images = {fullImageRecord().id, minimalImageRecord().id};
    return record;
}

inline BatchRecord minimalBatchRecord()
{
    BatchRecord record;
    record.id = uuid("E621E1F8-C36C-495A-93FC-0C247A3E6E60");
    record.name = "17 may 2026";
    record.createdAt = morning();
    record.updatedAt = morning();
    return record;
}

} // namespace oxel::samples
