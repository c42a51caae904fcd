#include "model/IntakeFiles.h"

#include <algorithm>
#include <cctype>
#include <string>

namespace oxel {

namespace fs = std::filesystem;

namespace {

char lower(char c)
{
    return char(std::tolower(static_cast<unsigned char>(c)));
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Compares the digit runs at the front of both texts by value and advances past them.
int compareNumbers(std::string_view& a, std::string_view& b)
{
    auto run = [](std::string_view& text) {
        size_t end = 0;
        while (end < text.size() && isDigit(text[end])) ++end;
        auto digits = text.substr(0, end);
        text.remove_prefix(end);
        auto first = digits.find_first_not_of('0');
        return first == std::string_view::npos ? std::string_view() : digits.substr(first);
    };
    auto x = run(a);
    auto y = run(b);
    if (x.size() != y.size()) return x.size() < y.size() ? -1 : 1;
    return x.compare(y);
}

int naturalCompare(std::string_view a, std::string_view b)
{
    while (!a.empty() && !b.empty()) {
        if (isDigit(a.front()) && isDigit(b.front())) {
            if (int order = compareNumbers(a, b)) return order;
            continue;
        }
        char x = lower(a.front());
        char y = lower(b.front());
        if (x != y) return x < y ? -1 : 1;
        a.remove_prefix(1);
        b.remove_prefix(1);
    }
    return a.empty() ? (b.empty() ? 0 : -1) : 1;
}

} // namespace

const std::vector<std::string_view>& pictureExtensions()
{
    static const std::vector<std::string_view> extensions{"jpg",  "jpeg", "jpe", "png", "tif", "tiff",
                                                          "heic", "heif", "hif", "psd", "psb"};
    return extensions;
}

bool isPictureName(const fs::path& file)
{
    auto extension = file.extension().string();
    if (extension.size() < 2) return false;
    std::transform(extension.begin(), extension.end(), extension.begin(), lower);
    const auto& known = pictureExtensions();
    return std::find(known.begin(), known.end(), std::string_view(extension).substr(1)) != known.end();
}

bool naturalLess(std::string_view a, std::string_view b)
{
    int order = naturalCompare(a, b);
    return order != 0 ? order < 0 : a < b;
}

fs::path standardized(const fs::path& file)
{
    std::error_code error;
    auto absolute = fs::absolute(file, error);
    return (error ? file : absolute).lexically_normal();
}

FolderPictures expandFolder(const fs::path& folder)
{
    FolderPictures listed;
    std::error_code error;
    fs::directory_iterator children(folder, error);
    if (error) return {};
    for (auto end = fs::directory_iterator(); children != end; children.increment(error)) {
        if (error) break;
        const auto& child = children->path();
        const auto name = child.filename().string();
        if (name.empty() || name.front() == '.') continue;
        std::error_code statusError;
        if (children->is_directory(statusError) || statusError) continue;
        if (isPictureName(child))
            listed.pictures.push_back(child);
        else
            ++listed.notPictures;
    }
    std::sort(listed.pictures.begin(), listed.pictures.end(), [](const fs::path& a, const fs::path& b) {
        return naturalLess(a.filename().string(), b.filename().string());
    });
    return listed;
}

void IntakeTally::couldNotRead(const fs::path& file)
{
    if (!firstUnreadable) firstUnreadable = file.filename().string();
    ++unreadable;
}

std::optional<std::string> IntakeTally::line() const
{
    std::string text;
    if (unreadable == 1) text = "could not read " + firstUnreadable.value_or("a file");
    if (unreadable > 1) text = std::to_string(unreadable) + " files could not be read";
    if (notPictures >= 1) {
        if (!text.empty()) text += " · ";
        text += notPictures == 1 ? "1 file skipped as not a picture"
                                 : std::to_string(notPictures) + " files skipped as not pictures";
    }
    if (text.empty()) return std::nullopt;
    return text;
}

} // namespace oxel
