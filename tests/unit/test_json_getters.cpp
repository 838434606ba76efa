#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <tuple>

#include "common/json_params.h"
#include "common/reply.h"
#include "test_support.h"

TEST(JsonParams, StringCopyIsCutAtACharacterAndTheCutLogged)
{
    LogCapture log;
    JsonParams params(R"({"fit":"abc","over":"abcd","wide":"ab\u00e9","n":5})");
    const std::tuple<const char *, bool, const char *> cases[] = {
        {"fit", true, "abc"}, {"over", true, "abc"},
        {"wide", true, "ab"},  // half of the two-byte character would fit: it goes whole
        {"n", false, "zzz"},  {"absent", false, "zzz"},
    };
    for (const auto &[member, copied, kept] : cases) {
        char buffer[4] = "zzz";
        EXPECT_EQ(copied, params.copy_string(member, buffer, sizeof buffer)) << member;
        EXPECT_STREQ(kept, buffer) << member;
    }
    EXPECT_EQ(2u, log.lines.size());
    EXPECT_EQ(1u, log.count("abcd length error, truncated!"));
}

TEST(JsonParams, NumbersAndTruthFollowJsonGlibConversions)
{
    JsonParams params(R"({"t":true,"big":4294967297,"i":-7,"d":2.5,"s":"1","z":null,"a":[1]})");
    const std::tuple<const char *, std::optional<int>, bool, std::optional<bool>> cases[] = {
        {"t", 1, true, true},   {"big", 1, true, true},  // cut to 32 bits
        {"i", -7, true, true},  {"d", 2, true, true},   {"s", 0, false, false},
        {"z", 0, false, false}, {"a", 0, false, false}, {"absent", std::nullopt, false, std::nullopt},
    };
    for (const auto &[member, number, holds_number, truth] : cases) {
        EXPECT_EQ(number, params.get_int(member)) << member;
        EXPECT_EQ(holds_number, params.holds_number(member)) << member;
        EXPECT_EQ(truth, params.get_bool(member)) << member;
    }
}

TEST(JsonParams, TextThatIsNoObjectOrTooDeepReadsAsAbsent)
{
    // Deep enough to overflow the stack of a recursive parser: refused before parsing.
    const std::string deep = std::string(200000, '[') + std::string(200000, ']');
    for (const std::string &text : {std::string("{not json"), std::string("[1]"), deep}) {
        JsonParams params(text.c_str());
        char buffer[8] = "keep";
        EXPECT_FALSE(params.copy_string("a", buffer, sizeof buffer));
        EXPECT_EQ(std::nullopt, params.get_int("a"));
        EXPECT_STREQ("keep", buffer);
    }
    EXPECT_FALSE(JsonParams(deep.c_str()).ok());
    EXPECT_STRNE("", JsonParams(deep.c_str()).error_message());

    // Brackets inside strings do not nest, and ordinary nesting parses.
    const std::string quoted = "{\"v\":\"" + std::string(1000, '[') + "\\\"{\",\"a\":[[[{\"b\":[1]}]]]}";
    JsonParams ordinary(quoted.c_str());
    char buffer[4];
    EXPECT_TRUE(ordinary.copy_string("v", buffer, sizeof buffer));
    EXPECT_STREQ("[[[", buffer);
}

TEST(ReplyText, InsertedTextIsEscapedAndOrdinaryTextUnchanged)
{
    EXPECT_EQ(R"({"Result":"Success"})", reply_result("Success"));
    EXPECT_EQ("\"plain text 1,2\"", json_quote("plain text 1,2"));
    EXPECT_EQ(R"("a\"b\\c\n\u0001")", json_quote("a\"b\\c\n\x01"));
    // A cut inside a UTF-8 sequence must not make the reply invalid.
    EXPECT_EQ("\xEF\xBF\xBD", json_escape("\xC3"));
    EXPECT_EQ("\xC3\xA9", json_escape("\xC3\xA9"));
}
