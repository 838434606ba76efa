#include <cstdio>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>

#include "host/host_root.h"
#include "log_capture.h"
#include "services/settings/writers.h"
#include "temp_dir.h"

namespace {

class SettingsWriters : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_mkdir_with_parents(root_.file("boot").c_str(), 0755);
        g_mkdir_with_parents(root_.file("etc").c_str(), 0755);
        g_mkdir_with_parents(root_.file("compat/linux").c_str(), 0755);
        g_setenv("CORVO_HOST_ROOT", root_.path().c_str(), TRUE);
        host_root_reset_for_tests();
    }
    void TearDown() override
    {
        g_unsetenv("CORVO_HOST_ROOT");
        host_root_reset_for_tests();
    }
    std::string read(const char *relative)
    {
        std::ifstream in(root_.file(relative), std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }
    void write(const char *relative, const std::string &text) { std::ofstream(root_.file(relative)) << text; }

    TempDir root_;
};

}  // namespace

TEST_F(SettingsWriters, LoaderEditLandsInOneCommit)
{
    write("boot/loader.conf.local", "# keep me\nusb.whitelistXclass=\"1\"\nusb.whitelist.class=\"HID\"\n");
    LoaderConfEdit edit;
    loader_conf_delete(edit, "usb.whitelist.class");
    EXPECT_EQ(loader_conf_write(edit, "usb.whitelist.class", "Audio"), 0);
    EXPECT_EQ(read("boot/loader.conf.local"), "# keep me\nusb.whitelistXclass=\"1\"\nusb.whitelist.class=\"HID\"\n")
        << "nothing is written before the commit";
    EXPECT_EQ(loader_conf_commit(edit), 0);
    EXPECT_EQ(read("boot/loader.conf.local"), "# keep me\nusb.whitelistXclass=\"1\"\nusb.whitelist.class=\"Audio\"\n");
    EXPECT_TRUE(edit.edit.empty());

    std::remove(root_.file("boot/loader.conf.local").c_str());
    g_mkdir_with_parents(root_.file("boot/loader.conf.local").c_str(), 0755);  // a folder in its place
    loader_conf_write(edit, "usbRedirect", "1");
    EXPECT_EQ(loader_conf_commit(edit), -1);
}

TEST_F(SettingsWriters, RefusedNamesAndValuesDoNotSpoilTheRestOfTheEdit)
{
    LogCapture log;
    LoaderConfEdit edit;
    loader_conf_delete(edit, "a/d; rm");
    EXPECT_EQ(loader_conf_write(edit, "a/d; rm", "1"), -1);
    EXPECT_EQ(loader_conf_write(edit, "good", "x\"y"), -1);
    EXPECT_EQ(loader_conf_write(edit, "good", "x\ny"), -1);
    EXPECT_EQ(loader_conf_write(edit, "good", nullptr), -1);
    EXPECT_EQ(loader_conf_write(edit, "good", "$(touch x) `id` ; '/"), 0);
    EXPECT_EQ(loader_conf_commit(edit), 0);
    EXPECT_EQ(read("boot/loader.conf.local"), "good=\"$(touch x) `id` ; '/\"\n");
    EXPECT_GE(log.count_containing("refused"), 4u);
    EXPECT_FALSE(loader_conf_value_ok("a\"b"));
    EXPECT_TRUE(loader_conf_value_ok(""));
}

TEST_F(SettingsWriters, SysctlFileHoldsOneLinePerName)
{
    write("etc/sysctl.conf.local", "# host\nkern.coredump=1");
    EXPECT_EQ(sysctl_conf_write("kern.coredump", "0"), 0);
    EXPECT_EQ(sysctl_conf_write("hw.usb.v4l2.v4l2_not_allowed", "1"), 0);
    EXPECT_EQ(sysctl_conf_write("kern.coredump", "1"), 0);
    EXPECT_EQ(read("etc/sysctl.conf.local"), "# host\nhw.usb.v4l2.v4l2_not_allowed=1\nkern.coredump=1\n");
    EXPECT_EQ(sysctl_conf_write("kern.coredump", "1\nkern.evil=1"), -1);
    EXPECT_EQ(sysctl_conf_write("kern core", "1"), -1);
    EXPECT_EQ(read("etc/sysctl.conf.local"), "# host\nhw.usb.v4l2.v4l2_not_allowed=1\nkern.coredump=1\n");
}

TEST_F(SettingsWriters, SysctlFilePathIsResolvedByTheKernelThroughLinks)
{
    // Hosts where /compat links to /usr/compat: "/compat/linux/../../etc" is then /usr/etc.
    g_rmdir(root_.file("compat/linux").c_str());
    g_rmdir(root_.file("compat").c_str());
    g_mkdir_with_parents(root_.file("usr/compat/linux").c_str(), 0755);
    g_mkdir_with_parents(root_.file("usr/etc").c_str(), 0755);
    ASSERT_EQ(0, symlink("usr/compat", root_.file("compat").c_str()));
    EXPECT_EQ(sysctl_conf_write("kern.coredump", "1"), 0);
    EXPECT_EQ(read("usr/etc/sysctl.conf.local"), "kern.coredump=1\n");
    EXPECT_FALSE(g_file_test(root_.file("etc/sysctl.conf.local").c_str(), G_FILE_TEST_EXISTS));
}

TEST(SettingsTextBool, PrefixAndWholeWordRules)
{
    struct Case {
        const char *text;
        bool yes, no, truth;
    };
    const Case cases[] = {
        {"yes", true, false, false},      {"YES please", true, false, false}, {"No", false, true, false},
        {"nonsense", false, true, false}, {"None", false, true, false},       {"maybe", false, false, false},
        {"TRUE", false, false, true},     {"true ", false, false, false},     {"", false, false, false},
        {"ye", false, false, false},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(text_is_yes(c.text), c.yes) << c.text;
        EXPECT_EQ(text_is_no(c.text), c.no) << c.text;
        EXPECT_EQ(text_is_true(c.text), c.truth) << c.text;
    }
    EXPECT_FALSE(text_is_yes(nullptr));
}
