#include <gtest/gtest.h>
#include <unistd.h>

#include "services/settings/writers.h"
#include "test_support.h"

TEST(SettingsWriters, SysctlFileIsResolvedThroughLinksAndHoldsOneLinePerName)
{
    // Hosts where /compat links to /usr/compat: "/compat/linux/../../etc" is then /usr/etc.
    TempHostRoot root;
    g_mkdir_with_parents(root.file("usr/compat/linux").c_str(), 0755);
    g_mkdir_with_parents(root.file("usr/etc").c_str(), 0755);
    ASSERT_EQ(0, symlink("usr/compat", root.file("compat").c_str()));
    put(root.file("usr/etc/sysctl.conf.local"), "# host\nkern.coredump=1");
    EXPECT_EQ(0, sysctl_conf_write("kern.coredump", "0"));
    EXPECT_EQ(0, sysctl_conf_write("hw.usb.v4l2.v4l2_not_allowed", "1"));
    EXPECT_EQ(0, sysctl_conf_write("kern.coredump", "1"));
    EXPECT_EQ(-1, sysctl_conf_write("kern.coredump", "1\nkern.evil=1"));
    EXPECT_EQ(-1, sysctl_conf_write("kern core", "1"));
    EXPECT_EQ("# host\nhw.usb.v4l2.v4l2_not_allowed=1\nkern.coredump=1\n",
              slurp(root.file("usr/etc/sysctl.conf.local")));
    // The boot-loader edit refuses what its file cannot hold in the same way.
    LoaderConfEdit edit;
    EXPECT_EQ(-1, loader_conf_write(edit, "name", "x\"y"));
    EXPECT_TRUE(edit.edit.empty());
}
