#include "ondevice/CaptureSpanLabel.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

namespace oxel {
namespace {

// Sets the process's time zone for one test and puts the previous one back.
class TimeZone {
public:
    explicit TimeZone(const char* zone)
    {
        if (const char* previous = std::getenv("TZ")) previous_ = previous;
        setenv("TZ", zone, 1);
        tzset();
    }
    ~TimeZone()
    {
        if (previous_)
            setenv("TZ", previous_->c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

private:
    std::optional<std::string> previous_;
};

Date at(const char* internetDate)
{
    return *InternetDate::parse(internetDate);
}

std::string label(const char* from, const char* to)
{
    return captureSpanLabel(CaptureSpan{at(from), at(to)}, at("2000-01-01T12:00:00Z"));
}

TEST(CaptureSpanLabel, ReadsEachFormOfASpanForward)
{
    TimeZone london("Europe/London");
    EXPECT_EQ(label("2025-03-03T09:00:00Z", "2025-03-03T18:00:00Z"), "3 mar 2025");
    EXPECT_EQ(label("2025-02-28T10:00:00Z", "2025-03-02T10:00:00Z"), "28 feb to 2 mar 2025");
    EXPECT_EQ(label("2025-03-03T10:00:00Z", "2025-03-09T10:00:00Z"), "3 to 9 mar 2025");
    EXPECT_EQ(label("2024-12-30T10:00:00Z", "2025-01-02T10:00:00Z"), "30 dec 2024 to 2 jan 2025");
}

TEST(CaptureSpanLabel, WithoutASpanNamesTheFallbackDay)
{
    TimeZone london("Europe/London");
    EXPECT_EQ(captureSpanLabel(std::nullopt, at("2025-06-05T08:00:00Z")), "5 jun 2025");
}

TEST(CaptureSpanLabel, UsesTheBritishMonthAbbreviationsWhateverTheLocale)
{
    TimeZone london("Europe/London");
    const char* expected[] = {"jan", "feb", "mar", "apr", "may", "jun", "jul", "aug", "sept", "oct", "nov", "dec"};
    for (int month = 1; month <= 12; ++month) {
        const std::string date = "2025-" + std::string(month < 10 ? "0" : "") + std::to_string(month) + "-15T12:00:00Z";
        EXPECT_EQ(captureSpanLabel(std::nullopt, at(date.c_str())), "15 " + std::string(expected[month - 1]) + " 2025");
    }
}

TEST(CaptureSpanLabel, CountsDaysInTheSystemTimeZone)
{
    // 23:30 and 00:30 UTC: one evening in New York, two days in London.
    const char* from = "2025-03-03T23:30:00Z";
    const char* to = "2025-03-04T00:30:00Z";
    {
        TimeZone newYork("America/New_York");
        EXPECT_EQ(label(from, to), "3 mar 2025");
    }
    {
        TimeZone london("Europe/London");
        EXPECT_EQ(label(from, to), "3 to 4 mar 2025");
    }
    {
        TimeZone tokyo("Asia/Tokyo");
        EXPECT_EQ(label(from, to), "4 mar 2025");
    }
}

} // namespace
} // namespace oxel
