#include "model/OriginalCheck.h"

#include "develop/transfer/Fingerprint.h"
#include "develop/transfer/LanczosScale.h"
#include "export/PSDReader.h"
#include "imaging/RenderContext.h"

#include <algorithm>
#include <cctype>
#include <chrono>

namespace oxel {

namespace fs = std::filesystem;

namespace {

// The library's small copy of each original is this long on its long edge.
constexpr int64_t libraryCopyEdge = 512;
// Below this the candidate's scene is taken for another photograph.
constexpr float sameSceneCorrelation = 0.9f;
constexpr auto captureTolerance = std::chrono::seconds(1);

std::optional<SourceImage> loaded(const fs::path& file, SourceImage::Check check = SourceImage::Check::wholeFile)
{
    try {
        return SourceImage::load(file, check);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

bool pixelsAgree(const OriginalRef& ref, const SourceImage& picture)
{
    return ref.pixels == std::vector<int64_t>{picture.pixelWidth, picture.pixelHeight};
}

bool captureAgrees(const OriginalRef& ref, const SourceImage& picture)
{
    if (!ref.captured) return true;
    const auto captured = SourceImage::captureDate(picture.properties);
    return captured && std::chrono::abs(*captured - *ref.captured) < captureTolerance;
}

bool isUnder(const fs::path& path, const fs::path& folder)
{
    if (folder.empty()) return false;
    const auto normal = path.lexically_normal();
    const auto base = folder.lexically_normal();
    auto [end, _] = std::mismatch(base.begin(), base.end(), normal.begin(), normal.end());
    // A trailing separator leaves an empty last component.
    return end == base.end() || (std::next(end) == base.end() && end->empty());
}

OriginalCheck missing(const OriginalRef& ref, const OriginalPlaces& places)
{
    if (!ref.volume || isUnder(ref.path, places.home) || places.volumes.isVolumeMounted(*ref.volume))
        return {OriginalCheck::Offline{OriginalCheck::moved}};
    return {OriginalCheck::Offline{OriginalCheck::notConnected(*ref.volume)}};
}

// The file loaded when it reads as the recorded picture.
std::optional<SourceImage> recorded(const fs::path& file, const OriginalRef& ref)
{
    auto picture = loaded(file);
    if (!picture || !pixelsAgree(ref, *picture)) return std::nullopt;
    return picture;
}

// The original read out of the sent-back file into the cache, loaded. The cache file is replaced
// only once that succeeded; nothing when it cannot be read out.
std::optional<SourceImage> extracted(const fs::path& url, const OriginalRef& updated, const fs::path& cacheFile)
{
    std::error_code ignored;
    fs::create_directories(cacheFile.parent_path(), ignored);
    if (!PSDReader::extractOriginal(url, cacheFile, updated.properties())) return std::nullopt;
    return recorded(cacheFile, updated);
}

// The kept true original when it still reads as the recorded picture.
std::optional<SourceImage> kept(const OriginalRef& ref, const std::optional<FileStamp>& sentBack,
                                const fs::path& cacheFile)
{
    if (!sentBack) return std::nullopt;
    return recorded(cacheFile, ref);
}

} // namespace

std::string OriginalCheck::notConnected(const std::string& volume)
{
    return "offline · on " + volume + ", not connected";
}

std::string OriginalCheck::sentBackUnreadable(const std::optional<std::string>& sender)
{
    std::string host = "where it came from";
    if (sender) {
        host = *sender;
        std::transform(host.begin(), host.end(), host.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    }
    return "sent back to " + host + " · could not read the original out of it";
}

std::optional<OriginalCheck> OriginalCheck::ofSentBack(const fs::path& url, const OriginalRef& updated,
                                                       const std::optional<FileStamp>& sentBack,
                                                       const fs::path& cacheFile)
{
    const auto current = FileStamp::of(url);
    if (!sentBack || !current || !sentBack->agreesWith(*current)) return std::nullopt;
    // The copy send back kept before its first write is the host's file as handed over, whatever
    // its age, and is never written again. Only when there is none, or it no longer reads as the
    // picture, is the original read out of the sent-back file in its place: a flat file holds none.
    auto picture = kept(updated, sentBack, cacheFile);
    if (!picture) picture = extracted(url, updated, cacheFile);
    if (!picture) return OriginalCheck{Changed{sentBackUnreadable(updated.sender)}};
    return OriginalCheck{Found{std::move(*picture), url, updated}};
}

OriginalCheck OriginalCheck::of(const OriginalRef& ref, const std::optional<FileStamp>& sentBack,
                                const fs::path& cacheFile, const OriginalPlaces& places)
{
    const auto resolution = ref.resolve(places.volumes);
    if (!resolution) {
        auto answer = missing(ref, places);
        // The host moved the file a result went back over: the true original is kept here, so
        // the result stands while the file is looked for.
        std::get<Offline>(answer.answer).kept = kept(ref, sentBack, cacheFile);
        return answer;
    }
    const fs::path url = resolution->file;
    OriginalRef updated = ref;
    updated.path = url.string();
    if (resolution->renewedBookmark) updated.bookmark = resolution->renewedBookmark;
    const auto current = FileStamp::of(url);

    if (auto result = ofSentBack(url, updated, sentBack, cacheFile)) return std::move(*result);

    const bool unchanged = ref.stamp && current && ref.stamp->agreesWith(*current);
    auto picture = loaded(url, unchanged ? SourceImage::Check::readBefore : SourceImage::Check::wholeFile);
    if (!picture) return {Offline{unreadable}};
    if (unchanged) return {Found{std::move(*picture), url, updated}};
    // Touched since: still the recorded picture when its size and capture date agree.
    if (!pixelsAgree(ref, *picture) || !captureAgrees(ref, *picture)) return {Changed{changedSince}};
    updated.stamp = current;
    return {Found{std::move(*picture), url, updated}};
}

namespace {

// The candidate's picture with its long edge at the library copy's size.
std::optional<Image> atCopySize(const SourceImage& candidate)
{
    const Image picture = candidate.reducedImage(libraryCopyEdge).value_or(candidate.image);
    const Rect extent = picture.extent();
    const double longest = std::max(extent.width, extent.height);
    if (!(longest > 0)) return std::nullopt;
    const double scale = double(libraryCopyEdge) / longest;
    return lanczosScale(picture, Rect::ofSize(extent.width * scale, extent.height * scale));
}

// False only when both fingerprints were made, a correlation came back and it is too low.
bool scenesAgree(const SourceImage& candidate, const fs::path& libraryOriginal)
{
    const auto copy = SourceImage::thumbnail(libraryOriginal, int(libraryCopyEdge));
    if (!copy) return true;
    const auto scaled = atCopySize(candidate);
    if (!scaled) return true;
    const RenderContext context;
    const auto candidateGrid = Fingerprint::make(*scaled, context);
    const auto copyGrid = Fingerprint::make(Image::fromBitmap(*copy), context);
    if (!candidateGrid || !copyGrid) return true;
    const auto correlations =
        Fingerprint::correlations(Fingerprint::smoothed(*candidateGrid), Fingerprint::smoothed(*copyGrid));
    if (correlations.empty() || correlations.front() == Fingerprint::failed) return true;
    return correlations.front() >= sameSceneCorrelation;
}

} // namespace

std::optional<SourceImage> sameImage(const fs::path& candidate, const OriginalRef& ref, const fs::path& libraryOriginal)
{
    auto picture = loaded(candidate);
    if (!picture || !pixelsAgree(ref, *picture) || !captureAgrees(ref, *picture)) return std::nullopt;
    try {
        if (!scenesAgree(*picture, libraryOriginal)) return std::nullopt;
    } catch (const std::exception&) {
        // A copy or candidate that cannot be drawn proves nothing either way.
    }
    return picture;
}

} // namespace oxel
