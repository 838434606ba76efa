#include <csignal>
#include <memory>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "common/error.h"
#include "host/file_io.h"
#include "host/kv_file.h"
#include "host/spawn.h"
#include "test_support.h"

namespace {

// 0 when the file was written, else the domain of the error (CORVO_ERROR for a refused entry,
// G_FILE_ERROR when the file could not be read or replaced).
GQuark replace(const KvFileSpec &file, const std::string &name, const std::string &value)
{
    KvEdit edit;
    edit.remove(name);
    edit.append(name, value);
    g_autoptr(GError) error = nullptr;
    return kv_file_commit(file, edit, &error) ? 0 : error->domain;
}
constexpr GQuark written = 0;

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
    ASSERT_EQ(written, replace(file, "usb.whitelist.class", "HID"));
    EXPECT_EQ("# usb.whitelist.class is set below\nusb.whitelistXclass=\"1\"\nusb.whitelist.class=\"HID\"\n"
              "usb.whitelist.class.extra=\"2\"\n",
              slurp(file.path));
    // The same value again leaves the file as it is, in place, not moved to the end.
    const std::string before = slurp(file.path);
    ASSERT_EQ(written, replace(file, "usb.whitelist.class", "HID"));
    EXPECT_EQ(before, slurp(file.path));
    chmod(file.path.c_str(), 0600);
    ASSERT_EQ(written, replace(file, "usb.whitelist.class", "Audio"));
    EXPECT_EQ(0600, mode_of(file.path));
    ASSERT_EQ(written, replace(plain, "kern.coredump", "\"1\""));  // quotes are plain text here
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
        EXPECT_EQ(CORVO_ERROR, replace(file, name, "1")) << name;
    for (const std::string &value : {std::string("a\nb"), std::string("a\0b", 3), std::string("a\"b")})
        EXPECT_EQ(CORVO_ERROR, replace(file, "name", value));
    EXPECT_EQ(before, slurp(file.path));
    ASSERT_EQ(0, mkdir(dir.file("folder").c_str(), 0755));
    EXPECT_EQ(G_FILE_ERROR, replace({dir.file("folder"), KvFormat::quoted, 1023}, "a", "1"));
    EXPECT_EQ(G_FILE_ERROR, replace({dir.file("no/such/file"), KvFormat::quoted, 1023}, "a", "1"));

    // An over-long value is cut inside the quotes, at a character, and the cut logged.
    LogCapture log;
    ASSERT_EQ(written, replace(file, "usb.whitelist.vidpid", std::string(1100, 'v')));
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
        // Killed however this round ends: a failed assertion returns from the test at once.
        std::unique_ptr<const pid_t, void (*)(const pid_t *)> writer(&child, [](const pid_t *pid) {
            kill(*pid, SIGKILL);
            waitpid(*pid, nullptr, 0);
        });
        while (child == 0)
            for (const char *value : {"new", "old"}) {
                KvEdit edit;
                edit.remove("a");
                edit.remove("b");
                edit.append("a", value);
                edit.append("b", value);
                kv_file_commit(file, edit, nullptr);
            }
        for (int read = 0; read < round * 7 % 50; ++read) {
            const std::string seen = slurp(file.path);
            ASSERT_TRUE(seen == old_content || seen == new_content) << "round " << round << ", read " << read;
        }
        writer.reset();
        const std::string seen = slurp(file.path);
        ASSERT_TRUE(seen == old_content || seen == new_content) << "round " << round << " after the kill";
    }
    // The temporary file a killed writer leaves is removed by the next write, and nothing else.
    put(dir.file(".loader.conf.local.Ab12Cd"), "a=\"half");
    put(dir.file(".loader.conf.local.keep"), "not ours");
    put(dir.file(".other.conf.Ab12Cd"), "not ours");
    ASSERT_EQ(written, replace(file, "a", "fresh"));
    EXPECT_FALSE(g_file_test(dir.file(".loader.conf.local.Ab12Cd").c_str(), G_FILE_TEST_EXISTS));
    EXPECT_TRUE(g_file_test(dir.file(".loader.conf.local.keep").c_str(), G_FILE_TEST_EXISTS));
    EXPECT_TRUE(g_file_test(dir.file(".other.conf.Ab12Cd").c_str(), G_FILE_TEST_EXISTS));
}

TEST_F(KvFile, TheNewContentIsOnDiskBeforeTheRenameAndTheRenameBeforeTheCallEnds)
{
    static std::string steps;
    host_file_set_replace_calls_for_tests({
        [](int fd, const void *data, size_t size) { return steps += "write ", write(fd, data, size); },
        [](int fd) {
            struct stat info {};
            steps += fstat(fd, &info) == 0 && S_ISDIR(info.st_mode) ? "sync-folder " : "sync-file ";
            return fsync(fd);
        },
        [](const char *from, const char *to) { return steps += "rename ", rename(from, to); },
    });
    EXPECT_EQ(written, replace(file, "a", "1"));
    host_file_set_replace_calls_for_tests({});
    EXPECT_EQ("write sync-file rename sync-folder ", steps);
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
    host_run({{"yes"}, ""}, &line, 10);
    EXPECT_EQ("y", line);
}

TEST(HostRun, OnlyExitStatusZeroSucceedsAStartFailureIsToldApartAndStandardErrorIsLogged)
{
    const std::pair<Argv, int> cases[] = {
        {{"true"}, -1},  // no error
        {{"false"}, CORVO_ERROR_EXITED},
        {{"sh", "-c", "echo oops >&2; echo more >&2; kill -9 $$"}, CORVO_ERROR_EXITED},
        {{"no-such-program-corvo"}, CORVO_ERROR_NOT_STARTED},
        {{}, CORVO_ERROR_NOT_STARTED},
    };
    LogCapture log;
    for (const auto &[argv, code] : cases) {
        g_autoptr(GError) error = nullptr;
        EXPECT_EQ(code < 0, host_run({argv, ""}, nullptr, 255, &error));
        EXPECT_EQ(code, error ? error->code : -1);
        EXPECT_EQ(code != CORVO_ERROR_NOT_STARTED, host_run_started(error));
    }
    EXPECT_EQ(1u, log.count("sh said: oops"));
    EXPECT_EQ(1u, log.count("sh ended with status 137"));
}

TEST(HostRun, AProgramOverTheTimeLimitIsKilledWithItsGroupWhileNoOtherWorkIsDispatched)
{
    const auto limit_for = [](const char *asked) {
        g_setenv("CORVO_PROGRAM_TIMEOUT", asked, TRUE);
        host_run_time_limit_reset_for_tests();
        return host_run_time_limit_seconds();
    };
    for (const char *asked : {"600", "0", "ten"})  // the variable only shortens the limit
        EXPECT_EQ(60u, limit_for(asked)) << asked;
    EXPECT_EQ(1u, limit_for("1"));

    TempDir dir;
    bool dispatched = false;
    g_idle_add([](gpointer flag) { return *static_cast<bool *>(flag) = true, G_SOURCE_REMOVE; }, &dispatched);
    LogCapture log;
    g_autoptr(GError) error = nullptr;
    // The script leaves a child of its own that would outlive it.
    const Argv script = {"sh", "-c", "sleep 600 & echo $! > " + dir.file("pid") + "; wait"};
    EXPECT_FALSE(host_run({script, ""}, nullptr, 255, &error));
    EXPECT_TRUE(g_error_matches(error, CORVO_ERROR, CORVO_ERROR_TIMED_OUT));
    EXPECT_EQ(1u, log.count("sh: killed after 1 s, the time limit"));
    EXPECT_FALSE(dispatched);
    g_main_context_iteration(nullptr, FALSE);  // the idle source goes

    const std::string stat = "/proc/" + slurp(dir.file("pid")).substr(0, slurp(dir.file("pid")).find('\n')) + "/stat";
    for (int i = 0; i < 500 && !slurp(stat).empty() && slurp(stat).find(") Z ") == std::string::npos; ++i)
        g_usleep(10000);
    EXPECT_TRUE(slurp(stat).empty() || slurp(stat).find(") Z ") != std::string::npos) << "killed with the script";
    g_unsetenv("CORVO_PROGRAM_TIMEOUT");
    host_run_time_limit_reset_for_tests();
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
