#include "develop/segment/ScratchPlan.h"

#include <algorithm>
#include <numeric>

namespace oxel::segment {

size_t ScratchPlan::add(size_t size, int first, int last)
{
    maps_.push_back({size, first, last});
    return maps_.size() - 1;
}

std::vector<size_t> ScratchPlan::offsets() const
{
    std::vector<size_t> order(maps_.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return maps_[a].size > maps_[b].size; });
    std::vector<size_t> offsets(maps_.size(), 0);
    std::vector<size_t> placed;
    for (const size_t m : order) {
        // Living neighbours already placed, by offset; the map goes into the first gap it fits.
        std::vector<size_t> neighbours;
        for (const size_t p : placed)
            if (maps_[p].first <= maps_[m].last && maps_[m].first <= maps_[p].last) neighbours.push_back(p);
        std::sort(neighbours.begin(), neighbours.end(), [&](size_t a, size_t b) { return offsets[a] < offsets[b]; });
        size_t at = 0;
        for (const size_t n : neighbours) {
            if (offsets[n] >= at + maps_[m].size) break;
            at = std::max(at, offsets[n] + maps_[n].size);
        }
        offsets[m] = at;
        placed.push_back(m);
    }
    return offsets;
}

size_t ScratchPlan::size() const
{
    const std::vector<size_t> at = offsets();
    size_t end = 0;
    for (size_t i = 0; i < maps_.size(); ++i) end = std::max(end, at[i] + maps_[i].size);
    return end;
}

} // namespace oxel::segment
