// The driver's answer text as the transport parses it: a bad header leaves every output
// untouched; a good one fills the outputs of the fields present, and a field of at most
// eight hex digits reads as exactly that number.
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "services/bios/smi_transport.h"

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
    if (result != (header_ok ? 0 : -1) || (!header_ok && memcmp(output, before, sizeof before) != 0))
        __builtin_trap();
    // Fields follow the header, one blank before each; outputs without a field keep their value.
    std::string_view rest = text.substr(std::min<size_t>(text.size(), 7));
    for (int i = 0; header_ok && i < 3; ++i) {
        if (rest.empty()) {
            if (output[i] != before[i])
                __builtin_trap();
            continue;
        }
        rest.remove_prefix(1);
        const std::string field(rest.substr(0, rest.find(' ')));
        rest.remove_prefix(field.size());
        const bool plain_hex = !field.empty() && field.size() <= 8 &&
                               field.find_first_not_of("0123456789abcdefABCDEF") == std::string::npos;
        if (plain_hex && output[i] != static_cast<uint32_t>(strtoul(field.c_str(), nullptr, 16)))
            __builtin_trap();
    }
    return 0;
}
