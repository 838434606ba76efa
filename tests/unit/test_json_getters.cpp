#include <gtest/gtest.h>
#include <string>

#include "common/json_params.h"
#include "common/reply.h"
#include "log_capture.h"

TEST(JsonStringCopy, ExactFitIsWholeAndOneOverIsCutAndLoggedWithTheWholeValue)
{
    LogCapture log;
    JsonParams params(R"({"fit":"abc","over":"abcd"})");
    char buffer[4] = "zzz";
    EXPECT_EQ(params.copy_string("fit", buffer, sizeof buffer), 1);
    EXPECT_STREQ(buffer, "abc");
    EXPECT_TRUE(log.lines().empty());
    EXPECT_EQ(params.copy_string("over", buffer, sizeof buffer), 1);
    EXPECT_STREQ(buffer, "abc");
    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_EQ(log.lines()[0], "D settings: file[json_getters.cpp] line[92]: abcd length error, truncated!");
}

TEST(JsonStringCopy, MissingOrNonStringLeavesTheBuffer)
{
    JsonParams params(R"({"n":5})");
    char buffer[8] = "keep";
    StdoutCapture out;
    EXPECT_EQ(params.copy_string("absent", buffer, sizeof buffer), 0);
    EXPECT_EQ(params.copy_string("n", buffer, sizeof buffer), 0);
    EXPECT_STREQ(buffer, "keep");
    const std::string printed = out.text();
    EXPECT_EQ(printed.find("Failed to get string member"), 0u) << printed;
    EXPECT_EQ(printed.find("Failed to get string member", 1), std::string::npos) << "only the mistyped member prints";
}

TEST(JsonIntMember, FollowsJsonGlibConversions)
{
    JsonParams params(R"({"t":true,"big":4294967297,"i":-7})");
    int value = 42;
    params.get_int("t", &value);
    EXPECT_EQ(value, 1);
    params.get_int("big", &value);
    EXPECT_EQ(value, 1) << "cut to 32 bits";
    params.get_int("i", &value);
    EXPECT_EQ(value, -7);
    value = 42;
    params.get_int("absent", &value);
    EXPECT_EQ(value, 42);
}

TEST(JsonBoolMember, MissingMemberKeepsDefaultAndPrintsOnce)
{
    JsonParams params(R"({"b":false})");
    int value = 1;
    StdoutCapture out;
    params.get_bool("absent", &value);
    const std::string printed = out.text();
    EXPECT_EQ(value, 1);
    EXPECT_EQ(printed.find("Failed to get bool member "), 0u);
    EXPECT_EQ(printed.find("Failed to get bool member", 1), std::string::npos);
}

TEST(JsonGetters, AFailedReadDoesNotDisturbTheNext)
{
    JsonParams params(R"({"a":"x","b":true,"c":"y"})");
    int flag = 0;
    char buffer[8] = {};
    const char *borrowed = nullptr;
    int got_a = 0, got_b_as_string = 0, got_c = 0;
    {
        StdoutCapture out;
        params.get_bool("missing", &flag);
        got_a = params.get_string("a", &borrowed);
        got_b_as_string = params.copy_string("b", buffer, sizeof buffer);
        params.get_bool("b", &flag);
        got_c = params.copy_string("c", buffer, sizeof buffer);
        out.text();
    }
    EXPECT_EQ(got_a, 1);
    EXPECT_STREQ(borrowed, "x");
    EXPECT_EQ(got_b_as_string, 0);
    EXPECT_EQ(flag, 1);
    EXPECT_EQ(got_c, 1);
    EXPECT_STREQ(buffer, "y");
}

TEST(JsonParamsOwner, TextThatDoesNotParseReadsAsAbsent)
{
    JsonParams params("{not json");
    EXPECT_FALSE(params.ok());
    EXPECT_STRNE(params.error_message(), "");
    char buffer[8] = "keep";
    int value = 3;
    EXPECT_EQ(params.copy_string("a", buffer, sizeof buffer), 0);
    params.get_int("a", &value);
    EXPECT_STREQ(buffer, "keep");
    EXPECT_EQ(value, 3);
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
    EXPECT_EQ(ordinary.copy_string("v", buffer, sizeof buffer), 1);
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
