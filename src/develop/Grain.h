#pragma once

#include "imaging/Image.h"
#include "platform/EmbeddedFile.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace oxel {

// Film grain: one of nine shipped grain textures (three levels, three variants), chosen by the
// picture's grain level and a stable hash of a seed (the job id), so a result always wears the
// same grain. The texture is scaled to the picture's long edge, centred and overlaid.
struct Grain {
    // 64-bit FNV-1a-style hash over the UTF-8 bytes, with this system's own start value.
    static uint64_t stableHash(std::string_view text);

    // "grain_" + level digit (level clamped to 1...3) + variant letter (hash modulo 3: a, b, c).
    static std::string textureName(int level, std::string_view seed);

    // Where a texture of that name lies among `resources`: at the top first, then in "grain/".
    static const EmbeddedFile* textureFile(const std::string& name, std::span<const EmbeddedFile> resources);

    // The texture, loaded once per process from the resources built into the program and cached
    // under a lock; nothing when it can't be found or read (a failed load is tried again next time).
    static std::optional<Image> texture(int level, std::string_view seed);

    // Grain covering exactly `extent`, or nothing when there is no texture or the extent is empty.
    static std::optional<Image> image(int level, std::string_view seed, const Rect& extent);

    // The texture enlarged to cover `extent` and centred on it, as a recipe. `image` keeps the
    // rendered result of a few preview-sized ones, since every render of a preview wears it again.
    static Image placed(const Image& texture, const Rect& extent);
    // What `placed` gives over `extent`, shrunk by area to `shrunkTo` (at the origin), made from
    // the texture in one step: the grain a picture shrunk after it was grained shows.
    static Image placedShrunk(const Image& texture, const Rect& extent, const Rect& shrunkTo);

    // The picture with the grain overlaid (the grain is the top image), cropped to the picture.
    static Image apply(const Image& grain, const Image& picture);

private:
    // Where `placed` puts the texture: its scale, the scaled texture's extent and the move after.
    struct Placement {
        double scale;
        Rect placedExtent;
        double dx;
        double dy;
    };
    static Placement placement(const Rect& textureExtent, const Rect& extent);
};

} // namespace oxel
