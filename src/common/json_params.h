// Owns the parser and the reader of one handler's JSON parameter text, on every path.
#pragma once

#include <json-glib/json-glib.h>

#include "common/json_getters.h"

class JsonParams {
public:
    explicit JsonParams(const char *text);
    ~JsonParams();
    JsonParams(const JsonParams &) = delete;
    JsonParams &operator=(const JsonParams &) = delete;

    // True when the text parsed; reader() is then placed on the root node.
    bool ok() const { return reader_ != nullptr; }
    // The parser's message when the text did not parse ("" otherwise).
    const char *error_message() const { return error_ ? error_->message : ""; }
    JsonReader *reader() const { return reader_; }
    JsonNode *root() const { return parser_ ? json_parser_get_root(parser_) : nullptr; }
    bool root_is_object() const { return root() && JSON_NODE_HOLDS_OBJECT(root()); }
    bool root_is_array() const { return root() && JSON_NODE_HOLDS_ARRAY(root()); }

    // The getters, on this reader. A text that did not parse reads as all members absent.
    int copy_string(const char *member, char *buffer, int size) const
    {
        return json_get_string_member_copy(reader_, member, buffer, size);
    }
    int get_string(const char *member, const char **value) const
    {
        return json_get_string_member(reader_, member, value);
    }
    void get_int(const char *member, int *value) const { json_get_int_member(reader_, member, value); }
    void get_bool(const char *member, int *value) const { json_get_bool_member(reader_, member, value); }

    // Overwrites the parser's copy of the string member `member` of the root object with zero
    // bytes, so that a secret does not stay in freed memory.
    void scrub_string(const char *member) const;

private:
    JsonParser *parser_ = nullptr;
    JsonReader *reader_ = nullptr;
    GError *error_ = nullptr;
};
