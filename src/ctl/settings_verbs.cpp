// show and apply: the settings of com.corvo.settings as GetSettings reads them back, and a
// file of the same shape made true by calling each method that differs.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "ctl/bus.h"
#include "ctl/output.h"
#include "ctl/request.h"
#include "ctl/secret.h"
#include "ctl/verbs.h"

namespace {

// How a method's members become its calls, where that is not "the object as JSON, once".
enum class CallShape {
    object,        // one call with the members as a JSON object
    plain_text,    // the parameter is the text of the member "value"
    one_member,    // acts on the first member it finds: one call per differing member
    request_list,  // the value is a list of requests: one call per request not in force
};

struct MethodShape {
    const char *method;
    CallShape shape;
};
constexpr MethodShape method_shapes[] = {
    {"EEEConfigure", CallShape::plain_text},      {"GKeyConfigure", CallShape::plain_text},
    {"RKeyConfigure", CallShape::plain_text},     {"Sysctl", CallShape::one_member},
    {"UsbRedConfigure", CallShape::request_list},
};

CallShape shape_of(const char *method)
{
    for (const auto &row : method_shapes)
        if (strcmp(row.method, method) == 0)
            return row.shape;
    return CallShape::object;
}

const CtlService &settings_service()
{
    return *ctl_service_find("settings");
}

JsonNode *parse(JsonParser *parser, const char *text)
{
    return json_parser_load_from_data(parser, text, -1, nullptr) ? json_parser_get_root(parser) : nullptr;
}

bool is_object(JsonNode *node)
{
    return node && JSON_NODE_HOLDS_OBJECT(node);
}

// The reply's text when it is not one of the settings (a failure reply), else null.
const char *read_error(JsonNode *method_value)
{
    if (!is_object(method_value))
        return nullptr;
    JsonObject *object = json_node_get_object(method_value);
    if (json_object_get_size(object) != 1 || !json_object_has_member(object, "error"))
        return nullptr;
    return json_object_get_string_member(object, "error");
}

// GetSettings for `names` (all when empty); the reply's root object, or null with the exit
// status in `status` (a bus error, or the service's refusal of the names).
JsonObject *get_settings(const CtlOptions &options, const std::vector<const char *> &names, JsonParser *parser,
                         char **reply, int *status)
{
    g_autofree char *argument = nullptr;
    if (!names.empty()) {
        g_autoptr(JsonArray) array = json_array_new();
        for (const char *name : names)
            json_array_add_string_element(array, name);
        g_autoptr(JsonNode) node = json_node_init_array(json_node_alloc(), array);
        argument = json_text(node);
    }
    BusError error;
    *reply = ctl_bus_call(settings_service(), "GetSettings", argument ? argument : "", options.timeout_ms(), &error);
    if (!*reply) {
        *status = ctl_bus_error(options, error);
        return nullptr;
    }
    JsonNode *root = parse(parser, *reply);
    if (!is_object(root) || json_object_has_member(json_node_get_object(root), "Result")) {
        fprintf(stderr, "corvoctl: GetSettings answered %s (a name that is not a readable settings method?)\n", *reply);
        *status = ctl_exit_failed;
        return nullptr;
    }
    return json_node_get_object(root);
}

// One row of show's table: method, member, value.
struct Row {
    std::string method, member, value;
};

std::string value_text(JsonNode *node)
{
    if (JSON_NODE_HOLDS_VALUE(node) && json_node_get_value_type(node) == G_TYPE_STRING)
        return json_node_get_string(node);
    g_autofree char *text = json_text(node);
    return text;
}

void add_rows(std::vector<Row> &rows, const char *method, JsonNode *value)
{
    if (JSON_NODE_HOLDS_ARRAY(value)) {
        g_autoptr(GList) items = json_array_get_elements(json_node_get_array(value));
        if (!items)
            rows.push_back({method, "", "(not set)"});
        int index = 0;
        for (GList *item = items; item; item = item->next) {
            const std::string element = std::string(method) + "[" + std::to_string(index++) + "]";
            add_rows(rows, element.c_str(), static_cast<JsonNode *>(item->data));
        }
        return;
    }
    if (!is_object(value))
        return rows.push_back({method, "", value_text(value)});
    JsonObject *object = json_node_get_object(value);
    g_autoptr(GList) members = json_object_get_members(object);
    if (!members)
        rows.push_back({method, "", "(not set)"});
    for (GList *name = members; name; name = name->next) {
        const char *member = static_cast<const char *>(name->data);
        rows.push_back({method, member, value_text(json_object_get_member(object, member))});
    }
}

}  // namespace

int verb_settings_show(const CtlOptions &options, char **words, int count)
{
    g_autoptr(JsonParser) parser = json_parser_new();
    g_autofree char *reply = nullptr;
    int status = ctl_exit_success;
    const std::vector<const char *> names(words, words + count);
    JsonObject *settings = get_settings(options, names, parser, &reply, &status);
    if (!settings)
        return status;
    bool unreadable = false;
    std::vector<Row> rows;
    g_autoptr(GList) methods = json_object_get_members(settings);
    for (GList *item = methods; item; item = item->next) {
        const char *method = static_cast<const char *>(item->data);
        JsonNode *value = json_object_get_member(settings, method);
        unreadable = unreadable || read_error(value);
        add_rows(rows, method, value);
    }
    if (options.json) {
        puts(reply);  // the reply as it came
    } else {
        size_t method_width = 0, member_width = 0;
        for (const auto &row : rows) {
            method_width = std::max(method_width, row.method.size());
            member_width = std::max(member_width, row.member.size());
        }
        for (const auto &row : rows)
            printf("%-*s  %-*s  %s\n", static_cast<int>(method_width), row.method.c_str(),
                   static_cast<int>(member_width), row.member.c_str(), row.value.c_str());
    }
    return unreadable ? ctl_exit_failed : ctl_exit_success;
}

namespace {

// The calls that make `wanted` of `method` true where `current` is in force now.
std::vector<std::string> calls_for(const char *method, JsonNode *wanted, JsonNode *current, std::string *why)
{
    std::vector<std::string> calls;
    const CallShape shape = shape_of(method);
    if (shape == CallShape::request_list) {
        if (!JSON_NODE_HOLDS_ARRAY(wanted)) {
            *why = "takes a list of requests";
            return {};
        }
        JsonArray *now = current && JSON_NODE_HOLDS_ARRAY(current) ? json_node_get_array(current) : nullptr;
        g_autoptr(GList) items = json_array_get_elements(json_node_get_array(wanted));
        for (GList *item = items; item; item = item->next) {
            JsonNode *request = static_cast<JsonNode *>(item->data);
            bool in_force = false;
            for (guint i = 0; now && i < json_array_get_length(now); ++i)
                in_force = in_force || json_node_equal(request, json_array_get_element(now, i));
            if (!in_force) {
                g_autofree char *text = json_text(request);
                calls.push_back(text);
            }
        }
        return calls;
    }
    if (!is_object(wanted)) {
        *why = "takes an object of members";
        return {};
    }
    JsonObject *members = json_node_get_object(wanted);
    if (shape == CallShape::plain_text) {
        JsonNode *value = json_object_get_member(members, "value");
        if (!value || !JSON_NODE_HOLDS_VALUE(value) || json_node_get_value_type(value) != G_TYPE_STRING) {
            *why = "needs the text member \"value\"";
            return {};
        }
        calls.push_back(json_node_get_string(value));
        return calls;
    }
    if (shape == CallShape::one_member) {
        JsonObject *now = is_object(current) ? json_node_get_object(current) : nullptr;
        g_autoptr(GList) names = json_object_get_members(members);
        for (GList *name = names; name; name = name->next) {
            const char *member = static_cast<const char *>(name->data);
            JsonNode *value = json_object_get_member(members, member);
            JsonNode *old = now ? json_object_get_member(now, member) : nullptr;
            if (old && json_node_equal(value, old))
                continue;
            g_autoptr(JsonObject) single = json_object_new();
            json_object_set_member(single, member, json_node_copy(value));
            g_autoptr(JsonNode) node = json_node_init_object(json_node_alloc(), single);
            g_autofree char *text = json_text(node);
            calls.push_back(text);
        }
        return calls;
    }
    g_autofree char *text = json_text(wanted);
    calls.push_back(text);
    return calls;
}

bool reply_is_success(const char *reply)
{
    return g_strcmp0(reply, "{\"Result\":\"Success\"}") == 0;
}

bool read_profile(const char *path, Secret *text, std::string *why)
{
    g_autoptr(GError) error = nullptr;
    if (strcmp(path, "-") == 0) {
        if (!read_stdin_text(text, &error))
            *why = error->message;
        return !error;
    }
    char *contents = nullptr;
    gsize length = 0;
    if (!g_file_get_contents(path, &contents, &length, &error)) {
        *why = error->message;
        return false;
    }
    *text = Secret(contents, length + 1);
    return true;
}

}  // namespace

int verb_settings_apply(const CtlOptions &options, char **words, int)
{
    Secret text;
    std::string why;
    if (!read_profile(words[0], &text, &why))
        return ctl_usage_error(options, "%s", why.c_str());
    g_autoptr(JsonParser) profile_parser = json_parser_new();
    JsonNode *profile = parse(profile_parser, text.get());
    if (!is_object(profile))
        return ctl_usage_error(options, "%s: not a JSON object of settings methods", words[0]);
    JsonObject *wanted = json_node_get_object(profile);
    g_autoptr(GList) methods = json_object_get_members(wanted);
    if (!methods)
        return ctl_usage_error(options, "%s names no settings method", words[0]);
    std::vector<const char *> names;
    for (GList *item = methods; item; item = item->next)
        names.push_back(static_cast<const char *>(item->data));

    g_autoptr(JsonParser) parser = json_parser_new();
    g_autofree char *reply = nullptr;
    int status = ctl_exit_success;
    JsonObject *current = get_settings(options, names, parser, &reply, &status);
    if (!current)
        return status;

    g_autoptr(JsonObject) report = json_object_new();
    size_t width = 0;
    for (const char *name : names)
        width = std::max(width, strlen(name));
    bool failed = false;
    for (const char *method : names) {
        JsonNode *now = json_object_get_member(current, method);
        JsonNode *value = json_object_get_member(wanted, method);
        std::string outcome;
        std::string problem;
        if (const char *error = read_error(now)) {
            problem = std::string("cannot read it: ") + error;
        } else if (json_node_equal(value, now)) {
            outcome = "unchanged";
        } else {
            const std::vector<std::string> calls = calls_for(method, value, now, &problem);
            for (const auto &call : calls) {
                if (options.dry_run) {
                    outcome += (outcome.empty() ? "would call " : "; ") + std::string(method) + " " + call;
                    continue;
                }
                BusError error;
                g_autofree char *answer =
                    ctl_bus_call(settings_service(), method, call.c_str(), options.timeout_ms(), &error);
                if (!answer) {
                    problem = error.name + ": " + error.message;
                    break;
                }
                if (!reply_is_success(answer)) {
                    problem = std::string("answered ") + answer;
                    break;
                }
            }
            if (problem.empty() && outcome.empty())
                outcome = calls.empty() ? "unchanged" : "applied";
        }
        if (!problem.empty()) {
            failed = true;
            outcome = "failed: " + problem;
        }
        json_object_set_string_member(report, method, outcome.c_str());
        if (!options.json)
            printf("%-*s  %s\n", static_cast<int>(width), method, outcome.c_str());
    }
    if (options.json) {
        g_autoptr(JsonNode) root = json_node_init_object(json_node_alloc(), report);
        ctl_print_json(root);
    }
    return failed ? ctl_exit_failed : ctl_exit_success;
}
