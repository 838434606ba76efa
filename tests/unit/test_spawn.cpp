#include <gtest/gtest.h>
#include <sys/wait.h>

#include "host/spawn.h"
#include "test_support.h"

using Argv = std::vector<std::string>;

TEST(HostCommand, ValuesNeverChangeWordBoundaries)
{
    const auto command = host_command("sysctl hw.usb.usbfs_redirect_string=\"%s\"", "1 2;$(touch x)`y`'\"");
    EXPECT_EQ((Argv{"sysctl", "hw.usb.usbfs_redirect_string=1 2;$(touch x)`y`'\""}), command.argv);
    EXPECT_EQ((Argv{"sysctl", "hw.x=-3"}), host_command("sysctl %s=%d", "hw.x", -3).argv);
    EXPECT_EQ((Argv{"/bin/sh", "", "a b", "ON"}), host_command("/bin/sh '%s' \"a b\" %s", "", "ON").argv);
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
