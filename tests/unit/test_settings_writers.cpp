#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "services/settings/writers.h"
#include "test_support.h"

namespace {

class SettingsWriters : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_mkdir_with_parents(root.file("boot").c_str(), 0755);
        g_mkdir_with_parents(root.file("etc").c_str(), 0755);
    }
    TempDir root;
    ScopedHostRoot scoped{root.path};
};

}  // namespace

TEST_F(SettingsWriters, LoaderEditLandsWholeAtTheCommitWithoutItsRefusedParts)
{
    const std::string loader = root.file("boot/loader.conf.local");
    put(loader, "# keep me\nusb.whitelist.class=\"HID\"\n");
    LoaderConfEdit edit;
    loader_conf_delete(edit, "usb.whitelist.class");
    loader_conf_delete(edit, "a/d; rm");
    EXPECT_EQ(0, loader_conf_write(edit, "usb.whitelist.class", "$(touch x) `id` ; '/"));
    EXPECT_EQ(-1, loader_conf_write(edit, "a/d; rm", "1"));
    EXPECT_EQ(-1, loader_conf_write(edit, "good", "x\"y"));
    EXPECT_EQ(-1, loader_conf_write(edit, "good", nullptr));
    EXPECT_EQ("# keep me\nusb.whitelist.class=\"HID\"\n", slurp(loader)) << "nothing before the commit";
    EXPECT_EQ(0, loader_conf_commit(edit));
    EXPECT_EQ("# keep me\nusb.whitelist.class=\"$(touch x) `id` ; '/\"\n", slurp(loader));
    EXPECT_TRUE(edit.edit.empty());

    unlink(loader.c_str());
    mkdir(loader.c_str(), 0755);  // a folder in its place
    loader_conf_write(edit, "usbRedirect", "1");
    EXPECT_EQ(-1, loader_conf_commit(edit));
}

TEST_F(SettingsWriters, SysctlFileIsResolvedThroughLinksAndHoldsOneLinePerName)
{
    // Hosts where /compat links to /usr/compat: "/compat/linux/../../etc" is then /usr/etc.
    g_mkdir_with_parents(root.file("usr/compat/linux").c_str(), 0755);
    g_mkdir_with_parents(root.file("usr/etc").c_str(), 0755);
    ASSERT_EQ(0, symlink("usr/compat", root.file("compat").c_str()));
    const std::string sysctl = root.file("usr/etc/sysctl.conf.local");
    put(sysctl, "# host\nkern.coredump=1");
    EXPECT_EQ(0, sysctl_conf_write("kern.coredump", "0"));
    EXPECT_EQ(0, sysctl_conf_write("hw.usb.v4l2.v4l2_not_allowed", "1"));
    EXPECT_EQ(0, sysctl_conf_write("kern.coredump", "1"));
    EXPECT_EQ(-1, sysctl_conf_write("kern.coredump", "1\nkern.evil=1"));
    EXPECT_EQ(-1, sysctl_conf_write("kern core", "1"));
    EXPECT_EQ("# host\nhw.usb.v4l2.v4l2_not_allowed=1\nkern.coredump=1\n", slurp(sysctl));
    EXPECT_FALSE(g_file_test(root.file("etc/sysctl.conf.local").c_str(), G_FILE_TEST_EXISTS));
}

TEST(SettingsTextBool, YesAndNoArePrefixesTrueIsWhole)
{
    const struct {
        const char *text;
        bool yes, no, truth;
    } cases[] = {
        {"YES please", true, false, false}, {"None", false, true, false},   {"ye", false, false, false},
        {"TRUE", false, false, true},       {"true ", false, false, false}, {nullptr, false, false, false},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(c.yes, text_is_yes(c.text)) << c.text;
        EXPECT_EQ(c.no, text_is_no(c.text)) << c.text;
        EXPECT_EQ(c.truth, text_is_true(c.text)) << c.text;
    }
}
