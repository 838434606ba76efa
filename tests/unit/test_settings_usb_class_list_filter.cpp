#include <cstring>
#include <gtest/gtest.h>
#include <string>

#include "log_capture.h"
#include "services/settings/usb_class_list_filter.h"

namespace {

struct Filtered {
    std::string list;
    int result;
    size_t invalid_logs;
};

Filtered filter(const std::string &input, size_t max_len = 1023)
{
    LogCapture log;
    char buffer[1024] = {};
    g_strlcpy(buffer, input.c_str(), sizeof buffer);
    const int result = usb_class_list_filter(buffer, sizeof buffer, max_len);
    return {buffer, result, log.count_containing("$(sdl_invalid_input)")};
}

}  // namespace

TEST(SettingsUsbClassFilter, NormalisesNamesAndCodes)
{
    struct Case {
        const char *input;
        const char *expected;
    };
    const Case cases[] = {
        {"MASS_STORAGE,foo,0x080650", "MASS_STORAGE,0x080650"},
        // Missing subclass and protocol fields carry over from the previous code (subclass 2 at first).
        {"0x03,0x0701", "0x030200,0x070100"},
        {"0x08", "0x080200"},
        // A number without "0x" repeats the code before it.
        {"0x0806,12", "0x080600,0x080600"},
        {"0XAB", "0x000200"},
        {"0x0A0B0C", "0x0a0b0c"},
        {"Pysical,Physical,Type-C,VendorSpecific", "Pysical,Physical,Type-C,VendorSpecific"},
        {",,HID,,,Audio,", "HID,Audio"},
        // Names are matched exactly.
        {"hid,HID ,HID", "HID"},
    };
    for (const auto &c : cases) {
        const Filtered out = filter(c.input);
        EXPECT_EQ(out.list, c.expected) << c.input;
        EXPECT_EQ(out.result, static_cast<int>(strlen(c.expected)) + 1) << c.input;
        EXPECT_EQ(out.invalid_logs, 0u) << c.input;
    }
}

TEST(SettingsUsbClassFilter, ListWithoutValidPieceIsClearedAndLogged)
{
    for (const char *input : {"foo,bar", ",,,", "0x-1", "$(touch /tmp/x);`id`"}) {
        const Filtered out = filter(input);
        EXPECT_EQ(out.list, "") << input;
        EXPECT_EQ(out.result, 0) << input;
        EXPECT_EQ(out.invalid_logs, 1u) << input;
    }
    const Filtered empty = filter("");
    EXPECT_EQ(empty.result, 0);
    EXPECT_EQ(empty.invalid_logs, 0u);
}

TEST(SettingsUsbClassFilter, ResultStaysWithinItsRoomAndKeepsWholeEntries)
{
    // 300 short codes grow to 300 eight-character entries: far more than the room.
    std::string input;
    for (int i = 0; i < 300; ++i)
        input += "0x0" + std::to_string(i % 10) + ",";
    for (size_t room : {size_t{1001}, size_t{1023}, size_t{100}, size_t{8}}) {
        const Filtered out = filter(input, room);
        EXPECT_LE(out.list.size(), room);
        EXPECT_GT(out.list.size() + 9, room);
        EXPECT_EQ((out.list.size() + 1) % 9, 0u) << "an entry was cut";
        EXPECT_EQ(out.result, static_cast<int>(out.list.size()) + 1);
    }
    // A long name that does not fit is left out, a shorter one after it still fits.
    const Filtered names = filter("Audio,Interface_Descriptors,HID", 12);
    EXPECT_EQ(names.list, "Audio,HID");

    // A buffer smaller than the room is never overrun.
    char small[16] = "0x01,0x02,0x03";
    EXPECT_EQ(usb_class_list_filter(small, sizeof small, 1023), 9);
    EXPECT_EQ(std::string(small), "0x010200");
}
