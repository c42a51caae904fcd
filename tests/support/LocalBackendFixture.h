#pragma once

#include "backend/HttpSession.h"
#include "localbackend/LocalBackend.h"
#include "localbackend/LocalRelight.h"
#include "platform/SettingsStore.h"

#include <gtest/gtest.h>

#include <string>

namespace oxel::testing {

// One local backend for the whole test program, on an ephemeral port, with jobs that finish at
// once; every time limit of the client shrunk twenty-fold. Each test starts with no faults, no
// recorded requests and a freshly signed-in account in the user defaults.
class LocalBackendTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    static local::LocalBackend& backend();

    // Signs a new account in at the local backend and stores it in the user defaults.
    local::Account signInFreshAccount();
    void forgetAccount();

    // The requests the backend received whose path starts with `path`.
    std::vector<local::ReceivedRequest> requestsTo(const std::string& path) const;

    local::Account account;
};

// A JPEG of a smooth warm gradient, `width` × `height`.
std::string gradientJPEG(int width, int height);

// A local picture decoded from JPEG bytes (for checking results).
local::RgbPicture decodedPicture(const std::string& jpeg);

} // namespace oxel::testing
