// Text booleans of the settings requests. "yes"/"no" are matched as prefixes in any case,
// so "None" counts as no; "true" is matched whole in any case. Other texts are neither.
#pragma once

#include <glib.h>

inline bool text_is_yes(const char *text)
{
    return text && g_ascii_strncasecmp(text, "yes", 3) == 0;
}

inline bool text_is_no(const char *text)
{
    return text && g_ascii_strncasecmp(text, "no", 2) == 0;
}

inline bool text_is_true(const char *text)
{
    return text && g_ascii_strcasecmp(text, "true") == 0;
}
