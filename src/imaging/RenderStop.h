#pragma once

#include <stop_token>

namespace oxel {

// The stop of the render this thread prepares for, seen by the cached pictures the render reads:
// once it is asked to stop, it starts none of the pictures it still lacks, while a picture already
// being made (a mask made in bands of its own) is finished for whoever asks for it next. Seen on
// the preparing thread alone, and only while it prepares: the bands that follow may run tiles of
// other renders on the same thread, which must never take this render's stop for their own.
class RenderStop {
public:
    // While it lives, this thread prepares for a render with this stop.
    explicit RenderStop(std::stop_token stop);
    ~RenderStop();
    RenderStop(const RenderStop&) = delete;
    RenderStop& operator=(const RenderStop&) = delete;

    // Whether the render this thread prepares for was asked to stop; false outside any preparing.
    static bool requested();
    // The stop of the render this thread prepares for, to be seen from other threads; one never
    // requested outside any preparing.
    static std::stop_token token();

private:
    static thread_local const std::stop_token* preparing_;
    std::stop_token stop_;
    const std::stop_token* previous_;
};

} // namespace oxel
