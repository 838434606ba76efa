#include <gtest/gtest.h>
#include <string>

#include "common/json_params.h"
#include "common/reply.h"
#include "log_capture.h"

TEST(JsonStringCopy, ExactFitIsWholeAndOneOverIsCutAtACharacterAndLogged)
{
    LogCapture log;
    JsonParams params(R"({"fit":"abc","over":"abcd","wide":"ab\u00e9"})");
    char buffer[4] = "zzz";
    EXPECT_TRUE(params.copy_string("fit", buffer, sizeof buffer));
    EXPECT_STREQ(buffer, "abc");
    EXPECT_TRUE(log.lines().empty());
    EXPECT_TRUE(params.copy_string("over", buffer, sizeof buffer));
    EXPECT_STREQ(buffer, "abc");
    // "ab" and half of the two-byte character would fit: the character goes whole.
    EXPECT_TRUE(params.copy_string("wide", buffer, sizeof buffer));
    EXPECT_STREQ(buffer, "ab");
    ASSERT_EQ(log.lines().size(), 2u);
    EXPECT_EQ(log.lines()[0], "D settings: file[json_getters.cpp] line[92]: abcd length error, truncated!");
}

TEST(JsonStringCopy, MissingOrNonStringLeavesTheBuffer)
{
    JsonParams params(R"({"n":5})");
    char buffer[8] = "keep";
    StdoutCapture out;
    EXPECT_FALSE(params.copy_string("absent", buffer, sizeof buffer));
    EXPECT_FALSE(params.copy_string("n", buffer, sizeof buffer));
    EXPECT_STREQ(buffer, "keep");
    const std::string printed = out.text();
    EXPECT_EQ(printed.find("Failed to get string member"), 0u) << printed;
    EXPECT_EQ(printed.find("Failed to get string member", 1), std::string::npos) << "only the mistyped member prints";
}

TEST(JsonNumbersAndTruth, FollowJsonGlibConversions)
{
    JsonParams params(R"({"t":true,"big":4294967297,"i":-7,"s":"1","z":null,"d":2.5})");
    EXPECT_EQ(params.get_int("t"), 1);
    EXPECT_EQ(params.get_int("big"), 1) << "cut to 32 bits";
    EXPECT_EQ(params.get_int("i"), -7);
    EXPECT_EQ(params.get_int("s"), 0);
    EXPECT_EQ(params.get_int("z"), 0);
    EXPECT_EQ(params.get_int("absent"), std::nullopt);
    EXPECT_FALSE(params.holds_number("s"));
    EXPECT_TRUE(params.holds_number("d") && params.holds_number("t"));
    StdoutCapture out;
    EXPECT_EQ(params.get_bool("i"), true);
    EXPECT_EQ(params.get_bool("s"), false);
    EXPECT_EQ(params.get_bool("z"), false);
    EXPECT_EQ(params.get_bool("absent"), std::nullopt);
    const std::string printed = out.text();
    EXPECT_EQ(printed.find("Failed to get bool member z"), 0u) << printed;
    EXPECT_NE(printed.find("Failed to get bool member absent"), std::string::npos) << printed;
}

TEST(JsonParamsOwner, TextThatDoesNotParseOrIsNoObjectReadsAsAbsent)
{
    for (const char *text : {"{not json", "[1, 2]", "\"text\""}) {
        JsonParams params(text);
        char buffer[8] = "keep";
        EXPECT_FALSE(params.copy_string("a", buffer, sizeof buffer)) << text;
        EXPECT_EQ(params.get_int("a"), std::nullopt) << text;
        EXPECT_STREQ(buffer, "keep");
    }
    EXPECT_STRNE(JsonParams("{not json").error_message(), "");
}

TEST(JsonParamsOwner, DeepNestingIsRefusedWithoutParsing)
{
    // Deep enough to overflow the stack of a recursive parser.
    const std::string deep = std::string(200000, '[') + std::string(200000, ']');
    JsonParams refused(deep.c_str());
    EXPECT_FALSE(refused.ok());
    EXPECT_FALSE(refused.root_is_array());
    EXPECT_STRNE(refused.error_message(), "");

    // Brackets inside strings do not nest, and ordinary nesting parses.
    const std::string quoted = "{\"v\":\"" + std::string(1000, '[') + "\\\"{\",\"a\":[[[{\"b\":[1]}]]]}";
    JsonParams ordinary(quoted.c_str());
    ASSERT_TRUE(ordinary.ok()) << ordinary.error_message();
    char buffer[8];
    EXPECT_TRUE(ordinary.copy_string("v", buffer, sizeof buffer));
    EXPECT_STREQ(buffer, "[[[[[[[");
}

TEST(ReplyText, InsertedTextIsEscapedAndOrdinaryTextUnchanged)
{
    EXPECT_EQ(reply_result("Success"), R"({"Result":"Success"})");
    EXPECT_EQ(json_quote("plain text 1,2"), "\"plain text 1,2\"");
    EXPECT_EQ(json_quote("a\"b\\c\n\x01"), R"("a\"b\\c\n\u0001")");
    // A cut inside a UTF-8 sequence must not make the reply invalid.
    EXPECT_EQ(json_escape("\xC3"), "\xEF\xBF\xBD");
    EXPECT_EQ(json_escape("\xC3\xA9"), "\xC3\xA9");
    JsonParams parsed(("{\"k\":" + json_quote("q\"\t\x1f\xfe") + "}").c_str());
    EXPECT_TRUE(parsed.ok());
}
