// The driver's answer text as the transport parses it: a bad header leaves every output
// untouched; a good one fills the outputs of the fields present, and a field of at most
// eight hex digits reads as exactly that number.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "services/bios/smi_transport.h"

namespace {

bool plain_hex(std::string_view field)
{
    if (field.empty() || field.size() > 8)
        return false;
    for (char c : field)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')))
            return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // The transport reads at most 256 bytes and ends them with a zero byte.
    const std::string answer(reinterpret_cast<const char *>(data), std::min<size_t>(size, 256));
    const uint32_t before[3] = {0xdeadbeef, 0xfeedface, 0xcafef00d};
    uint32_t output[3];
    memcpy(output, before, sizeof before);

    const int result = smi_parse_answer(answer.c_str(), output);
    const std::string_view text(answer.c_str());  // up to the first zero byte, as the parser sees it
    const bool header_ok = text.substr(0, 7) == "appread" && (text.size() == 7 || text[7] == ' ');
    if ((result == 0) != header_ok || (result != 0 && result != -1))
        __builtin_trap();
    if (!header_ok) {
        if (memcmp(output, before, sizeof before) != 0)
            __builtin_trap();
        return 0;
    }
    std::string_view rest = text.size() > 7 ? text.substr(8) : std::string_view{};
    bool more = text.size() > 7;
    for (int i = 0; i < 3; ++i) {
        if (!more) {
            if (output[i] != before[i])
                __builtin_trap();
            continue;
        }
        const size_t blank = rest.find(' ');
        const std::string_view field = rest.substr(0, blank);
        if (plain_hex(field) && output[i] != static_cast<uint32_t>(strtoul(std::string(field).c_str(), nullptr, 16)))
            __builtin_trap();
        more = blank != std::string_view::npos;
        rest = more ? rest.substr(blank + 1) : std::string_view{};
    }
    return 0;
}
