// One handler's JSON parameter text: its parse tree, owned on every path, and the getters
// of its root object's members. A text that did not parse, or whose root is no object,
// reads as every member absent.
#pragma once

#include <cstddef>
#include <json-glib/json-glib.h>
#include <optional>
#include <string_view>

class JsonParams {
public:
    explicit JsonParams(const char *text);
    ~JsonParams();
    JsonParams(const JsonParams &) = delete;
    JsonParams &operator=(const JsonParams &) = delete;

    // True when the text parsed.
    bool ok() const { return root() != nullptr; }
    // The parser's message when the text did not parse ("" otherwise).
    const char *error_message() const { return error_ ? error_->message : ""; }
    JsonNode *root() const { return parsed_ ? json_parser_get_root(parser_) : nullptr; }
    bool root_is_object() const { return root() && JSON_NODE_HOLDS_OBJECT(root()); }
    bool root_is_array() const { return root() && JSON_NODE_HOLDS_ARRAY(root()); }
    // The root object; nullptr when the root is no object.
    JsonObject *object() const { return root_is_object() ? json_node_get_object(root()) : nullptr; }
    // The member's node; nullptr when it is absent.
    JsonNode *member(const char *name) const;

    // The member's text when it is a string (printed when it is something else).
    std::optional<std::string_view> get_string(const char *member) const;
    // Copies a string member into `buffer`: at most size-1 bytes, terminated, never cut
    // inside a character; a cut is logged with the value (log_truncated). False, with the buffer
    // untouched, when the member is no string.
    bool copy_string(const char *member, char *buffer, size_t size) const;
    // The member's number, cut to 32 bits, when it is present: a boolean reads as 0 or 1 and
    // any value that is no number (a string, null, an object) as 0.
    std::optional<int> get_int(const char *member) const;
    // True when the member is a number or a boolean, the values get_int reads as they are.
    bool holds_number(const char *member) const;
    // The member's truth when it is present: a number reads as true unless 0, a string as
    // false; null, an array or an object read as false. An absent member reads as nothing.
    // Both of the last print a line.
    std::optional<bool> get_bool(const char *member) const;

    // Overwrites the parser's copy of the string member `member` with zero bytes, so that a
    // secret does not stay in freed memory.
    void scrub_string(const char *member) const;

private:
    JsonParser *parser_ = nullptr;
    bool parsed_ = false;
    GError *error_ = nullptr;
};
