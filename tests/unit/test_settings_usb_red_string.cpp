#include <gtest/gtest.h>
#include <string>
#include <tuple>

#include "services/settings/usb_red_string.h"

TEST(SettingsUsbRedString, KernelStringKeepsTheWellFormedEntries)
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
        {"junk 0x123 0x080650 0x$(touch) 0x0807zz ,,0x0a0000", true, "1,0,2,{0x0,0x080650,0x1},{0x0,0x0a0000,0x1}"},
        // Two ids without separator: the first loses its last digit and with it its form.
        {"0x123456780x080650", true, "1,0,1,{0x0,0x080650,0x1}"},
    };
    for (const auto &[list, redirect, kernel] : cases)
        EXPECT_EQ(kernel, usb_red_kernel_string(list, redirect)) << list;
}

TEST(SettingsUsbRedString, SpecialEntryIsRecognisedInAnyCase)
{
    EXPECT_TRUE(usb_red_is_special("0x00000000010100"));
    EXPECT_TRUE(usb_red_is_special("0X00000000010100,NoDriver"));
    EXPECT_FALSE(usb_red_is_special("0x0000000001010"));
    EXPECT_FALSE(usb_red_is_special("0x00000000010101"));
}
