#include <fstream>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "host/spawn.h"
#include "temp_dir.h"

TEST(HostCommand, ValuesNeverChangeWordBoundaries)
{
    const auto command = host_command("sysctl hw.usb.usbfs_redirect_string=\"%s\"", "1 2;$(touch x)`y`'\"");
    ASSERT_EQ(command.argv.size(), 2u);
    EXPECT_EQ(command.argv[0], "sysctl");
    EXPECT_EQ(command.argv[1], "hw.usb.usbfs_redirect_string=1 2;$(touch x)`y`'\"");
    EXPECT_EQ(command.text, "sysctl hw.usb.usbfs_redirect_string=\"1 2;$(touch x)`y`'\"\"");

    const auto numbers = host_command("sysctl %s=%d", "hw.x", -3);
    EXPECT_EQ(numbers.argv, (std::vector<std::string>{"sysctl", "hw.x=-3"}));
    const auto quoted_words = host_command("/bin/sh '%s' \"a b\" %s", "", "ON");
    EXPECT_EQ(quoted_words.argv, (std::vector<std::string>{"/bin/sh", "", "a b", "ON"}));
}

TEST(HostRun, ArgumentsArriveLiterallyAndNoShellRuns)
{
    TempDir dir;
    const std::string canary = dir.file("canary");
    const std::string hostile[] = {
        "a b", "\"q\"", "$(touch " + canary + ")", "`touch " + canary + "`", "; touch " + canary, "'", "\n"};
    for (const auto &arg : hostile) {
        std::string echoed;
        HostCommand command{{"printf", "%s", arg}, "printf"};
        ASSERT_TRUE(host_run(command, &echoed, 4096));
        EXPECT_EQ(echoed, arg == "\n" ? "" : arg);
    }
    EXPECT_FALSE(g_file_test(canary.c_str(), G_FILE_TEST_EXISTS));
}

TEST(HostRun, CapturesOnlyTheFirstLineUpToTheLimit)
{
    std::string line;
    ASSERT_TRUE(host_run({{"printf", "first line\nsecond\n"}, ""}, &line));
    EXPECT_EQ(line, "first line");
    ASSERT_TRUE(host_run({{"printf", "abcdef"}, ""}, &line, 3));
    EXPECT_EQ(line, "abc");
    // A program that writes far more than is read still ends (closed pipe) and is reaped.
    ASSERT_TRUE(host_run({{"yes"}, ""}, &line, 10));
    EXPECT_EQ(line, "y");
}

TEST(HostRun, ReportsWhenAProgramCannotStart)
{
    EXPECT_FALSE(host_run({{"/nonexistent/program"}, ""}));
    EXPECT_FALSE(host_run({{"no-such-program-corvo"}, ""}));
    EXPECT_FALSE(host_run({{}, ""}));
    EXPECT_TRUE(host_run({{"false"}, ""})) << "an exit status is not a start failure";
}

TEST(HostStartBackground, ChildIsReapedSoNoZombieRemains)
{
    TempDir dir;
    const std::string marker = dir.file("ran");
    ASSERT_TRUE(host_start_background({{"touch", marker}, ""}));
    GMainContext *context = g_main_context_default();
    const gint64 deadline = g_get_monotonic_time() + 5 * G_USEC_PER_SEC;
    bool reaped = false;
    while (!reaped && g_get_monotonic_time() < deadline) {
        g_main_context_iteration(context, FALSE);
        // waitpid fails with ECHILD once GLib has reaped every child.
        reaped = g_file_test(marker.c_str(), G_FILE_TEST_EXISTS) && waitpid(-1, nullptr, WNOHANG) < 0;
        g_usleep(1000);
    }
    EXPECT_TRUE(reaped);
    EXPECT_FALSE(host_start_background({{"/nonexistent/program"}, ""}));
}
