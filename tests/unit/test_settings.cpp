#include <gtest/gtest.h>
#include <string>
#include <tuple>
#include <unistd.h>

#include "services/settings/usb_class_list_filter.h"
#include "services/settings/usb_red_string.h"
#include "services/settings/writers.h"
#include "test_support.h"

TEST(SettingsUsbClassFilter, NormalisesNamesAndCodesAndDropsTheRest)
{
    const std::tuple<std::string, std::string, size_t, size_t> cases[] = {
        // input, result, room, logged
        {"MASS_STORAGE,foo,0x080650", "MASS_STORAGE,0x080650", 1023, 0},
        // Missing subclass and protocol fields carry over from the previous code (subclass 2 at first).
        {"0x03,0x0701", "0x030200,0x070100", 1023, 0},
        // A number without "0x" repeats the code before it.
        {"0x0806,12", "0x080600,0x080600", 1023, 0},
        {"0XAB,0x0A0B0C", "0x000200,0x0a0b0c", 1023, 0},
        // Names are matched exactly.
        {",,hid,HID ,HID,,Type-C,", "HID,Type-C", 1023, 0},
        {"foo,bar", "", 1023, 1},
        {"$(touch /tmp/x);`id`", "", 1023, 1},
        {"", "", 1023, 0},
        // Only whole entries, as many as the room takes; a shorter one after a long one still fits.
        {"0x00,0x01,0x02,0x03,0x04,0x05", "0x000200,0x010200,0x020200,0x030200,0x040200", 48, 0},
        {"Audio,Interface_Descriptors,HID", "Audio,HID", 12, 0},
    };
    for (const auto &[input, expected, room, invalid_logs] : cases) {
        LogCapture log;
        char buffer[1024] = {};
        g_strlcpy(buffer, input.c_str(), sizeof buffer);
        EXPECT_EQ(expected.empty() ? 0 : static_cast<int>(expected.size()) + 1,
                  usb_class_list_filter(buffer, sizeof buffer, room))
            << input;
        EXPECT_EQ(expected, buffer) << input;
        EXPECT_EQ(invalid_logs, log.count("$(sdl_invalid_input)")) << input;
    }
    // A buffer smaller than the room is never overrun.
    char small[16] = "0x01,0x02,0x03";
    EXPECT_EQ(9, usb_class_list_filter(small, sizeof small, 1023));
    EXPECT_STREQ("0x010200", small);
}

TEST(SettingsUsbRedString, KernelStringKeepsTheWellFormedEntriesAndTheSpecialEntryIsKnown)
{
    const std::tuple<const char *, bool, const char *> cases[] = {
        {"0x12345678,NoDriver 0x080650", true, "1,0,2,{0x12345678,0x0,0x3},{0x0,0x080650,0x1}"},
        {"0x12345678,NoDriver 0x080650", false, "0,0,2,{0x12345678,0x0,0x3},{0x0,0x080650,0x1}"},
        {"", true, "1,0,0"},
        // The id text of the short forms is kept as given; a 16-digit id is split into device
        // and interface.
        {"0xABCDEF01", true, "1,0,1,{0xABCDEF01,0x0,0x1}"},
        {"0xffffffffffffff,NoDriver", false, "0,0,1,{0xffffffff,0xffffff,0x3}"},
        // Leading text, an id of the wrong length, an id that is not hex, an empty entry.
        {"junk 0x123 0x080650 0x$(touch) 0x0807zz 0x ,,0x0a0000", true, "1,0,2,{0x0,0x080650,0x1},{0x0,0x0a0000,0x1}"},
        // Two ids without separator: the first loses its last digit and with it its form.
        {"0x123456780x080650", true, "1,0,1,{0x0,0x080650,0x1}"},
    };
    for (const auto &[list, redirect, kernel] : cases) {
        EXPECT_EQ(kernel, usb_red_kernel_string(list, redirect)) << list;
        // Read back, the string gives the request that makes it again.
        const auto request = usb_red_request_of(kernel);
        ASSERT_TRUE(request) << kernel;
        EXPECT_EQ(redirect, request->redirect);
        EXPECT_EQ(kernel, usb_red_kernel_string(request->ids, request->redirect)) << request->ids;
    }
    EXPECT_EQ("0x0abc1234080650,NoDriver 0x080650",
              usb_red_request_of("1,0,2,{0xabc1234,0x80650,0x3},{0x0,0x080650,0x1}")->ids);
    for (const char *stored : {"1,0,2,{0x12345678,0x0,0x3}", "2,0,0", "1,0,1,{0x12345678,0x0,0x5}", "1,0,0,",
                               "1,0,1,{0x12345678,0x0,0x1}x", "1,0,1,{0x1,0x2,0x1,0x4}", "1,0,1,{0x12345678,0x0,0x1"})
        EXPECT_FALSE(usb_red_request_of(stored)) << stored;
    // The special entry, recognised in any letter case, is handled on its own.
    EXPECT_TRUE(usb_red_is_special("0X00000000010100,NoDriver"));
    EXPECT_FALSE(usb_red_is_special("0x0000000001010"));
}

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
    EXPECT_EQ("# host\nkern.coredump=1\nhw.usb.v4l2.v4l2_not_allowed=1\n",
              slurp(root.file("usr/etc/sysctl.conf.local")));
    // The boot-loader edit refuses what its file cannot hold in the same way.
    LoaderConfEdit edit;
    EXPECT_EQ(-1, loader_conf_write(edit, "name", "x\"y"));
    EXPECT_TRUE(edit.edit.empty());
    EXPECT_EQ(0, loader_conf_commit(edit));  // nothing to write
}
