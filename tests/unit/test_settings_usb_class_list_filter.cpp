#include <gtest/gtest.h>
#include <string>
#include <tuple>

#include "services/settings/usb_class_list_filter.h"
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
