#include "services/settings/usb_class_list_filter.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <glib.h>
#include <string>

#include "common/log.h"

const UsbClassName usb_class_names[23] = {
    {"Interface_Descriptors", 0x00},
    {"Audio", 0x01},
    {"CDC_control", 0x02},
    {"HID", 0x03},
    {"Pysical", 0x05},
    {"Physical", 0x05},
    {"Image", 0x06},
    {"Printer", 0x07},
    {"MASS_STORAGE", 0x08},
    {"Hub", 0x09},
    {"CDC_Data", 0x0a},
    {"Smart_Card", 0x0b},
    {"Content_Security", 0x0d},
    {"Video", 0x0e},
    {"Personal_Healthcare", 0x0f},
    {"Audio_Video", 0x10},
    {"Billboard", 0x11},
    {"Type-C", 0x12},
    {"Diagnostic_Device", 0xdc},
    {"Wireless", 0xe0},
    {"Miscellaneous", 0xef},
    {"Application", 0xfe},
    {"VendorSpecific", 0xff},
};

namespace {

bool is_class_name(const std::string &piece)
{
    for (const auto &row : usb_class_names)
        if (piece == row.name)
            return true;
    return false;
}

// A piece counts as numeric when a number can be read from its first four characters.
bool is_numeric(const std::string &piece)
{
    char head[5] = {};
    g_strlcpy(head, piece.c_str(), sizeof head);
    char *end = nullptr;
    (void)strtol(head, &end, 0);
    return end != head;
}

}  // namespace

int usb_class_list_filter(char *list, size_t size, size_t max_len)
{
    if (!list || size == 0 || !*list)
        return 0;
    const size_t limit = max_len < size - 1 ? max_len : size - 1;

    // Fields that a code leaves out keep the values of the previous code of the list.
    unsigned code[3] = {0, 2, 0};
    std::string out;  // every kept piece followed by ","
    const std::string text(list, strnlen(list, size));
    g_auto(GStrv) pieces = g_strsplit(text.c_str(), ",", -1);
    for (char **next = pieces; *next; ++next) {
        const std::string piece = *next;
        if (piece.empty())
            continue;

        std::string kept;
        if (is_numeric(piece)) {
            unsigned fields[3] = {code[0], code[1], code[2]};
            const int matched = sscanf(piece.c_str(), "0x%02x%02x%02x", &fields[0], &fields[1], &fields[2]);
            for (int i = 0; i < matched && i < 3; ++i)
                code[i] = fields[i];
            if (code[0] <= 255 && code[1] <= 255 && code[2] <= 255) {
                char formatted[16];
                g_snprintf(formatted, sizeof formatted, "0x%02x%02x%02x", code[0], code[1], code[2]);
                kept = formatted;
            }
        } else if (is_class_name(piece)) {
            kept = piece;
        }
        if (!kept.empty())
            out += kept + ",";
    }
    // A list cut short would name other classes, or fewer: it is refused whole.
    if (out.size() > limit + 1)
        return -1;

    if (out.empty()) {
        list[0] = '\0';
        wlog_res('N', log_tag::admin_policy, "$(sdl_invalid_input)");
        return 0;
    }
    g_strlcpy(list, out.c_str(), out.size());  // drops the last ","
    return static_cast<int>(out.size());
}
