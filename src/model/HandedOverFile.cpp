#include "model/HandedOverFile.h"

#include "develop/SourceCache.h"
#include "platform/AtomicFile.h"

namespace oxel {

namespace {

HandedOverFile refused(std::string_view why)
{
    return {std::nullopt, std::string(why), std::nullopt};
}

} // namespace

std::optional<ExportFormat> sendBackFormat(const std::optional<FileType>& type)
{
    if (!type) return std::nullopt;
    switch (*type) {
    case FileType::jpeg: return ExportFormat::jpeg;
    case FileType::png: return ExportFormat::png;
    case FileType::tiff: return ExportFormat::tiff;
    case FileType::heic:
    case FileType::heif: return ExportFormat::heic;
    case FileType::psd:
    case FileType::psb: return ExportFormat::psd;
    case FileType::cameraRaw: return std::nullopt;
    }
    return std::nullopt;
}

HandedOverFile HandedOverFile::check(const std::filesystem::path& file, const std::optional<FileStamp>& expected,
                                     const std::optional<std::filesystem::path>& keepCopyAt)
{
    const auto state = FileState::of(file);
    std::error_code error;
    if (!state && std::filesystem::status(file, error).type() == std::filesystem::file_type::not_found)
        return refused(gone);
    if (!state || !expected || !FileStamp::of(*state).agreesWith(*expected)) return refused(changedSince);
    // The whole file: a camera raw file is TIFF at its start and tells itself apart further in.
    const auto bytes = readStampedFile(file, *state);
    if (!bytes) return refused(changedSince);
    const auto format = sendBackFormat(fileTypeOf(bytes->span()));
    if (!format) return refused(cannotWriteBack);
    if (keepCopyAt) {
        const std::string_view content(reinterpret_cast<const char*>(bytes->data()), bytes->size());
        if (writeFileAtomically(*keepCopyAt, content, 0600)) return refused(noCopy);
    }
    // What was copied and typed is what is still there.
    if (FileState::of(file) != state) return refused(changedSince);
    return {format, {}, state};
}

std::optional<std::string> HandedOverFile::changedSinceCheck(const std::filesystem::path& file,
                                                             const FileState& checked)
{
    if (FileState::of(file) == checked) return std::nullopt;
    return std::string(changedSince);
}

} // namespace oxel
