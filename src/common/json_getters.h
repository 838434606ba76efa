// Member getters used by every JSON-taking handler. Each enters the member and always
// leaves it again, so calls can follow one another on the same reader.
#pragma once

#include <json-glib/json-glib.h>

// Copies a string member into `buffer` (at most size-1 bytes, always terminated, never cut
// inside a character); returns 1 when the member is a string (a cut is logged), 0 otherwise
// with the buffer untouched.
int json_get_string_member_copy(JsonReader *reader, const char *member, char *buffer, int size);

// Points `value` at the parser-owned string of the member; 1 when present and a string.
int json_get_string_member(JsonReader *reader, const char *member, const char **value);

// Stores the member's integer (cut to 32 bits) when it exists; leaves `value` otherwise.
void json_get_int_member(JsonReader *reader, const char *member, int *value);

// Stores the member's boolean as 1/0 when it exists; leaves `value` otherwise.
void json_get_bool_member(JsonReader *reader, const char *member, int *value);
