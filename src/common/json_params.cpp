#include "common/json_params.h"

#include <cstring>

namespace {

// The parser builds and frees its tree recursively on the one thread that serves every
// call, so a text nested some tens of thousands of levels deep overflows the stack and
// takes the daemon down. No request nests more than a few levels.
constexpr int max_nesting = 128;

bool nested_too_deep(const char *text)
{
    int depth = 0;
    bool in_string = false;
    for (const char *p = text; *p; ++p) {
        if (in_string) {
            if (*p == '\\' && p[1])
                ++p;
            else if (*p == '"')
                in_string = false;
            continue;
        }
        if (*p == '"')
            in_string = true;
        else if ((*p == '[' || *p == '{') && ++depth > max_nesting)
            return true;
        else if (*p == ']' || *p == '}')
            --depth;
    }
    return false;
}

}  // namespace

JsonParams::JsonParams(const char *text)
{
    parser_ = json_parser_new();
    if (text && nested_too_deep(text)) {
        g_set_error(&error_, JSON_PARSER_ERROR, JSON_PARSER_ERROR_PARSE, "nested deeper than %d levels", max_nesting);
        return;
    }
    if (!text || !json_parser_load_from_data(parser_, text, -1, &error_))
        return;
    JsonNode *root = json_parser_get_root(parser_);
    if (root)
        reader_ = json_reader_new(root);
}

void JsonParams::scrub_string(const char *member) const
{
    if (!root_is_object())
        return;
    JsonNode *node = json_object_get_member(json_node_get_object(root()), member);
    if (!node || !JSON_NODE_HOLDS_VALUE(node) || json_node_get_value_type(node) != G_TYPE_STRING)
        return;
    // The parser owns this text and frees it with the tree; wiping it in place is safe.
    char *text = const_cast<char *>(json_node_get_string(node));
    explicit_bzero(text, strlen(text));
}

JsonParams::~JsonParams()
{
    if (reader_)
        g_object_unref(reader_);
    if (parser_)
        g_object_unref(parser_);
    if (error_)
        g_error_free(error_);
}
