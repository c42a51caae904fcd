#include "support/LocalBackendFixture.h"

#include "backend/BackendBaseURL.h"
#include "support/TemporaryFolder.h"

#include <cstdlib>
#include <memory>

namespace oxel::testing {
namespace {

constexpr double clientTimeScale = 0.05;

struct SharedBackend {
    TemporaryFolder configHome;
    std::unique_ptr<local::LocalBackend> backend;

    SharedBackend()
    {
        // The user defaults of this test program live in a folder of their own, and the account
        // record never reaches the user's own secret store.
        setenv("XDG_CONFIG_HOME", configHome.path().c_str(), 1);
        if (!std::getenv("OXEL_TEST_SECRET_SERVICE"))
            setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/oxel-test-bus", 1);
        local::LocalBackend::Options options;
        options.instant = true;
        backend = std::make_unique<local::LocalBackend>(options);
        if (!backend->start()) std::abort();
        overrideBackendBaseURL(backend->baseURL());
        HttpSession::setTimeScale(clientTimeScale);
    }
};

SharedBackend& shared()
{
    static SharedBackend instance;
    return instance;
}

} // namespace

local::LocalBackend& LocalBackendTest::backend()
{
    return *shared().backend;
}

void LocalBackendTest::SetUp()
{
    backend().clearFaults();
    backend().setAnnouncement(std::nullopt);
    account = signInFreshAccount();
    backend().forgetReceivedRequests();
}

void LocalBackendTest::TearDown()
{
    backend().clearFaults();
    HttpSession::setMaxAnswerBytes(HttpSession::defaultMaxAnswerBytes);
}

local::Account LocalBackendTest::signInFreshAccount()
{
    static int counter = 0;
    auto signedIn = backend().state().signIn("apple", "test-subject-" + std::to_string(++counter));
    auto& defaults = SettingsStore::shared();
    defaults.set("userId", std::to_string(signedIn.userId));
    defaults.set("accountToken", signedIn.token);
    return signedIn;
}

void LocalBackendTest::forgetAccount()
{
    SettingsStore::shared().remove("userId");
    SettingsStore::shared().remove("accountToken");
}

std::vector<local::ReceivedRequest> LocalBackendTest::requestsTo(const std::string& path) const
{
    std::vector<local::ReceivedRequest> matching;
    for (auto& request : backend().receivedRequests())
        if (request.path.rfind(path, 0) == 0) matching.push_back(request);
    return matching;
}

std::string gradientJPEG(int width, int height)
{
    local::RgbPicture picture{width, height, std::vector<uint8_t>(size_t(width) * height * 3)};
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            uint8_t* p = &picture.pixels[(size_t(y) * width + x) * 3];
            p[0] = uint8_t(80 + 150 * x / std::max(1, width - 1));
            p[1] = uint8_t(60 + 120 * y / std::max(1, height - 1));
            p[2] = uint8_t(50 + 40 * (x + y) / std::max(1, width + height - 2));
        }
    }
    return local::encodeJPEG(picture, 90);
}

local::RgbPicture decodedPicture(const std::string& jpeg)
{
    return local::decodeReduced(jpeg, 1 << 20).value_or(local::RgbPicture{});
}

} // namespace oxel::testing
