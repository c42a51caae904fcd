#include "imaging/RenderStop.h"

namespace oxel {

thread_local const std::stop_token* RenderStop::preparing_ = nullptr;

RenderStop::RenderStop(std::stop_token stop) : stop_(std::move(stop)), previous_(preparing_)
{
    preparing_ = &stop_;
}

RenderStop::~RenderStop()
{
    preparing_ = previous_;
}

bool RenderStop::requested()
{
    return preparing_ && preparing_->stop_requested();
}

std::stop_token RenderStop::token()
{
    return preparing_ ? *preparing_ : std::stop_token();
}

} // namespace oxel
