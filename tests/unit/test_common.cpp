#include <fcntl.h>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <tuple>
#include <unistd.h>

#include "common/audit.h"
#include "common/json_params.h"
#include "common/reply.h"
#include "host/file_io.h"
#include "host/instance_lock.h"
#include "test_support.h"

TEST(Util, FileReaderRemovesOneTrailingLineEndAndLockCodes)
{
    TempDir dir;
    const std::pair<std::string, std::string> cases[] = {
        {"abc\n", "abc"}, {"abc\r\n", "abc\r"}, {"abc\n\n", "abc\n"}, {"", ""}};
    for (const auto &[content, expected] : cases) {
        put(dir.file("f"), content);
        g_autofree char *text = nullptr;
        EXPECT_TRUE(host_file_read_text(dir.file("f").c_str(), &text));
        EXPECT_STREQ(expected.c_str(), text);
    }
    LogCapture log;
    char *text = reinterpret_cast<char *>(0x1);
    EXPECT_FALSE(host_file_read_text(dir.file("missing").c_str(), &text));
    EXPECT_EQ(nullptr, text);
    EXPECT_EQ(1u, log.lines.size());
    EXPECT_FALSE(host_file_read_text(dir.file("f").c_str(), nullptr));

    // The instance lock holds the process id and reports why it cannot be taken.
    const std::string path = dir.file("lock");
    put(path, "old content that is longer");
    const int fd = host_lock_instance(path.c_str(), nullptr);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(std::to_string(getpid()), slurp(path));
    EXPECT_EQ(FD_CLOEXEC, fcntl(fd, F_GETFD) & FD_CLOEXEC);
    // Held through another open file description: "held by another process".
    g_autoptr(GError) held = nullptr;
    EXPECT_EQ(-1, host_lock_instance(path.c_str(), &held));
    EXPECT_TRUE(g_error_matches(held, G_FILE_ERROR, G_FILE_ERROR_AGAIN));
    close(fd);
    g_autoptr(GError) missing = nullptr;
    EXPECT_EQ(-1, host_lock_instance(dir.file("missing/lock").c_str(), &missing));
    EXPECT_TRUE(g_error_matches(missing, G_FILE_ERROR, G_FILE_ERROR_NOENT));
}

TEST(Log, OneEscapedLinePerMessageWithResourceIdsRenderedAndHostPathsAsWritten)
{
    LogCapture log;
    wlog('D', "settings", "%s: same value (%s)\n", "handler", "yes");
    wlog('V', "headset", "evil %s\n.", "line\ninjected\x1b");
    wlog_res('E', "settings", "$(export_fail)", "object already exported");
    wlog_res('N', "bios", "plain text, no id");
    wlog_res('N', "x", "$(unknown_id)");
    // C1 controls, separators, bidirectional controls and bytes that are not UTF-8 as well.
    wlog('T', "x", "%s",
         "\xC3\xA9\x7f\xC2\x85\xC2\x9f\xC2\xA0\xE2\x80\xA8\xE2\x80\xA9\xE2\x80\xAA\xE2\x80\xAE\xE2\x81\xA6"
         "\xE2\x81\xA9\xE2\x81\xAA\xC3(\xE2\x82 \xC0\x80\xED\xA0\x80");
    EXPECT_EQ((std::vector<std::string>{
                  "D settings: handler: same value (yes)", "V headset: evil line\\ninjected\\x1b\\n.",
                  "E settings: $(export_fail) failed to export the service object: object already exported",
                  "N bios: plain text, no id", "N x: $(unknown_id)",
                  "T x: \xC3\xA9\\x7f\\u0085\\u009f\xC2\xA0\\u2028\\u2029\\u202a\\u202e\\u2066\\u2069\xE2\x81\xAA"
                  "\\xc3(\\xe2\\x82 \\xc0\\x80\\xed\\xa0\\x80"}),
              log.lines);

    // A fixed host path is joined to the root as written: ".." is the kernel's to resolve, as a
    // folder on the way may be a symbolic link.
    TempHostRoot::set("/tmp/root/");
    EXPECT_EQ("/tmp/root/compat/linux/../../etc/x", host_path("/compat/linux/../../etc/x"));
    TempHostRoot::set(nullptr);
    EXPECT_EQ("/compat/linux/../../etc/x", host_path("/compat/linux/../../etc/x"));

    // Standard error is the journal only when JOURNAL_STREAM names its device and inode.
    for (const char *stream : {"2049:131076", "2050:131075", "2049:", ":131075", "2049:131075x", "2049", ""})
        EXPECT_FALSE(log_stream_is_journal(stream, 2049, 131075)) << stream;
    EXPECT_FALSE(log_stream_is_journal(nullptr, 2049, 131075));
    EXPECT_TRUE(log_stream_is_journal("2049:131075", 2049, 131075));
}

TEST(JsonParams, StringsAreCutAtACharacterAndOtherValuesConvertAsJsonGlibDoes)
{
    LogCapture log;
    JsonParams params(R"({"fit":"abc","over":"abcd","wide":"ab\u00e9","t":true,"big":4294967297,"i":-7,"d":2.5,
                          "s":"1","z":null,"a":[1]})");
    const std::tuple<const char *, bool, const char *> strings[] = {
        {"fit", true, "abc"}, {"over", true, "abc"},
        {"wide", true, "ab"},  // half of the two-byte character would fit: it goes whole
        {"i", false, "zzz"},  {"absent", false, "zzz"},
    };
    for (const auto &[member, copied, kept] : strings) {
        char buffer[4] = "zzz";
        EXPECT_EQ(copied, params.copy_string(member, buffer, sizeof buffer)) << member;
        EXPECT_STREQ(kept, buffer) << member;
    }
    EXPECT_FALSE(params.copy_string("fit", nullptr, 0));
    EXPECT_EQ(2u, log.lines.size());
    EXPECT_EQ(1u, log.count("abcd length error, truncated!"));
    const std::tuple<const char *, std::optional<int>, bool, std::optional<bool>> numbers[] = {
        {"t", 1, true, true},   {"big", 1, true, true},  // cut to 32 bits
        {"i", -7, true, true},  {"d", 2, true, true},   {"s", 0, false, false},
        {"z", 0, false, false}, {"a", 0, false, false}, {"absent", std::nullopt, false, std::nullopt},
    };
    for (const auto &[member, number, holds_number, truth] : numbers) {
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
    EXPECT_EQ(R"("a\"b\\c\n\b\f\u0001")", json_quote("a\"b\\c\n\b\f\x01"));
    // A cut inside a UTF-8 sequence must not make the reply invalid.
    EXPECT_EQ("\xEF\xBF\xBD", json_escape("\xC3"));
    EXPECT_EQ("\xC3\xA9", json_escape("\xC3\xA9"));
}

TEST(Audit, KeysNameAtMostEightMembersInOrderEscapedAndNoValue)
{
    const std::tuple<const char *, const char *> cases[] = {
        {R"({"USBWhiteListClass":"08","EnableUDiskReadOnly":1})", "USBWhiteListClass,EnableUDiskReadOnly"},
        {R"({"a":1,"b":2,"c":3,"d":4,"e":5,"f":6,"g":7,"h":8})", "a,b,c,d,e,f,g,h"},
        {R"({"a":1,"b":2,"c":3,"d":4,"e":5,"f":6,"g":7,"h":8,"i":9})", "a,b,c,d,e,f,g,h,\xe2\x80\xa6"},
        // A name cannot add a field, end the line or carry a control character.
        {"{\"x pid=1 Success\\n<5>\":\"secret\",\"\\u00e9,=\":0}", "x\\x20pid\\x3d1\\x20Success\\x0a\\x3c5\\x3e,\\xc3\\xa9\\x2c\\x3d"},
        {R"(["a","b"])", ""},
        {"not json", ""},
    };
    for (const auto &[parameter, keys] : cases)
        EXPECT_EQ(keys, audit_keys(parameter)) << parameter;
}
