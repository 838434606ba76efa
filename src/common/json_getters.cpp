#include "common/json_getters.h"

#include <cstdio>
#include <cstring>

#include "common/log.h"
#include "common/utf8_cut.h"

namespace {

const char *reader_error_message(JsonReader *reader)
{
    const GError *error = json_reader_get_error(reader);
    return error && error->message ? error->message : "";
}

// Leaves the member entered by json_reader_read_member. json-glib's end_member only clears
// a pending error without moving up, so a value read that failed inside an existing member
// needs a second step out; without it every later getter on the reader would fail.
void leave_member(JsonReader *reader, bool entered)
{
    if (json_reader_get_error(reader)) {
        json_reader_end_member(reader);
        if (!entered)
            return;
    }
    json_reader_end_member(reader);
}

}  // namespace

int json_get_string_member(JsonReader *reader, const char *member, const char **value)
{
    if (!reader || !member || !value)
        return 0;
    if (!json_reader_read_member(reader, member)) {
        leave_member(reader, false);
        return 0;
    }
    const char *text = json_reader_get_string_value(reader);
    if (!text) {
        print_diagnostic("Failed to get string member %s\n", reader_error_message(reader));
        leave_member(reader, true);
        return 0;
    }
    *value = text;
    leave_member(reader, true);
    return 1;
}

int json_get_string_member_copy(JsonReader *reader, const char *member, char *buffer, int size)
{
    const char *text = nullptr;
    if (!buffer || size <= 0 || !json_get_string_member(reader, member, &text))
        return 0;
    const std::string_view whole(text);
    const std::string_view kept = utf8_cut(whole, static_cast<size_t>(size) - 1);
    memcpy(buffer, kept.data(), kept.size());
    buffer[kept.size()] = '\0';
    if (kept.size() < whole.size())
        log_truncated("json_getters.cpp", 92, whole);
    return 1;
}

void json_get_int_member(JsonReader *reader, const char *member, int *value)
{
    if (!reader || !member || !value)
        return;
    const bool entered = json_reader_read_member(reader, member);
    if (entered)
        *value = static_cast<int>(json_reader_get_int_value(reader));
    leave_member(reader, entered);
}

void json_get_bool_member(JsonReader *reader, const char *member, int *value)
{
    if (!reader || !member || !value)
        return;
    const bool entered = json_reader_read_member(reader, member);
    if (entered)
        *value = json_reader_get_boolean_value(reader) ? 1 : 0;
    if (json_reader_get_error(reader))
        print_diagnostic("Failed to get bool member %s\n", reader_error_message(reader));
    leave_member(reader, entered);
}
