// A class list as a caller sends it, rewritten in place for a loader line of any room: the
// result fits both the room and the buffer, holds only table names and six-digit codes,
// reports its length, and is left as it is by a second pass.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "services/settings/usb_class_list_filter.h"

namespace {

bool is_code(std::string_view piece)
{
    if (piece.size() != 8 || piece.substr(0, 2) != "0x")
        return false;
    for (char c : piece.substr(2))
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    return true;
}

bool is_name(std::string_view piece)
{
    for (const auto &row : usb_class_names)
        if (piece == row.name)
            return true;
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    // The first two bytes choose the room left in the loader line (0..2047, so also more
    // than the buffer holds); the rest is the list, up to its first zero byte.
    const size_t room = (static_cast<size_t>(data[0]) << 8 | data[1]) & 0x7ff;
    char list[1024];
    const size_t len = std::min(size - 2, sizeof list - 1);
    memcpy(list, data + 2, len);
    list[len] = '\0';

    const int result = usb_class_list_filter(list, sizeof list, room);
    const size_t out_len = strlen(list);
    if (out_len > room || out_len >= sizeof list)
        __builtin_trap();
    if ((result == 0) != (out_len == 0) || (result != 0 && static_cast<size_t>(result) != out_len + 1))
        __builtin_trap();
    const std::string_view out(list, out_len);
    for (size_t start = 0; start < out.size();) {
        size_t end = out.find(',', start);
        if (end == std::string_view::npos)
            end = out.size();
        const std::string_view piece = out.substr(start, end - start);
        if (!is_code(piece) && !is_name(piece))
            __builtin_trap();
        start = end + 1;
    }
    if (!out.empty() && out.back() == ',')
        __builtin_trap();

    const std::string first(out);
    if (usb_class_list_filter(list, sizeof list, room) != result || first != list)
        __builtin_trap();
    return 0;
}
