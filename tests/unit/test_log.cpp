#include <gtest/gtest.h>

#include "common/log.h"
#include "host/host_root.h"
#include "log_capture.h"

TEST(Log, OneLinePerMessageWithLevelAndTag)
{
    LogCapture log;
    wlog('D', "settings", "%s: same value (%s)\n", "handler", "yes");
    wlog('V', "settings", "bus acquired for %s\n.", "com.corvo.settings");
    wlog('D', "headset", "evil %s\n", "line\ninjected\x1b");
    ASSERT_EQ(log.lines().size(), 3u);
    EXPECT_EQ(log.lines()[0], "D settings: handler: same value (yes)");
    EXPECT_EQ(log.lines()[1], "V settings: bus acquired for com.corvo.settings\\n.");
    EXPECT_EQ(log.lines()[2], "D headset: evil line\\ninjected\\x1b");
}

TEST(Log, ResourceIdsAreRenderedAndKept)
{
    LogCapture log;
    wlog_res('E', "settings", "$(export_fail)", "object already exported");
    wlog_res('N', "admin_policy", "$(sdl_invalid_input)");
    wlog_res('N', "bios", "plain text, no id");
    wlog_res('N', "headset", "$(jabra_invalid)", "/tmp/a;b");
    wlog_res('N', "x", "$(unknown_id)");
    ASSERT_EQ(log.lines().size(), 5u);
    EXPECT_EQ(log.lines()[0],
              "E settings: $(export_fail) failed to export the service object: object already exported");
    EXPECT_EQ(log.lines()[1].rfind("N admin_policy: $(sdl_invalid_input) ", 0), 0u);
    EXPECT_EQ(log.lines()[2], "N bios: plain text, no id");
    EXPECT_EQ(log.lines()[3], "N headset: $(jabra_invalid) rejected Jabra configuration path /tmp/a;b");
    EXPECT_EQ(log.lines()[4], "N x: $(unknown_id)");
}

TEST(HostRoot, FixedPathsAreJoinedToTheRootAsWritten)
{
    g_setenv("CORVO_HOST_ROOT", "/tmp/root/", TRUE);
    host_root_reset_for_tests();
    EXPECT_EQ(host_path("/boot/loader.conf.local"), "/tmp/root/boot/loader.conf.local");
    // ".." is the kernel's to resolve: a folder on the way may be a symbolic link.
    EXPECT_EQ(host_path("/compat/linux/../../etc/sysctl.conf.local"),
              "/tmp/root/compat/linux/../../etc/sysctl.conf.local");
    g_unsetenv("CORVO_HOST_ROOT");
    host_root_reset_for_tests();
    EXPECT_EQ(host_path("/compat/linux/../../etc/sysctl.conf.local"), "/compat/linux/../../etc/sysctl.conf.local");
}
