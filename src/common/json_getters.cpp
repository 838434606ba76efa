#include "common/json_getters.h"

#include <cstdio>

#include "common/log.h"

namespace {

const char *reader_error_message(JsonReader *reader)
{
    const GError *error = json_reader_get_error(reader);
    return error && error->message ? error->message : "";
}

}  // namespace

int json_get_string_member(JsonReader *reader, const char *member, const char **value)
{
    if (!reader || !member || !value)
        return 0;
    if (!json_reader_read_member(reader, member)) {
        json_reader_end_member(reader);
        return 0;
    }
    const char *text = json_reader_get_string_value(reader);
    if (!text) {
        printf("Failed to get string member %s\n", reader_error_message(reader));
        json_reader_end_member(reader);
        return 0;
    }
    *value = text;
    json_reader_end_member(reader);
    return 1;
}

int json_get_string_member_copy(JsonReader *reader, const char *member, char *buffer, int size)
{
    const char *text = nullptr;
    if (!buffer || size <= 0 || !json_get_string_member(reader, member, &text))
        return 0;
    const gsize length = g_strlcpy(buffer, text, static_cast<gsize>(size));
    if (length >= static_cast<gsize>(size))
        _wlog('D', "settings", "file[%s] line[%d]: %s length error, truncated!\n", "json_getters.cpp", 92, text);
    return 1;
}

void json_get_int_member(JsonReader *reader, const char *member, int *value)
{
    if (!reader || !member || !value)
        return;
    if (json_reader_read_member(reader, member))
        *value = static_cast<int>(json_reader_get_int_value(reader));
    json_reader_end_member(reader);
}

void json_get_bool_member(JsonReader *reader, const char *member, int *value)
{
    if (!reader || !member || !value)
        return;
    if (json_reader_read_member(reader, member))
        *value = json_reader_get_boolean_value(reader) ? 1 : 0;
    if (json_reader_get_error(reader))
        printf("Failed to get bool member %s\n", reader_error_message(reader));
    json_reader_end_member(reader);
}
