// Parameter texts as a caller may send them, read the way the handlers read them: a
// sequence of getters of every kind on one reader, with small and exact buffers.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "common/json_params.h"
#include "common/reply.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string text(reinterpret_cast<const char *>(data), size);
    JsonParams params(text.c_str());

    const char *members[] = {"DisablePowerButton", "EnableUDiskReadOnly", "WhiteListVidPid", "boolkey", "", "a"};
    char small[4];
    char large[1024];
    for (const char *member : members) {
        memset(small, 'x', sizeof small);
        // A copied member always leaves the buffer terminated and never cuts a character in
        // two; an absent one leaves it alone.
        if (params.copy_string(member, small, sizeof small) &&
            (memchr(small, '\0', sizeof small) == nullptr || !g_utf8_validate(small, -1, nullptr)))
            __builtin_trap();
        params.copy_string(member, large, sizeof large);
        // A member that reads as a number is one; absent members read as nothing.
        if (params.holds_number(member) && !params.get_int(member))
            __builtin_trap();
        if (!params.member(member) && (params.get_int(member) || params.get_string(member)))
            __builtin_trap();
        params.get_bool(member);
    }
    // Whatever was read, a reply built from it is valid JSON text in valid UTF-8.
    const std::string reply = "{\"v\":" + json_quote(text) + "}";
    if (!g_utf8_validate(reply.c_str(), static_cast<gssize>(reply.size()), nullptr))
        __builtin_trap();
    JsonParams reparsed(reply.c_str());
    if (!reparsed.ok())
        __builtin_trap();
    return 0;
}
