// What the model reads itself of the backend's configuration answers takes any bytes without
// crashing, and what it reads keeps its promises: suggestions are trimmed, none empty, none twice.
#include "model/RemoteAnswers.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace oxel;
    std::string_view bytes(reinterpret_cast<const char*>(data), size);

    if (auto nudges = suggestedNudges(bytes)) {
        for (auto at = nudges->begin(); at != nudges->end(); ++at) {
            if (at->empty()) std::abort();
            if (std::isspace((unsigned char)at->front()) || std::isspace((unsigned char)at->back())) std::abort();
            if (std::find(at + 1, nudges->end(), *at) != nudges->end()) std::abort();
        }
    }
    if (auto message = parseJson(bytes)) {
        (void)announcementId(*message);
        if (message->is_object())
            if (auto inner = message->find("message"); inner != message->end()) (void)announcementId(*inner);
    }
    return 0;
}
