#pragma once

#include <cstddef>
#include <vector>

namespace oxel::segment {

// Places the feature maps of a run in one block of scratch memory: two maps share floats only
// when their lifetimes (from the step that makes one to the last step that reads it) do not meet.
// Largest maps are placed first, each at the lowest offset that no living neighbour covers.
class ScratchPlan {
public:
    // A map of `size` floats alive from step `first` to step `last`, both included; its number.
    size_t add(size_t size, int first, int last);
    // Each map's offset, by number.
    std::vector<size_t> offsets() const;
    // The floats the block needs.
    size_t size() const;

private:
    struct Map {
        size_t size;
        int first, last;
    };
    std::vector<Map> maps_;
};

} // namespace oxel::segment
