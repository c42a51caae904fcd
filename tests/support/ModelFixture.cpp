#include "support/ModelFixture.h"

#include "backend/BackendBaseURL.h"
#include "backend/HttpSession.h"
#include "platform/SettingsStore.h"
#include "support/PictureFiles.h"
#include "support/VirtualClockBackend.h"

#include <cstdlib>
#include <stdexcept>

namespace oxel::testing {
namespace {

// Client time limits shrunk fifty-fold: a request held back a second has timed out.
constexpr double clientTimeScale = 0.02;

local::LocalBackend::Options optionsOn(ManualLoop& loop)
{
    auto options = backendOnClock(loop);
    options.instant = true;
    return options;
}

} // namespace

Task<std::optional<std::vector<std::filesystem::path>>> ScriptedPanels::choose(OpenPanel panel)
{
    panelsShown.push_back(std::move(panel));
    if (choices.empty()) co_return std::nullopt;
    auto choice = std::move(choices.front());
    choices.pop_front();
    co_return choice;
}

Task<int> ScriptedPanels::ask(Alert alert)
{
    const int safe = int(alert.safeAnswer);
    alertsShown.push_back(std::move(alert));
    if (answers.empty()) co_return safe;
    int answer = answers.front();
    answers.pop_front();
    co_return answer;
}

ModelTest::ModelTest()
    : backend(optionsOn(loop)),
      library(LibraryStore::Environment{folder / "Library",
                                        [](const std::filesystem::path& item) -> std::optional<std::string> {
                                            std::filesystem::remove_all(item);
                                            return std::nullopt;
                                        },
                                        &loop})
{
    if (!backend.start()) std::abort();
    overrideBackendBaseURL(backend.baseURL());
    HttpSession::setTimeScale(clientTimeScale);
    auto& store = SettingsStore::shared();
    for (const auto& key : store.keys()) store.remove(key);
    static int accounts = 0;
    account = backend.state().signIn("apple", "model-" + std::to_string(++accounts));
    store.set("userId", std::to_string(account.userId));
    store.set("accountToken", account.token);
}

ModelTest::~ModelTest()
{
    model.reset();
    // Work the model handed to the pool may still read the library and the test folder, which go
    // before the loop does.
    loop.waitForPendingWork();
    backend.stop();
}

SettingsStore& ModelTest::defaults()
{
    return SettingsStore::shared();
}

AppModel& ModelTest::makeModel(LibraryStore* store)
{
    model.reset();
    ModelServices services{defaults(),
                           store ? *store : library,
                           loop,
                           AuthService::Environment::standard(),
                           pool,
                           HttpSession::shared(),
                           [this](const std::string& url) {
                               openedURLs.push_back(url);
                               return true;
                           },
                           *panelPort,
                           control,
                           *localModel,
                           folder / "originals"};
    model = std::make_unique<AppModel>(std::move(services));
    return *model;
}

void ModelTest::await(Task<void> task)
{
    bool done = false;
    auto run = [](Task<void> inner, bool& finished) -> Task<void> {
        co_await std::move(inner);
        finished = true;
    };
    model->tasks().spawn(run(std::move(task), done));
    ASSERT_TRUE(loop.runUntil([&] { return done; }));
}

void ModelTest::runUntilOrStop(const std::function<bool()>& done, const std::string& what)
{
    if (!runUntil(done)) throw std::runtime_error(what);
}

std::vector<local::ReceivedRequest> ModelTest::requestsTo(const std::string& path) const
{
    std::vector<local::ReceivedRequest> matching;
    for (auto& request : backend.receivedRequests())
        if (request.path.rfind(path, 0) == 0) matching.push_back(request);
    return matching;
}

size_t ModelTest::submissions() const
{
    size_t count = 0;
    for (const auto& request : requestsTo("/jobs"))
        if (request.method == "POST" && request.path == "/jobs") ++count;
    return count;
}

std::filesystem::path ModelTest::writeJPEG(const std::filesystem::path& name, int width, int height)
{
    test::JPEGOptions options;
    options.icc = test::iccProfile("sRGB");
    const auto path = folder / name;
    std::filesystem::create_directories(path.parent_path());
    test::writeFile(path, test::encodeJPEG(width, height, test::gradientOf(width, height), options));
    return path;
}

std::filesystem::path ModelTest::writePNG(const std::filesystem::path& name, int width, int height)
{
    const auto path = folder / name;
    std::filesystem::create_directories(path.parent_path());
    test::writeFile(path, test::encodePNG(width, height, test::gradientOf(width, height)));
    return path;
}

void ModelTest::drop(const std::vector<std::filesystem::path>& files)
{
    model->addDropped(files);
    runImports();
}

void ModelTest::runImports()
{
    ASSERT_TRUE(loop.runUntil([&] { return model->tasks().runningCount() == 0; }));
}

std::filesystem::path ModelTest::imageFolder(const BatchItem& item) const
{
    return library.imageFolder(model->batch()->id, item.id);
}

void ModelTest::signOut()
{
    defaults().remove("userId");
    defaults().remove("accountToken");
}

} // namespace oxel::testing
