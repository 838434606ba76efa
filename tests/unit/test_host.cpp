#include <csignal>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "host/kv_file.h"
#include "host/spawn.h"
#include "test_support.h"

namespace {

KvStatus replace(const KvFileSpec &file, const std::string &name, const std::string &value)
{
    KvEdit edit;
    edit.remove(name);
    edit.append(name, value);
    return kv_file_commit(file, edit);
}

const auto mode_of = [](const std::string &p) { return static_cast<int>(std::filesystem::status(p).permissions()); };

class KvFile : public ::testing::Test {
protected:
    TempDir dir;
    const KvFileSpec file{dir.file("loader.conf.local"), KvFormat::quoted, 1023};
    const KvFileSpec plain{dir.file("sysctl.conf.local"), KvFormat::plain, 255};
};

}  // namespace

TEST_F(KvFile, ReplacesOnlyTheExactKeyInPlaceAndKeepsEverythingElse)
{
    put(file.path, "# usb.whitelist.class is set below\nusb.whitelistXclass=\"1\"\nusb.whitelist.class=\"0x03\"\n"
                   "  usb.whitelist.class = \"0x08\"\nusb.whitelist.class.extra=\"2\"");
    ASSERT_EQ(KvStatus::ok, replace(file, "usb.whitelist.class", "HID"));
    EXPECT_EQ("# usb.whitelist.class is set below\nusb.whitelistXclass=\"1\"\nusb.whitelist.class=\"HID\"\n"
              "usb.whitelist.class.extra=\"2\"\n",
              slurp(file.path));
    // The same value again leaves the file as it is, in place, not moved to the end.
    const std::string before = slurp(file.path);
    ASSERT_EQ(KvStatus::ok, replace(file, "usb.whitelist.class", "HID"));
    EXPECT_EQ(before, slurp(file.path));
    chmod(file.path.c_str(), 0600);
    ASSERT_EQ(KvStatus::ok, replace(file, "usb.whitelist.class", "Audio"));
    EXPECT_EQ(0600, mode_of(file.path));
    ASSERT_EQ(KvStatus::ok, replace(plain, "kern.coredump", "\"1\""));  // quotes are plain text here
    EXPECT_EQ("kern.coredump=\"1\"\n", slurp(plain.path));
    EXPECT_EQ(0644, mode_of(plain.path));  // a new file

    // Read back as the boot takes it: the last line of the key, quotes and blanks removed.
    const std::string content = "a=\"1\"\n a = \"two words\" \nab=\"3\"\n# a=\"4\"\nb=\"\"";
    EXPECT_EQ("two words", kv_value(file, content, "a"));
    EXPECT_EQ("", kv_value(file, content, "b"));
    EXPECT_EQ(std::nullopt, kv_value(file, content, "c"));
    EXPECT_EQ("\"1\"", kv_value(plain, "kern.coredump=\"1\"", "kern.coredump"));
}

TEST_F(KvFile, RefusedEditLeavesTheFileByteIdenticalAndAnOverLongValueIsCut)
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

    // An over-long value is cut inside the quotes, at a character, and the cut logged.
    LogCapture log;
    ASSERT_EQ(KvStatus::ok, replace(file, "usb.whitelist.vidpid", std::string(1100, 'v')));
    EXPECT_EQ(before + "\nusb.whitelist.vidpid=\"" + std::string(1023 - 23, 'v') + "\"\n", slurp(file.path));
    EXPECT_EQ(1u, log.count("length error, truncated!"));
    // name="" takes 7 of 10 characters: 3 bytes of room cannot hold two 2-byte characters.
    bool cut = false;
    EXPECT_EQ("abcd=\"\xC3\xA9\"", kv_format_line({"unused", KvFormat::quoted, 10}, "abcd", "\xC3\xA9\xC3\xA9", &cut));
    EXPECT_TRUE(cut);
}

TEST_F(KvFile, ReadersAndKilledWritersSeeTheGatheredEditWhollyBeforeOrWhollyAfter)
{
    // A large file makes the write window wide; every write changes both lines of the edit.
    const std::string big = "big=\"" + std::string(200000, 'x') + "\"\n";
    const std::string old_content = big + "a=\"old\"\nb=\"old\"\n", new_content = big + "a=\"new\"\nb=\"new\"\n";
    put(file.path, old_content);
    for (int round = 0; round < 40; ++round) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        while (child == 0)
            for (const char *value : {"new", "old"}) {
                KvEdit edit;
                edit.remove("a");
                edit.remove("b");
                edit.append("a", value);
                edit.append("b", value);
                kv_file_commit(file, edit);
            }
        for (int read = 0; read < round * 7 % 50; ++read) {
            const std::string seen = slurp(file.path);
            ASSERT_TRUE(seen == old_content || seen == new_content) << "round " << round << ", read " << read;
        }
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
        const std::string seen = slurp(file.path);
        ASSERT_TRUE(seen == old_content || seen == new_content) << "round " << round << " after the kill";
    }
    // The temporary file a killed writer leaves is removed by the next write, and nothing else.
    put(dir.file(".loader.conf.local.Ab12Cd"), "a=\"half");
    put(dir.file(".loader.conf.local.keep"), "not ours");
    put(dir.file(".other.conf.Ab12Cd"), "not ours");
    ASSERT_EQ(KvStatus::ok, replace(file, "a", "fresh"));
    EXPECT_FALSE(g_file_test(dir.file(".loader.conf.local.Ab12Cd").c_str(), G_FILE_TEST_EXISTS));
    EXPECT_TRUE(g_file_test(dir.file(".loader.conf.local.keep").c_str(), G_FILE_TEST_EXISTS));
    EXPECT_TRUE(g_file_test(dir.file(".other.conf.Ab12Cd").c_str(), G_FILE_TEST_EXISTS));
}

using Argv = std::vector<std::string>;

TEST(HostCommand, ValuesNeverChangeWordBoundaries)
{
    const auto command = host_command("sysctl hw.usb.usbfs_redirect_string=\"%s\"", "1 2;$(touch x)`y`'\"");
    EXPECT_EQ((Argv{"sysctl", "hw.usb.usbfs_redirect_string=1 2;$(touch x)`y`'\""}), command.argv);
    EXPECT_EQ((Argv{"sysctl", "hw.x=-3"}), host_command("sysctl %s=%d", "hw.x", -3).argv);
    EXPECT_EQ((Argv{"/bin/sh", "", "a b", "ON"}), host_command("/bin/sh '%s' \"a b\" %s", "", "ON").argv);
    EXPECT_EQ((Argv{"x", "7%"}), host_command("x %u%%", 7u).argv);
    EXPECT_TRUE(host_command("unbalanced \"%s", "x").argv.empty());  // no command line, no program
}

TEST(HostRun, ArgumentsArriveLiterallyNoShellRunsAndTheFirstLineComesBack)
{
    TempDir dir;
    const std::string canary = dir.file("canary");
    for (const std::string &arg :
         Argv{"a b", "\"q\"", "$(touch " + canary + ")", "`touch " + canary + "`", "; touch " + canary, "'"}) {
        std::string echoed;
        ASSERT_TRUE(host_run({{"printf", "%s", arg}, "printf"}, &echoed, 4096));
        EXPECT_EQ(arg, echoed);
    }
    EXPECT_FALSE(g_file_test(canary.c_str(), G_FILE_TEST_EXISTS));
    // Only the first line is kept, up to the limit.
    std::string line;
    ASSERT_TRUE(host_run({{"printf", "first line\nsecond\n"}, ""}, &line));
    EXPECT_EQ("first line", line);
    ASSERT_TRUE(host_run({{"printf", "abcdef"}, ""}, &line, 3));
    EXPECT_EQ("abc", line);
    // A program that writes far more than is read still ends (closed pipe) and is reaped.
    ASSERT_TRUE(host_run({{"yes"}, ""}, &line, 10));
    EXPECT_EQ("y", line);
    EXPECT_TRUE(host_run({{"false"}, ""})) << "an exit status is no start failure";
    for (const Argv &argv : {Argv{"/nonexistent/program"}, Argv{"no-such-program-corvo"}, Argv{}})
        EXPECT_FALSE(host_run({argv, ""}));
}

TEST(HostStartBackground, ChildIsReapedSoNoZombieRemains)
{
    TempDir dir;
    const std::string marker = dir.file("ran");
    ASSERT_TRUE(host_start_background({{"touch", marker}, ""}));
    EXPECT_FALSE(host_start_background({{"/nonexistent/program"}, ""}));
    // waitpid fails with ECHILD once GLib has reaped every child; the loop ends either way.
    bool reaped = false;
    for (int i = 0; i < 5000 && !reaped; ++i) {
        g_main_context_iteration(nullptr, FALSE);
        reaped = g_file_test(marker.c_str(), G_FILE_TEST_EXISTS) && waitpid(-1, nullptr, WNOHANG) < 0;
        g_usleep(1000);
    }
    EXPECT_TRUE(reaped);
}
