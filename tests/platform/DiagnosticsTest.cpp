#include "platform/Diagnostics.h"

#include <gtest/gtest.h>

namespace oxel {
namespace {

std::string said(const std::function<void()>& saying)
{
    ::testing::internal::CaptureStderr();
    saying();
    return ::testing::internal::GetCapturedStderr();
}

TEST(Diagnostics, EachEventIsOneLineUnderItsComponentOrTheApplicationsName)
{
    EXPECT_EQ(said([] { diagnose("settings", "not saved: disk full"); }), "[settings] not saved: disk full\n");
    EXPECT_EQ(said([] { diagnoseAs("oxel pro library", "could not write batch.json: denied"); }),
              "oxel pro library: could not write batch.json: denied\n");
    EXPECT_EQ(said([] { diagnose("metadata", "bad tag\nin the second block\n"); }),
              "[metadata] bad tag in the second block\n")
        << "a library's own line breaks do not split the event";
    EXPECT_EQ(said([] { diagnose("ColourOnly", "declined (none) in 12 ms: "); }),
              "[ColourOnly] declined (none) in 12 ms: \n")
        << "the message is kept as it stands";
}

} // namespace
} // namespace oxel
