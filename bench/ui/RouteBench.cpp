// How fast the window moves from the sign-in screen to the main screen once the account is
// signed in, to the first painted frame of the main window over an empty batch. Not run by CTest.
#include "app/MainView.h"
#include "ui/BenchModel.h"
#include "ui/screens/RootSource.h"
#include "ui/screens/RootView.h"

#include <QCoreApplication>
#include <QTest>
#include <benchmark/benchmark.h>

namespace oxel {
namespace {

// An account that signs in and out at the benchmark's word, with both providers configured and
// no announcement.
class SwitchingAccount : public RootSource {
public:
    AuthState state = AuthState::signedOut();

    bool updateRequired() const override { return false; }
    std::optional<QVariantMap> announcement() const override { return std::nullopt; }
    AuthState authState() const override { return state; }
    bool signInBusy() const override { return false; }
    std::optional<QString> signInError() const override { return std::nullopt; }
    bool appleConfigured() const override { return true; }
    bool googleConfigured() const override { return true; }
    void signInWithApple() override {}
    void signInWithGoogle() override {}
    void checkForUpdates() override {}
    void dismissAnnouncement() override {}
    void refreshBalance() override {}
    void openURL(const QUrl&) override {}

    void become(AuthState next)
    {
        state = std::move(next);
        publishChange();
    }
};

void BM_RouteToMain(benchmark::State& state)
{
    bench::BenchModel bench("route");
    SwitchingAccount account;
    RootView root(account, mainViewMaker(bench.model, {}));
    root.resize(1200, 800);
    root.show();
    if (!QTest::qWaitForWindowExposed(&root)) return state.SkipWithError("the window did not show");
    for (auto _ : state) {
        state.PauseTiming();
        account.become(AuthState::signedOut());
        root.repaint();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        state.ResumeTiming();
        account.become(AuthState::signedIn("7"));
        root.repaint();
    }
}
BENCHMARK(BM_RouteToMain)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
} // namespace oxel
