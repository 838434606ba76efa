#include "ctl/request.h"

#include <cstring>

Request::~Request()
{
    if (secrets_) {
        for (guint i = 0; i < secrets_->len; ++i) {
            const char *member = static_cast<const char *>(g_ptr_array_index(secrets_, i));
            char *value = const_cast<char *>(json_object_get_string_member(object_, member));
            explicit_bzero(value, strlen(value));
        }
        g_ptr_array_unref(secrets_);
    }
    json_object_unref(object_);
}

void Request::set_secret(const char *member, const char *value)
{
    if (!secrets_)
        secrets_ = g_ptr_array_new_with_free_func(g_free);
    g_ptr_array_add(secrets_, g_strdup(member));
    set_text(member, value);
}

void Request::set_typed(const char *member, const char *value)
{
    gint64 number = 0;
    if (parse_integer(value, &number))
        set_int(member, number);
    else
        set_text(member, value);
}

Secret Request::text() const
{
    g_autoptr(JsonNode) node = json_node_init_object(json_node_alloc(), object_);
    char *text = json_text(node);
    return Secret(text, strlen(text) + 1);
}

char *absolute_path(const char *path)
{
    if (g_path_is_absolute(path))
        return g_strdup(path);
    g_autofree char *folder = g_get_current_dir();
    return g_build_filename(folder, path, nullptr);
}

bool parse_integer(const char *text, gint64 *value)
{
    return g_ascii_string_to_signed(text, 10, G_MININT64, G_MAXINT64, value, nullptr);
}

char *json_text(JsonNode *node)
{
    return json_to_string(node, FALSE);
}
