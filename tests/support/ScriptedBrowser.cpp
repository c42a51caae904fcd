#include "support/ScriptedBrowser.h"

#include "async/MainExecutor.h"
#include "platform/InstanceChannel.h"

#include <httplib.h>
#include <memory>
#include <regex>

namespace oxel::testing {
namespace {

struct Page {
    int status = 0;
    std::string location;
    std::string body;
};

struct Form {
    std::string method;
    std::string action;
    std::vector<std::pair<std::string, std::string>> fields;
};

std::string htmlUnescaped(std::string text)
{
    for (const auto& [entity, character] : std::vector<std::pair<std::string, std::string>>{
             {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&#39;", "'"}, {"&amp;", "&"}}) {
        for (size_t at = text.find(entity); at != std::string::npos; at = text.find(entity, at + 1))
            text.replace(at, entity.size(), character);
    }
    return text;
}

std::optional<Form> formOf(const std::string& html)
{
    std::smatch match;
    if (!std::regex_search(html, match, std::regex(R"re(<form method="(get|post)" action="([^"]*)">)re")))
        return std::nullopt;
    Form form{match[1], htmlUnescaped(match[2]), {}};
    const std::regex input(R"re(<input type="(?:hidden|text)" name="([^"]*)" value="([^"]*)">)re");
    for (auto it = std::sregex_iterator(html.begin(), html.end(), input); it != std::sregex_iterator(); ++it)
        form.fields.emplace_back(htmlUnescaped((*it)[1]), htmlUnescaped((*it)[2]));
    return form;
}

// "http://host:port" and the rest of an absolute http URL.
std::pair<std::string, std::string> split(const std::string& url)
{
    const auto pathStart = url.find('/', url.find("://") + 3);
    if (pathStart == std::string::npos) return {url, "/"};
    return {url.substr(0, pathStart), url.substr(pathStart)};
}

Page fetch(const std::string& method, const std::string& url, const httplib::Params& form)
{
    const auto [origin, target] = split(url);
    httplib::Client client(origin);
    client.set_connection_timeout(5);
    client.set_read_timeout(10);
    const auto answer = method == "post" ? client.Post(target, form) : client.Get(target);
    if (!answer) return {};
    return {answer->status, answer->get_header_value("Location"), answer->body};
}

} // namespace

ScriptedBrowser::~ScriptedBrowser()
{
    for (auto& thread : threads_) thread.join();
}

bool ScriptedBrowser::open(const std::string& url)
{
    std::lock_guard lock(mutex_);
    opened_.push_back(url);
    if (failsToOpen) return false;
    if (!answers) return true;
    threads_.emplace_back([this, url, pending = std::make_shared<PendingWork>(mainExecutor())] { browse(url); });
    return true;
}

void ScriptedBrowser::browse(std::string url)
{
    std::string method = "get";
    httplib::Params form;
    for (int step = 0; step < 10; ++step) {
        if (url.rfind("http", 0) != 0) {
            std::vector<std::string> callbacks{rewriteCallback ? rewriteCallback(url) : url};
            if (replaysCallback) callbacks.push_back(callbacks.front());
            for (const auto& callback : callbacks) {
                const bool taken = InstanceChannel::handOff(socket_, {callback});
                std::lock_guard lock(mutex_);
                handedOver_.emplace_back(callback, taken);
            }
            return;
        }
        const Page page = fetch(method, url, form);
        form.clear();
        method = "get";
        if (page.status >= 300 && page.status < 400 && !page.location.empty()) {
            url = page.location.front() == '/' ? split(url).first + page.location : page.location;
            continue;
        }
        const auto next = page.status == 200 ? formOf(page.body) : std::nullopt;
        if (!next) {
            std::lock_guard lock(mutex_);
            problem_ = "stopped at " + url + " with status " + std::to_string(page.status) + ": " + page.body;
            return;
        }
        for (auto [name, value] : next->fields) form.emplace(name, name == "subject" ? subject : value);
        form.emplace("choice", choice);
        url = next->action.front() == '/' ? split(url).first + next->action : next->action;
        method = next->method;
        if (method == "get") {
            std::string query;
            for (const auto& [name, value] : form)
                query += (query.empty() ? "?" : "&") + httplib::detail::encode_query_param(name) + "=" +
                         httplib::detail::encode_query_param(value);
            url += query;
            form.clear();
        }
    }
    std::lock_guard lock(mutex_);
    problem_ = "too many steps";
}

std::vector<std::string> ScriptedBrowser::openedURLs() const
{
    std::lock_guard lock(mutex_);
    return opened_;
}

std::vector<std::pair<std::string, bool>> ScriptedBrowser::handedOver() const
{
    std::lock_guard lock(mutex_);
    return handedOver_;
}

std::optional<std::string> ScriptedBrowser::problem() const
{
    std::lock_guard lock(mutex_);
    return problem_;
}

} // namespace oxel::testing
