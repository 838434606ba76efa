#include <gtest/gtest.h>
#include <string>

#include "log_capture.h"
#include "services/settings/usb_red_string.h"

TEST(SettingsUsbRedString, BuildsTheKernelStringInBothModes)
{
    const std::string list = "0x12345678,NoDriver 0x080650";
    EXPECT_EQ(usb_red_kernel_string(list, true), "1,0,2,{0x12345678,0x0,0x3},{0x0,0x080650,0x1}");
    EXPECT_EQ(usb_red_kernel_string(list, false), "0,0,2,{0x12345678,0x0,0x3},{0x0,0x080650,0x1}");
    EXPECT_EQ(usb_red_kernel_string("", true), "1,0,0");
    EXPECT_EQ(usb_red_kernel_string("", false), "0,0,0");
    // The id text of the short forms is kept as given; a 16-digit id is split into device
    // and interface.
    EXPECT_EQ(usb_red_kernel_string("0xABCDEF01", true), "1,0,1,{0xABCDEF01,0x0,0x1}");
    EXPECT_EQ(usb_red_kernel_string("0xffffffffffffff,NoDriver", false), "0,0,1,{0xffffffff,0xffffff,0x3}");
}

TEST(SettingsUsbRedString, MalformedEntriesCostOnlyThemselves)
{
    LogCapture log;
    // Leading text, an id of the wrong length, an id that is not hex, an empty entry.
    EXPECT_EQ(usb_red_kernel_string("junk 0x123 0x080650 0x$(touch) 0x0807zz ,,0x0a0000", true),
              "1,0,2,{0x0,0x080650,0x1},{0x0,0x0a0000,0x1}");
    EXPECT_GE(log.count_containing("parse_red_string got wrong data"), 1u);
    EXPECT_GE(log.count_containing("usbif_setup_idstring got wrong data"), 3u);
    EXPECT_GE(log.count_containing("Admin Policy USB red Config, parse_red_string"), 5u);
}

TEST(SettingsUsbRedString, TwoIdsWithoutSeparatorLoseTheFirst)
{
    const auto entries = parse_red_string("0x123456780x080650");
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0], "0x1234567");
    EXPECT_EQ(entries[1], "0x080650");
    EXPECT_EQ(usb_red_kernel_string("0x123456780x080650", true), "1,0,1,{0x0,0x080650,0x1}");
}

TEST(SettingsUsbRedString, SpecialEntryIsRecognisedInAnyCase)
{
    EXPECT_TRUE(usb_red_is_special("0x00000000010100"));
    EXPECT_TRUE(usb_red_is_special("0X00000000010100,NoDriver"));
    EXPECT_FALSE(usb_red_is_special("0x0000000001010"));
    EXPECT_FALSE(usb_red_is_special("0x00000000010101"));
}
