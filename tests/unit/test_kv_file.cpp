#include <algorithm>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "host/kv_file.h"
#include "test_support.h"

namespace {

KvStatus replace(const KvFileSpec &file, const std::string &name, const std::string &value)
{
    KvEdit edit;
    edit.remove(name);
    edit.append(name, value);
    return kv_file_commit(file, edit);
}

mode_t mode_of(const std::string &path)
{
    struct stat info {};
    return stat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
}

class KvFile : public ::testing::Test {
protected:
    TempDir dir;
    const KvFileSpec file{dir.file("loader.conf.local"), KvFormat::quoted, 1023};
    const KvFileSpec plain{dir.file("sysctl.conf.local"), KvFormat::plain, 255};
};

}  // namespace

TEST_F(KvFile, RemovesOnlyTheExactKeyAndKeepsEverythingElse)
{
    put(file.path, "# usb.whitelist.class is set below\nusb.whitelistXclass=\"1\"\nusb.whitelist.class=\"0x03\"\n"
                   "  usb.whitelist.class = \"0x08\"\nusb.whitelist.class.extra=\"2\"");
    ASSERT_EQ(KvStatus::ok, replace(file, "usb.whitelist.class", "HID"));
    EXPECT_EQ("# usb.whitelist.class is set below\nusb.whitelistXclass=\"1\"\nusb.whitelist.class.extra=\"2\"\n"
              "usb.whitelist.class=\"HID\"\n",
              slurp(file.path));
    chmod(file.path.c_str(), 0600);
    ASSERT_EQ(KvStatus::ok, replace(file, "usb.whitelist.class", "Audio"));
    EXPECT_EQ(0600u, mode_of(file.path));
    ASSERT_EQ(KvStatus::ok, replace(plain, "kern.coredump", "\"1\""));  // quotes are plain text here
    EXPECT_EQ("kern.coredump=\"1\"\n", slurp(plain.path));
    EXPECT_EQ(0644u, mode_of(plain.path));  // a new file
}

TEST_F(KvFile, RefusedEditLeavesTheFileByteIdentical)
{
    const std::string before = "# keep\nkeep=\"1\"";
    put(file.path, before);
    for (const char *name : {"", "a b", "a/d;x", "a=b", "$(x)", "a\nb"})
        EXPECT_EQ(KvStatus::refused, replace(file, name, "1")) << name;
    for (const std::string &value : {std::string("a\nb"), std::string("a\0b", 3), std::string("a\"b")})
        EXPECT_EQ(KvStatus::refused, replace(file, "name", value));
    EXPECT_EQ(before, slurp(file.path));
    ASSERT_EQ(0, mkdir(dir.file("folder").c_str(), 0755));
    EXPECT_EQ(KvStatus::io_error, replace({dir.file("folder"), KvFormat::quoted, 1023}, "a", "1"));
    EXPECT_EQ(KvStatus::io_error, replace({dir.file("no/such/file"), KvFormat::quoted, 1023}, "a", "1"));
}

TEST_F(KvFile, OverLongValueIsCutInsideTheQuotesAtACharacterAndLogged)
{
    LogCapture log;
    ASSERT_EQ(KvStatus::ok, replace(file, "usb.whitelist.vidpid", std::string(1100, 'v')));
    EXPECT_EQ("usb.whitelist.vidpid=\"" + std::string(1023 - 23, 'v') + "\"\n", slurp(file.path));
    EXPECT_EQ(1u, log.count("length error, truncated!"));
    // name="" takes 7 of 10 characters: 3 bytes of room cannot hold two 2-byte characters.
    bool cut = false;
    EXPECT_EQ("abcd=\"\xC3\xA9\"", kv_format_line({"unused", KvFormat::quoted, 10}, "abcd", "\xC3\xA9\xC3\xA9", &cut));
    EXPECT_TRUE(cut);
}

TEST_F(KvFile, ReaderSeesTheGatheredEditWhollyBeforeOrWhollyAfter)
{
    const char *names[] = {"usb.whitelist.vidpid", "usb.whitelist.class", "usb.blacklist.vidpid"};
    put(file.path, "# head\nusb.whitelist.vidpid=\"0\"\nusb.whitelist.class=\"0\"\nusb.blacklist.vidpid=\"0\"\n");
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        for (int round = 0; round < 400; ++round) {
            KvEdit edit;
            for (const char *name : names)
                edit.remove(name);
            for (const char *name : names)
                edit.append(name, std::to_string(round));
            kv_file_commit(file, edit);
        }
        _exit(0);
    }
    int torn = 0, status = 0;
    while (waitpid(child, &status, WNOHANG) == 0) {
        const std::string seen = slurp(file.path);
        const size_t values = std::count(seen.begin(), seen.end(), '\n');
        torn += values != 4 || seen.rfind("# head\n", 0) != 0;
    }
    EXPECT_EQ(0, torn);
}

TEST_F(KvFile, KilledWriterLeavesOldOrNewContentAndItsTemporaryIsRemovedNextTime)
{
    const std::string big = "big=\"" + std::string(200000, 'x') + "\"\n";  // a wide write window
    put(file.path, big + "value=\"old\"\n");
    for (int round = 0; round < 40; ++round) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0)
            for (;;)
                replace(file, "value", round % 2 ? "old" : "new");
        usleep(static_cast<useconds_t>(200 + round * 97 % 3000));
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
        const std::string seen = slurp(file.path);
        ASSERT_TRUE(seen == big + "value=\"old\"\n" || seen == big + "value=\"new\"\n") << "round " << round;
    }
    put(dir.file(".loader.conf.local.Ab12Cd"), "value=\"half");
    put(dir.file(".loader.conf.local.keep"), "not ours");
    put(dir.file(".other.conf.Ab12Cd"), "not ours");
    ASSERT_EQ(KvStatus::ok, replace(file, "value", "fresh"));  // a change: an unchanged file is not rewritten
    EXPECT_FALSE(g_file_test(dir.file(".loader.conf.local.Ab12Cd").c_str(), G_FILE_TEST_EXISTS));
    EXPECT_TRUE(g_file_test(dir.file(".loader.conf.local.keep").c_str(), G_FILE_TEST_EXISTS));
    EXPECT_TRUE(g_file_test(dir.file(".other.conf.Ab12Cd").c_str(), G_FILE_TEST_EXISTS));
}
