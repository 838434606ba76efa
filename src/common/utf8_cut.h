// Cutting a text to a byte limit without splitting a UTF-8 character: a cut inside one would
// leave bytes that are not text, which the configuration store and D-Bus both refuse.
#pragma once

#include <cstddef>
#include <string_view>

// The longest prefix of `text` of at most `limit` bytes that ends at a character boundary.
inline std::string_view utf8_cut(std::string_view text, size_t limit)
{
    if (text.size() <= limit)
        return text;
    size_t end = limit;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        --end;
    return text.substr(0, end);
}
