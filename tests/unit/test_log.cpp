#include <gtest/gtest.h>

#include "test_support.h"

TEST(Log, OneEscapedLinePerMessageWithLevelAndTagAndResourceIdsRendered)
{
    LogCapture log;
    wlog('D', "settings", "%s: same value (%s)\n", "handler", "yes");
    wlog('V', "headset", "evil %s\n.", "line\ninjected\x1b");
    wlog_res('E', "settings", "$(export_fail)", "object already exported");
    wlog_res('N', "bios", "plain text, no id");
    wlog_res('N', "x", "$(unknown_id)");
    EXPECT_EQ((std::vector<std::string>{
                  "D settings: handler: same value (yes)", "V headset: evil line\\ninjected\\x1b\\n.",
                  "E settings: $(export_fail) failed to export the service object: object already exported",
                  "N bios: plain text, no id", "N x: $(unknown_id)"}),
              log.lines);
}

TEST(HostRoot, FixedPathsAreJoinedToTheRootAsWritten)
{
    TempHostRoot::set("/tmp/root/");
    EXPECT_EQ("/tmp/root/boot/loader.conf.local", host_path("/boot/loader.conf.local"));
    // ".." is the kernel's to resolve: a folder on the way may be a symbolic link.
    EXPECT_EQ("/tmp/root/compat/linux/../../etc/sysctl.conf.local",
              host_path("/compat/linux/../../etc/sysctl.conf.local"));
    TempHostRoot::set(nullptr);
    EXPECT_EQ("/compat/linux/../../etc/sysctl.conf.local", host_path("/compat/linux/../../etc/sysctl.conf.local"));
}
