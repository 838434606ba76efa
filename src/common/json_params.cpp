#include "common/json_params.h"

#include <cstring>

#include "common/log.h"
#include "common/utf8_cut.h"

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

bool holds_value(JsonNode *node)
{
    return node && JSON_NODE_HOLDS_VALUE(node);
}

}  // namespace

JsonParams::JsonParams(const char *text)
{
    parser_ = json_parser_new();
    if (text && nested_too_deep(text)) {
        g_set_error(&error_, JSON_PARSER_ERROR, JSON_PARSER_ERROR_PARSE, "nested deeper than %d levels", max_nesting);
        return;
    }
    parsed_ = text && json_parser_load_from_data(parser_, text, -1, &error_);
}

JsonParams::~JsonParams()
{
    g_object_unref(parser_);
    if (error_)
        g_error_free(error_);
}

JsonNode *JsonParams::member(const char *name) const
{
    JsonObject *root_object = object();
    return root_object && name ? json_object_get_member(root_object, name) : nullptr;
}

std::optional<std::string_view> JsonParams::get_string(const char *name) const
{
    JsonNode *node = member(name);
    if (!node)
        return std::nullopt;
    if (!holds_value(node) || json_node_get_value_type(node) != G_TYPE_STRING) {
        print_diagnostic("Failed to get string member %s: it holds a %s\n", name, json_node_type_name(node));
        return std::nullopt;
    }
    return json_node_get_string(node);
}

bool JsonParams::copy_string(const char *name, char *buffer, size_t size) const
{
    if (!buffer || size == 0)
        return false;
    const std::optional<std::string_view> whole = get_string(name);
    if (!whole)
        return false;
    const std::string_view kept = utf8_cut(*whole, size - 1);
    memcpy(buffer, kept.data(), kept.size());
    buffer[kept.size()] = '\0';
    if (kept.size() < whole->size())
        log_truncated("json_getters.cpp", 92, *whole);
    return true;
}

std::optional<int> JsonParams::get_int(const char *name) const
{
    JsonNode *node = member(name);
    if (!node)
        return std::nullopt;
    return holds_value(node) ? static_cast<int>(json_node_get_int(node)) : 0;
}

bool JsonParams::holds_number(const char *name) const
{
    JsonNode *node = member(name);
    if (!holds_value(node))
        return false;
    const GType type = json_node_get_value_type(node);
    return type == G_TYPE_INT64 || type == G_TYPE_DOUBLE || type == G_TYPE_BOOLEAN;
}

std::optional<bool> JsonParams::get_bool(const char *name) const
{
    JsonNode *node = member(name);
    if (!node) {
        print_diagnostic("Failed to get bool member %s: not in the object\n", name ? name : "");
        return std::nullopt;
    }
    if (!holds_value(node)) {
        print_diagnostic("Failed to get bool member %s: it holds a %s\n", name, json_node_type_name(node));
        return false;
    }
    return json_node_get_boolean(node) != FALSE;
}

void JsonParams::scrub_string(const char *name) const
{
    JsonNode *node = member(name);
    if (!holds_value(node) || json_node_get_value_type(node) != G_TYPE_STRING)
        return;
    // The parser owns this text and frees it with the tree; wiping it in place is safe.
    char *text = const_cast<char *>(json_node_get_string(node));
    explicit_bzero(text, strlen(text));
}
