// The library's record readers take any bytes without crashing; whatever they read writes out and
// reads back equal, and the dates and the strict Base64 they rest on keep their forms. The parser
// under them never holds more values than it was allowed.
#include "backend/Base64.h"
#include "library/BatchRecord.h"
#include "library/ImageRecord.h"
#include "library/InternetDate.h"
#include "platform/JsonFields.h"
#include "platform/Uuid.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

template <class Record>
void readWriteReadAgain(std::string_view bytes)
{
    auto record = Record::decode(bytes);
    if (!record) return;
    auto written = record->encode();
    if (!written) std::abort();
    auto again = Record::decode(*written);
    if (!again || !(*again == *record)) std::abort();
}

size_t valuesIn(const oxel::Json& value)
{
    size_t count = 1;
    if (value.is_structured())
        for (const auto& member : value) count += valuesIn(member);
    return count;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace oxel;
    std::string_view bytes(reinterpret_cast<const char*>(data), size);

    readWriteReadAgain<ImageRecord>(bytes);
    readWriteReadAgain<BatchRecord>(bytes);
    constexpr size_t allowed = 64;
    if (auto json = parseJson(bytes, allowed); json && valuesIn(*json) > allowed) std::abort();

    if (auto date = InternetDate::parse(bytes)) {
        if (InternetDate::parse(InternetDate::format(*date)) != date) std::abort();
    }
    if (auto decoded = base64DecodedStrictly(bytes)) {
        if (base64Encoded(*decoded) != bytes) std::abort();
    }
    if (auto uuid = Uuid::parse(bytes)) {
        if (Uuid::parse(uuid->text()) != uuid) std::abort();
    }
    return 0;
}
