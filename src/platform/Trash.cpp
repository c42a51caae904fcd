#include "platform/Trash.h"

#include <gio/gio.h>

namespace oxel {

std::optional<std::string> moveToTrash(const std::filesystem::path& path)
{
    GFile* file = g_file_new_for_path(path.c_str());
    GError* error = nullptr;
    const bool moved = g_file_trash(file, nullptr, &error);
    g_object_unref(file);
    if (moved) return std::nullopt;
    std::string reason = error ? error->message : "the item could not be moved to the Trash";
    if (error) g_error_free(error);
    return reason;
}

} // namespace oxel
