// A class list as a caller sends it, rewritten in place for a loader line of any room: the
// result fits both the room and the buffer, holds only table names and six-digit codes,
// reports its length, and is left as it is by a second pass; a list refused for its length
// is left untouched.
#include <cstring>
#include <string>
#include <string_view>

#include "services/settings/usb_class_list_filter.h"

namespace {

bool is_piece(std::string_view piece)
{
    for (const auto &row : usb_class_names)
        if (piece == row.name)
            return true;
    return piece.size() == 8 && piece.substr(0, 2) == "0x" &&
           piece.find_first_not_of("0123456789abcdef", 2) == std::string_view::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    // The first two bytes choose the room left in the loader line (0..2047, so also more
    // than the buffer holds); the rest is the list, up to its first zero byte.
    const size_t room = (static_cast<size_t>(data[0]) << 8 | data[1]) & 0x7ff;
    char list[1024] = {};
    memcpy(list, data + 2, std::min(size - 2, sizeof list - 1));

    const std::string before = list;
    const int result = usb_class_list_filter(list, sizeof list, room);
    const std::string out = list;
    if (result == -1)
        return out == before ? 0 : (__builtin_trap(), 0);
    if (out.size() > room || out.size() >= sizeof list ||
        result != (out.empty() ? 0 : static_cast<int>(out.size()) + 1))
        __builtin_trap();
    // Every piece between the commas, the last one too, is a table name or a code.
    for (size_t start = 0, end = 0; !out.empty() && end != std::string::npos; start = end + 1)
        if (!is_piece(std::string_view(out).substr(start, (end = out.find(',', start)) - start)))
            __builtin_trap();
    if (usb_class_list_filter(list, sizeof list, room) != result || out != list)
        __builtin_trap();
    return 0;
}
