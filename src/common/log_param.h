// A caller's text as log lines show it. A call may carry megabytes; logged whole, each such
// call would grow the log (and the daemon's memory while the line is built) by as much.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "common/utf8_cut.h"

constexpr size_t log_param_max = 512;

// The text itself when it has at most log_param_max bytes; otherwise its first bytes up to
// that limit (never cut inside a character) followed by a note of its full length.
inline std::string log_param(std::string_view text)
{
    std::string shown(utf8_cut(text, log_param_max));
    if (shown.size() < text.size())
        shown += "... (" + std::to_string(text.size()) + " bytes)";
    return shown;
}

inline std::string log_param(const char *text)
{
    return log_param(std::string_view(text ? text : ""));
}
