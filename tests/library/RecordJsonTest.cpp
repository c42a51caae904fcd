#include "RecordSamples.h"
#include "backend/AnalysisResponse.h"
#include "library/LibraryJson.h"

#include <gtest/gtest.h>

#include <functional>

namespace oxel {
namespace {

using namespace samples;

template <class Record>
Record readBack(const Record& record)
{
    auto bytes = record.encode();
    EXPECT_TRUE(bytes) << bytes.error().text();
    auto decoded = Record::decode(bytes ? *bytes : "");
    EXPECT_TRUE(decoded) << decoded.error().text();
    return decoded ? *decoded : Record{};
}

template <class Record>
Json storedJson(const Record& record)
{
    return Json::parse(*record.encode());
}

struct RoundTrip {
    const char* name;
    std::function<void()> check;
};

class RecordRoundTrip : public testing::TestWithParam<RoundTrip> {};

TEST_P(RecordRoundTrip, ReadsBackEqual)
{
    GetParam().check();
}

INSTANTIATE_TEST_SUITE_P(
    Records, RecordRoundTrip,
    testing::Values(RoundTrip{"FullImage", [] { EXPECT_EQ(readBack(fullImageRecord()), fullImageRecord()); }},
                    RoundTrip{"MinimalImage", [] { EXPECT_EQ(readBack(minimalImageRecord()), minimalImageRecord()); }},
                    RoundTrip{"FullBatch", [] { EXPECT_EQ(readBack(fullBatchRecord()), fullBatchRecord()); }},
                    RoundTrip{"MinimalBatch", [] { EXPECT_EQ(readBack(minimalBatchRecord()), minimalBatchRecord()); }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RecordJson, AbsentOptionalsAreLeftOutNotWrittenAsNull)
{
    const Json image = storedJson(minimalImageRecord());
    for (const char* key : {"jobId", "unlinkedNudge", "renderFile", "sentBack", "mode", "grainBaked"})
        EXPECT_FALSE(image.contains(key)) << key;
    for (const char* key : {"bookmark", "volume", "stamp", "captured", "latitude", "longitude", "sender", "metadata"})
        EXPECT_FALSE(image["original"].contains(key)) << key;
    EXPECT_EQ(image["state"], "unprocessed");
    EXPECT_EQ(image["exports"], Json::array());

    const Json batch = storedJson(minimalBatchRecord());
    for (const char* key : {"captured", "place", "account"}) EXPECT_FALSE(batch.contains(key)) << key;
    EXPECT_EQ(batch["format"], 1);
}

TEST(RecordJson, DatesAreWrittenInWholeSecondsRoundedDown)
{
    auto record = minimalBatchRecord();
    record.createdAt = morning() + std::chrono::milliseconds(999);
    record.updatedAt = Date(std::chrono::milliseconds(-500)); // half a second before 1970
    const Json json = storedJson(record);
    EXPECT_EQ(json["createdAt"], "2026-05-17T09:41:07Z");
    EXPECT_EQ(json["updatedAt"], "1969-12-31T23:59:59Z");
    EXPECT_EQ(readBack(record).createdAt, morning());
}

TEST(RecordJson, UuidsAreWrittenUpperCaseAndReadInEitherCase)
{
    Json json = storedJson(fullBatchRecord());
    EXPECT_EQ(json["id"], "E621E1F8-C36C-495A-93FC-0C247A3E6E5F");
    json["id"] = "e621e1f8-c36c-495a-93fc-0c247a3e6e5f";
    json["images"][0] = "6f9619ff-8B86-d011-b42d-00c04fc964ff";
    auto decoded = BatchRecord::decode(json.dump());
    ASSERT_TRUE(decoded) << decoded.error().text();
    EXPECT_EQ(*decoded, fullBatchRecord());
}

TEST(RecordJson, BytesAreStandardBase64)
{
    EXPECT_EQ(storedJson(fullImageRecord())["original"]["bookmark"], "AP97IoAK");
}

TEST(RecordJson, WritesPrettySortedKeysAndEscapedSlashes)
{
    const std::string bytes = *fullImageRecord().encode();
    EXPECT_NE(bytes.find("\n  \"addition\": \" and warmer\",\n  \"colourOffset\""), std::string::npos) << bytes;
    EXPECT_NE(bytes.find(R"("path": "\/home\/ana\/Pictures\/2026\/harbour\/IMG_0042.JPG")"), std::string::npos);
    for (size_t at = bytes.find('/'); at != std::string::npos; at = bytes.find('/', at + 1))
        EXPECT_EQ(bytes[at - 1], '\\') << "an unescaped slash at " << at;
    EXPECT_LT(bytes.find("\"colourTouched\""), bytes.find("\"exports\""));
    EXPECT_LT(bytes.find("\"useAlternative\""), bytes.rfind("}"));
}

TEST(RecordJson, ReadsSlashesEscapedOrNotAndIgnoresUnknownKeys)
{
    Json json = storedJson(minimalImageRecord());
    json["original"]["path"] = "/a/b.png";
    json["futureKey"] = {{"anything", 1}};
    std::string plain = json.dump();
    std::string escaped = storedRecordBytes(json);
    ASSERT_NE(plain, escaped);
    for (const auto& bytes : {plain, escaped}) {
        auto decoded = ImageRecord::decode(bytes);
        ASSERT_TRUE(decoded) << decoded.error().text();
        EXPECT_EQ(decoded->original.path, "/a/b.png");
    }
}

TEST(RecordJson, NullOptionalsReadAsAbsent)
{
    Json json = storedJson(minimalImageRecord());
    for (const char* key : {"jobId", "unlinkedNudge", "renderFile", "sentBack", "mode", "grainBaked"})
        json[key] = nullptr;
    json["original"]["stamp"] = nullptr;
    auto decoded = ImageRecord::decode(json.dump());
    ASSERT_TRUE(decoded) << decoded.error().text();
    EXPECT_EQ(*decoded, minimalImageRecord());
}

TEST(RecordJson, ReadsADateWithAZoneOffset)
{
    Json json = storedJson(minimalBatchRecord());
    json["createdAt"] = "2026-05-17T11:41:07+02:00";
    json["updatedAt"] = "2026-05-16T23:11:07-10:30";
    auto decoded = BatchRecord::decode(json.dump());
    ASSERT_TRUE(decoded) << decoded.error().text();
    EXPECT_EQ(decoded->createdAt, morning());
    EXPECT_EQ(decoded->updatedAt, morning());
}

TEST(RecordJson, AFormatOtherThanOneReadsLikeOne)
{
    Json json = storedJson(minimalBatchRecord());
    json["format"] = 2;
    auto decoded = BatchRecord::decode(json.dump());
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->format, 2);
}

TEST(RecordJson, RefusesToWriteWhatWouldNotReadBack)
{
    auto batch = minimalBatchRecord();
    batch.strength = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(batch.encode().error().key, "strength");

    auto image = fullImageRecord();
    image.renderFile = "../../render.jpg";
    EXPECT_EQ(image.encode().error().key, "renderFile");
}

TEST(RecordJson, TextThatIsNotUtf8IsWrittenReadable)
{
    // Latin-1 names, as archives from other systems unpack them: the save goes through.
    auto image = fullImageRecord();
    image.original.path = "/photos/\xE9t\xE9/caf\xE9.jpg";
    image.exports[1].to = "/tmp/\xff.heic";
    const auto bytes = image.encode();
    ASSERT_TRUE(bytes) << bytes.error().text();
    const auto read = ImageRecord::decode(*bytes);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->original.path, "/photos/\uFFFDt\uFFFD/caf\uFFFD.jpg");
    EXPECT_EQ(read->exports[1].to, "/tmp/\uFFFD.heic");
}

TEST(RecordJson, HasResultNeedsDoneWithARenderOrColourOnly)
{
    auto record = minimalImageRecord();
    record.state = ImageRecord::State::done;
    EXPECT_FALSE(record.hasResult());
    record.mode = ImageRecord::Mode::colour;
    EXPECT_TRUE(record.hasResult());
    record.mode = ImageRecord::Mode::light;
    EXPECT_FALSE(record.hasResult());
    record.renderFile = "render.png";
    EXPECT_TRUE(record.hasResult());
    record.state = ImageRecord::State::failed;
    EXPECT_FALSE(record.hasResult());
}

TEST(RecordJson, AnalysisBytesAreCompactWithSortedKeys)
{
    AnalysisResponse analysis;
    analysis.perceived_intent = "a/b";
    analysis.descriptors = {"calm"};
    const auto bytes = analysisBytes(analysis);
    const std::string text(bytes.begin(), bytes.end());
    EXPECT_EQ(text.find('\n'), std::string::npos);
    EXPECT_EQ(text.find(": "), std::string::npos);
    EXPECT_LT(text.find("\"descriptions\""), text.find("\"descriptors\""));
    EXPECT_LT(text.find("\"isBlackAndWhite\""), text.find("\"perceived_intent\":\"a/b\""));
    EXPECT_EQ(*AnalysisResponse::decode(text), analysis);
}

// One bad value put in place of a good one in a stored image record, and the key that must be
// named as failing.
struct BadInput {
    const char* name;
    const char* pointer; // where the value goes; a missing value removes the key
    const char* value;   // raw JSON text
    const char* failingKey;
};

class ImageRecordRejects : public testing::TestWithParam<BadInput> {};

std::string withValue(const BadInput& input)
{
    Json json = storedJson(fullImageRecord());
    const Json::json_pointer pointer(input.pointer);
    if (!input.value) {
        json[pointer.parent_pointer()].erase(pointer.back());
        return json.dump();
    }
    json[pointer] = "@placeholder@";
    std::string text = json.dump();
    text.replace(text.find("\"@placeholder@\""), 15, input.value);
    return text;
}

TEST_P(ImageRecordRejects, TheWholeRecordNamingTheKey)
{
    auto decoded = ImageRecord::decode(withValue(GetParam()));
    ASSERT_FALSE(decoded);
    EXPECT_EQ(decoded.error().key, GetParam().failingKey) << decoded.error().text();
}

INSTANTIATE_TEST_SUITE_P(
    BadInputs, ImageRecordRejects,
    testing::Values(
        BadInput{"MissingRequiredKey", "/addition", nullptr, "addition"},
        BadInput{"MissingNestedKey", "/original/handoff", nullptr, "original.handoff"},
        BadInput{"TextForAFlag", "/strengthTouched", "\"yes\"", "strengthTouched"},
        BadInput{"NumberForAText", "/jobId", "42", "jobId"},
        BadInput{"JobIdOfTwoPathSegments", "/jobId", "\"..\\/credits\\/balance?userId=2&x=\"", "jobId"},
        BadInput{"TextForANumber", "/colourOffset", "\"0.5\"", "colourOffset"},
        BadInput{"ObjectForAList", "/exports", "{}", "exports"},
        BadInput{"UnknownState", "/state", "\"finished\"", "state"},
        BadInput{"StateInOtherCase", "/state", "\"Done\"", "state"},
        BadInput{"UnknownMode", "/mode", "\"mono\"", "mode"},
        BadInput{"DateWithFraction", "/original/captured", "\"2026-05-17T09:41:07.250Z\"", "original.captured"},
        BadInput{"DateWithLowerCaseT", "/exports/0/at", "\"2026-05-17t09:41:07Z\"", "exports[0].at"},
        BadInput{"DateWithLowerCaseZ", "/exports/0/at", "\"2026-05-17T09:41:07z\"", "exports[0].at"},
        BadInput{"DateWithoutZone", "/exports/0/at", "\"2026-05-17T09:41:07\"", "exports[0].at"},
        BadInput{"DateOfMonth13", "/sentBack/modified", "\"2026-13-17T09:41:07Z\"", "sentBack.modified"},
        BadInput{"DateOfFebruary30", "/sentBack/modified", "\"2026-02-30T09:41:07Z\"", "sentBack.modified"},
        BadInput{"DateAtHour24", "/sentBack/modified", "\"2026-05-17T24:00:00Z\"", "sentBack.modified"},
        BadInput{"LeapSecond", "/sentBack/modified", "\"2016-12-31T23:59:60Z\"", "sentBack.modified"},
        BadInput{"OffsetOutOfRange", "/sentBack/modified", "\"2026-05-17T09:41:07+24:00\"", "sentBack.modified"},
        BadInput{"DateTheClockCannotHold", "/sentBack/modified", "\"9999-12-31T23:59:59Z\"", "sentBack.modified"},
        BadInput{"Base64OutsideTheAlphabet", "/original/bookmark", "\"AP97*oAK\"", "original.bookmark"},
        BadInput{"Base64WithoutPadding", "/original/metadata", "\"QUI\"", "original.metadata"},
        BadInput{"Base64OverPadded", "/original/metadata", "\"QUJD====\"", "original.metadata"},
        BadInput{"Base64WithStrayBits", "/original/metadata", "\"QUJ=\"", "original.metadata"},
        BadInput{"Base64WithALineBreak", "/original/metadata", "\"QUJD\\nQUJD\"", "original.metadata"},
        BadInput{"ShortUuid", "/id", "\"6F9619FF-8B86-D011-B42D-00C04FC964F\"", "id"},
        BadInput{"UuidWithoutHyphens", "/id", "\"6F9619FF8B86D011B42D00C04FC964FF0000\"", "id"},
        BadInput{"UuidWithBraces", "/id", "\"{6F9619FF-8B86-D011-B42D-00C04FC964F}\"", "id"},
        BadInput{"SizeBeyondSignedSixtyFourBits", "/original/stamp/size", "9223372036854775808", "original.stamp.size"},
        BadInput{"SizeBeyondSixtyFourBits", "/original/stamp/size", "36893488147419103232", "original.stamp.size"},
        BadInput{"FractionalPixels", "/original/pixels/1", "1.5", "original.pixels"},
        BadInput{"RenderFileOutsideTheFolder", "/renderFile", "\"..\\/..\\/render.jpg\"", "renderFile"},
        BadInput{"RenderFileInAFolder", "/renderFile", "\"render.jpg\\/x\"", "renderFile"},
        BadInput{"RenderFileWithoutExtension", "/renderFile", "\"render.\"", "renderFile"},
        BadInput{"RenderFileWithLongExtension", "/renderFile", "\"render.jpegxl\"", "renderFile"},
        BadInput{"RenderFileInUpperCase", "/renderFile", "\"render.JPG\"", "renderFile"},
        BadInput{"RenderFileOfAnotherName", "/renderFile", "\"thumb.jpg\"", "renderFile"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RecordJson, BytesThatAreNoRecordFailCleanly)
{
    for (std::string bytes : {std::string(""), std::string("[]"), std::string("{\"id\": "), std::string(100000, '['),
                              std::string("\"text\"")})
        EXPECT_FALSE(ImageRecord::decode(bytes)) << bytes.substr(0, 10);
    Json json = storedJson(fullBatchRecord());
    json["nameSource"] = "machine";
    EXPECT_EQ(BatchRecord::decode(json.dump()).error().key, "nameSource");
    json = storedJson(fullBatchRecord());
    json["images"][1] = "not a uuid";
    EXPECT_EQ(BatchRecord::decode(json.dump()).error().key, "images");
}

TEST(FileStamp, AStampReadBackAgreesWithAFreshOneOfTheSameFile)
{
    FileState state;
    state.size = 5'000'000'000;
    state.modifiedNanoseconds = 1'779'010'867'750'000'000; // a fraction of a second past
    const FileStamp fresh = FileStamp::of(state);
    auto record = minimalImageRecord();
    record.sentBack = fresh;
    const FileStamp readBack = *ImageRecord::decode(*record.encode())->sentBack;

    EXPECT_NE(readBack, fresh);
    EXPECT_TRUE(readBack.agreesWith(fresh));
    EXPECT_TRUE(fresh.agreesWith(readBack));
    EXPECT_FALSE((FileStamp{fresh.size + 1, fresh.modified}).agreesWith(fresh));
    EXPECT_FALSE((FileStamp{fresh.size, readBack.modified - std::chrono::seconds(1)}).agreesWith(fresh));
}

} // namespace
} // namespace oxel
