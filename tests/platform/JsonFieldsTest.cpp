#include "platform/JsonFields.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace oxel {
namespace {

std::string nested(int levels)
{
    return std::string(size_t(levels), '[') + std::string(size_t(levels), ']');
}

// The field error a reader throws, or an empty one when it threw none.
template <typename Read>
DecodingError fieldErrorOf(Read read)
{
    try {
        read();
    } catch (const JsonFieldError& error) {
        return error.error;
    }
    return {};
}

TEST(JsonFields, ParsingRefusesTextThatIsNotJSONOrNestsTooDeeply)
{
    EXPECT_TRUE(parseJson(nested(512)));
    EXPECT_FALSE(parseJson(nested(513)));
    EXPECT_FALSE(parseJson("{\"a\": 1"));
    EXPECT_FALSE(parseJson(""));
    // Brackets inside texts, and quotes escaped in them, do not count as nesting.
    const auto text = parseJson("{\"a\": \"" + std::string(600, '[') + "\\\"" + std::string(600, '{') + "\"}");
    ASSERT_TRUE(text);
    EXPECT_EQ((*text)["a"].get<std::string>().size(), 1201u);
}

TEST(JsonFields, ParsingStopsAtTheValueOverTheLimit)
{
    // The object, its array and three values are five.
    EXPECT_TRUE(parseJson(R"({"a": [1, "b", {}]})", 5));
    EXPECT_FALSE(parseJson(R"({"a": [1, "b", {}]})", 4));
    EXPECT_FALSE(parseJson(R"({"a": [1, "b", {}]})", 0));
    EXPECT_TRUE(parseJson("[]", 1));
    EXPECT_FALSE(parseJson(nested(513), 10'000));
}

TEST(JsonFields, ReadersTellAMissingValueFromAMistypedOne)
{
    const Json record = *parseJson(R"({"name": "a", "count": 3.0, "half": 3.5, "gone": null, "tags": ["x", 1],
                                      "flag": true, "labels": {"k": "v"}})");
    EXPECT_EQ(requiredText(record, "name"), "a");
    EXPECT_EQ(requiredInteger(record, "count"), 3);
    EXPECT_TRUE(requiredBoolean(record, "flag"));
    EXPECT_EQ(optionalTextMap(record, "labels")->at("k"), "v");
    EXPECT_FALSE(optionalText(record, "gone"));
    EXPECT_FALSE(optionalInteger(record, "absent"));

    EXPECT_EQ(fieldErrorOf([&] { requiredText(record, "gone"); }).text(), "\"gone\": no value");
    EXPECT_EQ(fieldErrorOf([&] { requiredText(record, "count"); }).text(), "\"count\": expected text");
    EXPECT_EQ(fieldErrorOf([&] { optionalInteger(record, "half"); }).text(), "\"half\": expected a whole number");
    EXPECT_EQ(fieldErrorOf([&] { optionalTextList(record, "tags"); }).text(), "\"tags\": expected a list of texts");
    EXPECT_EQ(fieldErrorOf([&] { requireObject(record["tags"], "tags"); }).text(), "\"tags\": expected an object");
}

TEST(JsonFields, WholeNumbersMustFitASigned64BitInteger)
{
    EXPECT_EQ(wholeNumber(Json(INT64_MAX)), INT64_MAX);
    EXPECT_EQ(wholeNumber(Json(-2.0)), -2);
    EXPECT_FALSE(wholeNumber(Json(uint64_t(INT64_MAX) + 1)));
    EXPECT_FALSE(wholeNumber(Json(9.3e18)));
    EXPECT_FALSE(wholeNumber(Json(0.5)));
    EXPECT_FALSE(wholeNumber(Json("3")));
}

} // namespace
} // namespace oxel
