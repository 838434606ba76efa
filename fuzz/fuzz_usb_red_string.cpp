// An id list as a caller sends it: the parsed entries are pieces of the list that begin with
// "0x" and never more than the kernel takes; the formatted string holds exactly the counted
// entries in the kernel's braces and nothing a loader line or the kernel could misread (no
// quote, line break or other text from the caller beyond hex ids), and reads back as a
// request that makes it again.
#include <cstring>
#include <string>

#include "services/settings/usb_red_string.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // A D-Bus string holds no zero byte: the list ends at the first one.
    const std::string list(reinterpret_cast<const char *>(data), strnlen(reinterpret_cast<const char *>(data), size));
    const std::vector<std::string> entries = parse_red_string(list);
    if (entries.size() > usb_red_max_entries)
        __builtin_trap();
    for (const std::string &entry : entries)
        if (entry.compare(0, 2, "0x") != 0 || list.find(entry) == std::string::npos)
            __builtin_trap();

    int count = -1;
    const std::string ids = usbif_setup_idstring(entries, &count);
    if (count < 0 || static_cast<size_t>(count) > entries.size() || (count == 0) != ids.empty() ||
        ids.find_first_not_of("0123456789abcdefABCDEFx,{}") != std::string::npos)
        __builtin_trap();
    int braces = 0;
    for (size_t at = 0; (at = ids.find('{', at)) != std::string::npos; ++at, ++braces)
        if (at == 0 || ids[at - 1] != ',')
            __builtin_trap();
    if (braces != count)
        __builtin_trap();
    for (const bool redirect : {false, true}) {
        const std::string kernel = usb_red_kernel_string(list, redirect);
        if (kernel != (redirect ? "1,0," : "0,0,") + std::to_string(count) + ids)
            __builtin_trap();
        // Every string made is read back as a request that makes it again.
        const auto request = usb_red_request_of(kernel);
        if (!request || request->redirect != redirect || usb_red_kernel_string(request->ids, redirect) != kernel)
            __builtin_trap();
    }
    // Any stored text is read back as a request that makes it, or refused.
    if (const auto request = usb_red_request_of(list))
        if (usb_red_kernel_string(request->ids, request->redirect) != list)
            __builtin_trap();
    (void)usb_red_is_special(list);
    return 0;
}
