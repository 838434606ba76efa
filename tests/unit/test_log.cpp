#include <gtest/gtest.h>

#include "common/log.h"
#include "host/host_root.h"
#include "log_capture.h"

TEST(Log, OneLinePerMessageWithLevelAndTag)
{
    LogCapture log;
    _wlog('D', "settings", "%s: same value (%s)\n", "handler", "yes");
    _wlog('V', "settings", "bus acquired for %s\n.", "com.corvo.settings");
    _wlog('D', "headset", "evil %s\n", "line\ninjected\x1b");
    ASSERT_EQ(log.lines().size(), 3u);
    EXPECT_EQ(log.lines()[0], "D settings: handler: same value (yes)");
    EXPECT_EQ(log.lines()[1], "V settings: bus acquired for com.corvo.settings\\n.");
    EXPECT_EQ(log.lines()[2], "D headset: evil line\\ninjected\\x1b");
}

TEST(Log, ResourceIdsAreRenderedAndKept)
{
    LogCapture log;
    _wlog_res('E', "settings", "$(export_fail)", "object already exported");
    _wlog_res('N', "admin_policy", "$(sdl_invalid_input)");
    _wlog_res('N', "bios", "SMBIOS: set_suppress_dock_warn error %d\n", 5);
    _wlog_res('E', "ThirdApps", "%s %d\n", "on_handle_enable_ucplugins", 281);
    _wlog_res('N', "x", "$(unknown_id)");
    ASSERT_EQ(log.lines().size(), 5u);
    EXPECT_EQ(log.lines()[0], "E settings: $(export_fail) failed to export the service object: object already exported");
    EXPECT_EQ(log.lines()[1].rfind("N admin_policy: $(sdl_invalid_input) ", 0), 0u);
    EXPECT_EQ(log.lines()[2], "N bios: SMBIOS: set_suppress_dock_warn error 5");
    EXPECT_EQ(log.lines()[3], "E ThirdApps: on_handle_enable_ucplugins 281");
    EXPECT_EQ(log.lines()[4], "N x: $(unknown_id)");
}

TEST(HostRoot, FixedPathsResolveUnderTheRootAndNeverAbove)
{
    g_setenv("CORVO_HOST_ROOT", "/tmp/root/", TRUE);
    host_root_reset_for_tests();
    EXPECT_EQ(host_path("/boot/loader.conf.local"), "/tmp/root/boot/loader.conf.local");
    EXPECT_EQ(host_path("/compat/linux/../../etc/sysctl.conf.local"), "/tmp/root/etc/sysctl.conf.local");
    EXPECT_EQ(host_path("/../../../etc/passwd"), "/tmp/root/etc/passwd");
    g_unsetenv("CORVO_HOST_ROOT");
    host_root_reset_for_tests();
    EXPECT_EQ(host_path("/compat/linux/../../etc/sysctl.conf.local"), "/etc/sysctl.conf.local");
}

TEST(Log, StandardErrorIsTheJournalOnlyWhenJournalStreamNamesItsDeviceAndInode)
{
    const struct {
        const char *journal_stream;
        bool journal;
    } cases[] = {
        {"2049:131075", true},  {"2049:131076", false}, {"2050:131075", false}, {"2049:", false},
        {":131075", false},     {"2049:131075x", false}, {"2049", false},       {"", false},
        {nullptr, false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(log_stream_is_journal(c.journal_stream, 2049, 131075), c.journal)
            << (c.journal_stream ? c.journal_stream : "(unset)");
}
