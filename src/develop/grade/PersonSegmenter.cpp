#include "develop/grade/PersonSegmenter.h"

#include <atomic>

namespace oxel {
namespace {

std::atomic<std::shared_ptr<const PersonSegmenter>>& slot()
{
    static std::atomic<std::shared_ptr<const PersonSegmenter>> segmenter;
    return segmenter;
}

} // namespace

std::shared_ptr<const PersonSegmenter> PersonSegmenter::installed()
{
    return slot().load();
}

void PersonSegmenter::install(std::shared_ptr<const PersonSegmenter> segmenter)
{
    slot().store(std::move(segmenter));
}

} // namespace oxel
