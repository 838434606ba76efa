#include <csignal>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "host/kv_file.h"
#include "log_capture.h"
#include "temp_dir.h"

namespace {

std::string slurp(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void put(const std::string &path, const std::string &content)
{
    std::ofstream(path, std::ios::binary) << content;
}

KvFileSpec loader(const TempDir &dir)
{
    return {dir.file("loader.conf.local"), KvFormat::quoted, 1023};
}

KvStatus replace(const KvFileSpec &file, const std::string &name, const std::string &value)
{
    KvEdit edit;
    edit.remove(name);
    edit.append(name, value);
    return kv_file_commit(file, edit);
}

}  // namespace

TEST(KvFile, RemovesOnlyTheExactKeyAndKeepsEverythingElse)
{
    TempDir dir;
    const auto file = loader(dir);
    put(file.path, "# usb.whitelist.class is set below\n"
                   "usb.whitelistXclass=\"1\"\n"
                   "usb.whitelist.class=\"0x03\"\n"
                   "  usb.whitelist.class = \"0x08\"\n"
                   "usb.whitelist.class.extra=\"2\"\n");
    KvEdit edit;
    edit.remove("usb.whitelist.class");
    ASSERT_EQ(kv_file_commit(file, edit), KvStatus::ok);
    EXPECT_EQ(slurp(file.path), "# usb.whitelist.class is set below\n"
                                "usb.whitelistXclass=\"1\"\n"
                                "usb.whitelist.class.extra=\"2\"\n");
}

TEST(KvFile, ReplacingKeepsOneLineEndsLinesAndCreatesOrKeepsTheMode)
{
    TempDir dir;
    const auto file = loader(dir);
    ASSERT_EQ(replace(file, "hw.re.eee_enable", "1"), KvStatus::ok);
    struct stat info {};
    ASSERT_EQ(stat(file.path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0644u);
    ASSERT_EQ(replace(file, "hw.re.eee_enable", "0"), KvStatus::ok);
    EXPECT_EQ(slurp(file.path), "hw.re.eee_enable=\"0\"\n");

    // A last line without line feed gets one before the appended line.
    put(file.path, "a=\"1\"");
    chmod(file.path.c_str(), 0600);
    ASSERT_EQ(replace(file, "b", "2"), KvStatus::ok);
    EXPECT_EQ(slurp(file.path), "a=\"1\"\nb=\"2\"\n");
    ASSERT_EQ(stat(file.path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u);
}

TEST(KvFile, RefusedNamesAndValuesLeaveTheFileByteIdentical)
{
    TempDir dir;
    const auto file = loader(dir);
    const std::string before = "# keep\nkeep=\"1\"";
    put(file.path, before);
    const std::string bad_names[] = {"", "a b", "a/d;x", "a'", "a\nb", "$(x)", "a=b", "#"};
    for (const auto &name : bad_names)
        EXPECT_EQ(replace(file, name, "1"), KvStatus::refused) << name;
    const std::string bad_values[] = {"a\nb", "a\rb", std::string("a\0b", 3), "a\"b"};
    for (const auto &value : bad_values)
        EXPECT_EQ(replace(file, "name", value), KvStatus::refused);
    EXPECT_EQ(slurp(file.path), before);

    // A target that is a folder or in a missing folder cannot be written.
    ASSERT_EQ(mkdir(dir.file("folder").c_str(), 0755), 0);
    EXPECT_EQ(replace({dir.file("folder"), KvFormat::quoted, 1023}, "a", "1"), KvStatus::io_error);
    EXPECT_EQ(replace({dir.file("no/such/file"), KvFormat::quoted, 1023}, "a", "1"), KvStatus::io_error);

    // A double quote is fine where values are not quoted.
    KvFileSpec plain{dir.file("sysctl.conf.local"), KvFormat::plain, 255};
    EXPECT_EQ(replace(plain, "kern.coredump", "\"1\""), KvStatus::ok);
}

TEST(KvFile, OverLongValueIsCutInsideTheQuotesAndLogged)
{
    TempDir dir;
    const auto file = loader(dir);
    LogCapture log;
    ASSERT_EQ(replace(file, "usb.whitelist.vidpid", std::string(1100, 'v')), KvStatus::ok);
    const std::string content = slurp(file.path);
    ASSERT_EQ(content.size(), 1024u);  // 1023 characters and the line feed
    EXPECT_EQ(content.substr(content.size() - 3), "v\"\n");
    EXPECT_EQ(log.count_containing("length error, truncated!"), 1u);

    KvFileSpec plain{dir.file("sysctl.conf.local"), KvFormat::plain, 255};
    ASSERT_EQ(replace(plain, "kern.coredump", std::string(300, '1')), KvStatus::ok);
    EXPECT_EQ(slurp(plain.path).size(), 256u);

    // The cut never splits a UTF-8 character: name="" takes 7 of 10 characters, and 3 bytes
    // of room cannot hold two 2-byte characters.
    bool cut = false;
    EXPECT_EQ(kv_format_line({"unused", KvFormat::quoted, 10}, "abcd", "\xC3\xA9\xC3\xA9", &cut), "abcd=\"\xC3\xA9\"");
    EXPECT_TRUE(cut);
}

TEST(KvFile, GatheredEditIsSeenWhollyBeforeOrWhollyAfter)
{
    TempDir dir;
    const auto file = loader(dir);
    const char *names[] = {"usb.whitelist.vidpid", "usb.whitelist.class", "usb.blacklist.vidpid",
                           "usb.blacklist.class"};
    std::string old_content = "# head\n";
    for (const char *name : names)
        old_content += std::string(name) + "=\"old\"\n";
    put(file.path, old_content);

    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        for (int round = 0; round < 400; ++round) {
            KvEdit edit;
            for (const char *name : names)
                edit.remove(name);
            for (const char *name : names)
                edit.append(name, round % 2 ? "new" : "old");
            kv_file_commit(file, edit);
        }
        _exit(0);
    }
    int torn = 0, reads = 0;
    int status = 0;
    while (waitpid(child, &status, WNOHANG) == 0) {
        const std::string seen = slurp(file.path);
        ++reads;
        int lines = 0;
        for (char c : seen)
            lines += c == '\n';
        if (lines != 5 || seen.back() != '\n' || seen.rfind("# head\n", 0) != 0)
            ++torn;
    }
    EXPECT_EQ(torn, 0) << "of " << reads << " reads";
    EXPECT_TRUE(WIFEXITED(status));
}

TEST(KvFile, KilledWriterLeavesOldOrNewContent)
{
    TempDir dir;
    const auto file = loader(dir);
    const std::string tail(200000, 'x');  // a large file makes the write window wide
    put(file.path, "big=\"" + tail + "\"\nvalue=\"old\"\n");
    for (int round = 0; round < 40; ++round) {
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            for (;;)
                replace(file, "value", "new");
        }
        usleep(static_cast<useconds_t>(200 + round * 97 % 3000));
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
        const std::string seen = slurp(file.path);
        const bool whole =
            seen.size() > tail.size() && seen.back() == '\n' &&
            (seen.find("value=\"old\"\n") != std::string::npos || seen.find("value=\"new\"\n") != std::string::npos);
        ASSERT_TRUE(whole) << "round " << round << ", size " << seen.size();
    }
}

TEST(KvFile, TemporaryFilesOfAKilledWriterAreRemovedByTheNextWrite)
{
    TempDir dir;
    const auto file = loader(dir);
    put(file.path, "value=\"old\"\n");
    put(dir.file(".loader.conf.local.Ab12Cd"), "value=\"half");
    put(dir.file(".loader.conf.local.keep"), "not ours");
    put(dir.file(".other.conf.Ab12Cd"), "not ours");
    ASSERT_EQ(replace(file, "value", "new"), KvStatus::ok);
    EXPECT_EQ(slurp(file.path), "value=\"new\"\n");
    EXPECT_FALSE(g_file_test(dir.file(".loader.conf.local.Ab12Cd").c_str(), G_FILE_TEST_EXISTS));
    EXPECT_TRUE(g_file_test(dir.file(".loader.conf.local.keep").c_str(), G_FILE_TEST_EXISTS));
    EXPECT_TRUE(g_file_test(dir.file(".other.conf.Ab12Cd").c_str(), G_FILE_TEST_EXISTS));
}
