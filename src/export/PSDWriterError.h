#pragma once

#include <string>

namespace oxel {

// Why a layered write failed: a file or compression problem with its own words, or a canvas that
// no Photoshop document can hold.
struct PSDWriterError {
    enum class Kind { io, tooLarge };

    Kind kind = Kind::io;
    std::string text;

    static PSDWriterError io(std::string text) { return {Kind::io, std::move(text)}; }
    static PSDWriterError tooLarge() { return {Kind::tooLarge, {}}; }

    std::string description() const { return kind == Kind::tooLarge ? "canvas is larger than a PSB allows" : text; }
};

} // namespace oxel
