#include "backend/WireJson.h"

namespace oxel {

std::string compactJson(const Json& value)
{
    return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

} // namespace oxel
