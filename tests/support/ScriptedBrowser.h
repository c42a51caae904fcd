#pragma once

#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace oxel::testing {

// Stands in for the person and their web browser in sign-in tests: opens a page over HTTP,
// fills in the sign-in form, follows redirects and form posts, and hands the first URL of
// another scheme to the running application through its single-instance socket, as the
// desktop's scheme handler would. Runs on a thread of its own that the test loop waits for.
class ScriptedBrowser {
public:
    explicit ScriptedBrowser(std::filesystem::path instanceSocket) : socket_(std::move(instanceSocket)) {}
    ~ScriptedBrowser();

    std::string subject = "ada@example.com";
    std::string choice = "continue";
    // False: the person leaves the page open and never answers.
    bool answers = true;
    // Changes the callback URL before it is handed over (a tampered or replayed callback).
    std::function<std::string(const std::string&)> rewriteCallback;
    // Hands the callback over twice.
    bool replaysCallback = false;

    // The opener the sign-in service calls; false when told to fail.
    bool open(const std::string& url);
    bool failsToOpen = false;

    std::vector<std::string> openedURLs() const;
    // The callback URLs handed over, and whether the application took each.
    std::vector<std::pair<std::string, bool>> handedOver() const;
    // Why the browsing stopped short of a callback, when it did.
    std::optional<std::string> problem() const;

private:
    void browse(std::string url);

    std::filesystem::path socket_;
    mutable std::mutex mutex_;
    std::vector<std::string> opened_;
    std::vector<std::pair<std::string, bool>> handedOver_;
    std::optional<std::string> problem_;
    std::vector<std::thread> threads_;
};

} // namespace oxel::testing
