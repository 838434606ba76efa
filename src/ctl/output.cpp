#include "ctl/output.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <string>

#include "ctl/request.h"
#include "ctl/verbs.h"

namespace {

constexpr const char *usage_error_name = "com.corvo.corvoctl.UsageError";

// The member that carries the result (the settings service's, the others'), and the words
// by which it reports failure.
constexpr const char *result_members[] = {"Result", "result"};
constexpr const char *failure_words[] = {"Fail", "FAILED", "failed"};

// `text` as a terminal may show it: control characters (C0, DEL, C1) and bytes that are no
// UTF-8 become \xNN or \u00NN, so text from the daemon or a device cannot drive the terminal.
std::string printable(const char *text)
{
    std::string out;
    char escaped[8];
    for (const char *p = text; *p;) {
        const gunichar c = g_utf8_get_char_validated(p, -1);
        if (c == static_cast<gunichar>(-1) || c == static_cast<gunichar>(-2)) {
            g_snprintf(escaped, sizeof escaped, "\\x%02x", static_cast<unsigned char>(*p++));
            out += escaped;
            continue;
        }
        const char *next = g_utf8_next_char(p);
        if (c < 0x20 || c == 0x7f) {
            g_snprintf(escaped, sizeof escaped, "\\x%02x", c);
            out += escaped;
        } else if (c >= 0x80 && c < 0xa0) {
            g_snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out.append(p, static_cast<size_t>(next - p));
        }
        p = next;
    }
    return out;
}

void put_printable(const char *text)
{
    fputs(printable(text).c_str(), stdout);
}

JsonNode *member(JsonNode *node, const char *name)
{
    return node && JSON_NODE_HOLDS_OBJECT(node) ? json_object_get_member(json_node_get_object(node), name) : nullptr;
}

bool holds_text(JsonNode *node)
{
    return node && JSON_NODE_HOLDS_VALUE(node) && json_node_get_value_type(node) == G_TYPE_STRING;
}

const char *text_of(JsonNode *node)
{
    return holds_text(node) ? json_node_get_string(node) : "";
}

JsonNode *result_member(JsonNode *root)
{
    for (const char *name : result_members)
        if (JsonNode *node = member(root, name))
            return node;
    return nullptr;
}

bool reports_success(JsonNode *root)
{
    // A bare number is an error number: 0 is success.
    if (root && JSON_NODE_HOLDS_VALUE(root) && json_node_get_value_type(root) == G_TYPE_INT64)
        return json_node_get_int(root) == 0;
    JsonNode *result = result_member(root);
    return std::none_of(std::begin(failure_words), std::end(failure_words),
                        [&](const char *word) { return strcmp(text_of(result), word) == 0; });
}

void print_error_document(const char *name, const char *message)
{
    g_autofree char *valid_message = g_utf8_make_valid(message, -1);
    g_autoptr(JsonBuilder) builder = json_builder_new();
    json_builder_begin_object(builder);
    json_builder_set_member_name(builder, "error");
    json_builder_begin_object(builder);
    json_builder_set_member_name(builder, "name");
    json_builder_add_string_value(builder, name);
    json_builder_set_member_name(builder, "message");
    json_builder_add_string_value(builder, valid_message);
    json_builder_end_object(builder);
    json_builder_end_object(builder);
    g_autoptr(JsonNode) root = json_builder_get_root(builder);
    ctl_print_json(root);
}

// A value as a reader wants it: a text as it is, anything else as JSON.
void print_value(JsonNode *node)
{
    if (holds_text(node)) {
        put_printable(json_node_get_string(node));
        return;
    }
    g_autofree char *text = json_text(node);
    put_printable(text);
}

void render_raw(const char *reply, JsonNode *)
{
    put_printable(reply);
    putchar('\n');
}

void render_result(const char *reply, JsonNode *root)
{
    JsonNode *result = result_member(root);
    if (!result)
        return render_raw(reply, root);
    print_value(result);
    putchar('\n');
}

void render_bios_table(const char *reply, JsonNode *root)
{
    JsonNode *message = member(root, "message");
    if (!message || !JSON_NODE_HOLDS_OBJECT(message))
        return message ? render_result(reply, message) : render_raw(reply, root);
    JsonObject *object = json_node_get_object(message);
    g_autoptr(GList) keys = json_object_get_members(object);
    int width = 0;
    for (GList *key = keys; key; key = key->next)
        width =
            std::max(width, static_cast<int>(printable(bios_short_key(static_cast<const char *>(key->data))).size()));
    for (GList *key = keys; key; key = key->next) {
        const char *name = static_cast<const char *>(key->data);
        printf("%-*s  ", width, printable(bios_short_key(name)).c_str());
        print_value(json_object_get_member(object, name));
        putchar('\n');
    }
}

// "MJPG 1280x720 640x480; YUYV 640x480"
void print_formats(JsonNode *details)
{
    if (!details || !JSON_NODE_HOLDS_ARRAY(details))
        return;
    g_autoptr(GList) formats = json_array_get_elements(json_node_get_array(details));
    for (GList *item = formats; item; item = item->next) {
        JsonNode *format = static_cast<JsonNode *>(item->data);
        printf("%s%s", item == formats ? "" : "; ", printable(text_of(member(format, "format"))).c_str());
        JsonNode *sizes = member(format, "resolutions");
        if (!sizes || !JSON_NODE_HOLDS_OBJECT(sizes))
            continue;
        JsonObject *object = json_node_get_object(sizes);
        g_autoptr(GList) names = json_object_get_members(object);
        for (GList *name = names; name; name = name->next) {
            JsonNode *size = json_object_get_member(object, static_cast<const char *>(name->data));
            printf(" %s", printable(text_of(member(size, "value"))).c_str());
        }
    }
}

void render_camera_rows(const char *reply, JsonNode *root)
{
    JsonNode *message = member(root, "message");
    if (!message || !JSON_NODE_HOLDS_ARRAY(message))
        return render_raw(reply, root);
    g_autoptr(GList) cameras = json_array_get_elements(json_node_get_array(message));
    if (!cameras)
        puts("no webcams");
    for (GList *item = cameras; item; item = item->next) {
        JsonNode *camera = static_cast<JsonNode *>(item->data);
        printf("%s  %s  ", printable(text_of(member(camera, "DevicePath"))).c_str(),
               printable(text_of(member(camera, "DeviceName"))).c_str());
        print_formats(member(camera, "Details"));
        putchar('\n');
    }
}

// Indexed by Render.
constexpr void (*renderers[])(const char *, JsonNode *) = {render_raw, render_result, render_bios_table,
                                                           render_camera_rows};

}  // namespace

int ctl_usage_error(const CtlOptions &options, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    g_autofree char *message = g_strdup_vprintf(format, args);
    va_end(args);
    fprintf(stderr, "corvoctl: %s\nTry \"corvoctl --help\".\n", message);
    if (options.json)
        print_error_document(usage_error_name, message);
    return ctl_exit_usage;
}

int ctl_bus_error(const CtlOptions &options, const BusError &error)
{
    fprintf(stderr, "corvoctl: %s: %s\n", printable(error.name.c_str()).c_str(),
            printable(error.message.c_str()).c_str());
    if (options.json)
        print_error_document(error.name.c_str(), error.message.c_str());
    return ctl_exit_bus;
}

void ctl_print_json(JsonNode *node)
{
    g_autofree char *text = json_text(node);
    puts(text);
    fflush(stdout);
}

int ctl_call(const CtlOptions &options, const CtlService &service, const char *method, const char *argument,
             Render render)
{
    if (argument && !g_utf8_validate(argument, -1, nullptr))
        return ctl_usage_error(options, "the argument of %s is not valid UTF-8", method);
    BusError error;
    g_autofree char *reply = ctl_bus_call(service, method, argument, options.timeout_ms(), &error);
    if (!reply)
        return ctl_bus_error(options, error);

    g_autoptr(JsonParser) parser = json_parser_new();
    JsonNode *root = json_parser_load_from_data(parser, reply, -1, nullptr) ? json_parser_get_root(parser) : nullptr;
    const bool success = reports_success(root);
    if (options.json) {
        // A reply that is not JSON still leaves one document: the reply as a JSON string.
        g_autoptr(JsonNode) text = root ? nullptr : json_node_init_string(json_node_alloc(), reply);
        ctl_print_json(root ? root : text);
    } else {
        renderers[static_cast<int>(render)](reply, root);
        if (!success && render != Render::raw && render != Render::result)
            fprintf(stderr, "corvoctl: %s answered %s\n", method, printable(text_of(result_member(root))).c_str());
    }
    return success ? ctl_exit_success : ctl_exit_failed;
}
