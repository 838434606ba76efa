// Seeding and dumping the simulator's state as JSON.
#include <glib.h>
#include <json-glib/json-glib.h>

#include "biossim.h"

namespace biossim {
namespace {

struct FaultName {
    FaultKind kind;
    const char *name;
};
constexpr FaultName fault_names[] = {
    {fault_status, "status"},      {fault_bad_header, "bad_header"}, {fault_long_field, "long_field"},
    {fault_short_answer, "short"}, {fault_read_error, "read_error"}, {fault_write_error, "write_error"},
};

const char *fault_name(FaultKind kind)
{
    for (const auto &row : fault_names)
        if (row.kind == kind)
            return row.name;
    return "status";
}

bool fault_kind(const char *name, FaultKind *kind)
{
    for (const auto &row : fault_names) {
        if (g_strcmp0(name, row.name) == 0) {
            *kind = row.kind;
            return true;
        }
    }
    return false;
}

std::string generate(JsonBuilder *builder)
{
    g_autoptr(JsonNode) root = json_builder_get_root(builder);
    g_autoptr(JsonGenerator) generator = json_generator_new();
    json_generator_set_root(generator, root);
    json_generator_set_pretty(generator, TRUE);
    g_autofree char *text = json_generator_to_data(generator, nullptr);
    return text;
}

// Requests and passwords may hold any bytes; the dump stays valid UTF-8.
std::string utf8(const std::string &text)
{
    g_autofree char *valid = g_utf8_make_valid(text.c_str(), static_cast<gssize>(text.size()));
    return valid;
}

bool fail(std::string *error, const std::string &text)
{
    if (error)
        *error = text;
    return false;
}

bool is_int(JsonNode *node)
{
    return JSON_NODE_HOLDS_VALUE(node) && json_node_get_value_type(node) == G_TYPE_INT64;
}

bool is_bool(JsonNode *node)
{
    return JSON_NODE_HOLDS_VALUE(node) && json_node_get_value_type(node) == G_TYPE_BOOLEAN;
}

bool is_string(JsonNode *node)
{
    return JSON_NODE_HOLDS_VALUE(node) && json_node_get_value_type(node) == G_TYPE_STRING;
}

bool read_fault(JsonNode *node, Fault *fault, std::string *error)
{
    if (!JSON_NODE_HOLDS_OBJECT(node))
        return fail(error, "a fault is an object");
    JsonObject *object = json_node_get_object(node);
    g_autoptr(GList) members = json_object_get_members(object);
    for (GList *m = members; m; m = m->next) {
        const char *name = static_cast<const char *>(m->data);
        JsonNode *value = json_object_get_member(object, name);
        if (g_strcmp0(name, "kind") == 0) {
            if (!is_string(value) || !fault_kind(json_node_get_string(value), &fault->kind))
                return fail(error, "unknown fault kind");
            continue;
        }
        if (!is_int(value))
            return fail(error, std::string("fault member ") + name + " must be an integer");
        const gint64 number = json_node_get_int(value);
        if (g_strcmp0(name, "token") == 0)
            fault->token = number;
        else if (g_strcmp0(name, "class") == 0)
            fault->cmd_class = static_cast<int>(number);
        else if (g_strcmp0(name, "select") == 0)
            fault->cmd_select = static_cast<int>(number);
        else if (g_strcmp0(name, "status") == 0)
            fault->status = static_cast<uint32_t>(number);
        else if (g_strcmp0(name, "after") == 0)
            fault->after = static_cast<int>(number);
        else if (g_strcmp0(name, "times") == 0)
            fault->times = static_cast<int>(number);
        else
            return fail(error, std::string("unknown fault member ") + name);
    }
    return true;
}

bool apply_object(Sim &sim, JsonObject *object, std::string *error)
{
    g_autoptr(GList) members = json_object_get_members(object);
    for (GList *m = members; m; m = m->next) {
        const char *name = static_cast<const char *>(m->data);
        JsonNode *value = json_object_get_member(object, name);
        if (g_strcmp0(name, "model") == 0 && is_string(value)) {
            sim.model = json_node_get_string(value);
        } else if (g_strcmp0(name, "settings") == 0 && JSON_NODE_HOLDS_OBJECT(value)) {
            JsonObject *settings = json_node_get_object(value);
            g_autoptr(GList) keys = json_object_get_members(settings);
            for (GList *k = keys; k; k = k->next) {
                const char *key = static_cast<const char *>(k->data);
                JsonNode *number = json_object_get_member(settings, key);
                if (!sim.values.count(key))
                    return fail(error, std::string("unknown setting ") + key);
                if (!is_int(number))
                    return fail(error, std::string("setting ") + key + " must be an integer");
                sim.values[key] = static_cast<uint32_t>(json_node_get_int(number));
            }
        } else if (g_strcmp0(name, "password") == 0 && (JSON_NODE_HOLDS_NULL(value) || is_string(value))) {
            sim.password_installed = !JSON_NODE_HOLDS_NULL(value);
            sim.password = sim.password_installed ? json_node_get_string(value) : "";
        } else if (g_strcmp0(name, "password_rules") == 0 && JSON_NODE_HOLDS_OBJECT(value)) {
            JsonObject *rules = json_node_get_object(value);
            g_autoptr(GList) keys = json_object_get_members(rules);
            for (GList *k = keys; k; k = k->next) {
                const char *key = static_cast<const char *>(k->data);
                JsonNode *rule = json_object_get_member(rules, key);
                if (g_strcmp0(key, "min") == 0 && is_int(rule))
                    sim.min_len = static_cast<unsigned>(json_node_get_int(rule));
                else if (g_strcmp0(key, "max") == 0 && is_int(rule))
                    sim.max_len = static_cast<unsigned>(json_node_get_int(rule));
                else if (g_strcmp0(key, "ascii") == 0 && is_bool(rule))
                    sim.ascii_only = json_node_get_boolean(rule);
                else if (g_strcmp0(key, "alnum") == 0 && is_bool(rule))
                    sim.alnum_only = json_node_get_boolean(rule);
                else
                    return fail(error, std::string("bad password rule ") + key);
            }
        } else if (g_strcmp0(name, "property_word") == 0 && (JSON_NODE_HOLDS_NULL(value) || is_int(value))) {
            sim.property_word = JSON_NODE_HOLDS_NULL(value) ? -1 : json_node_get_int(value);
        } else if (g_strcmp0(name, "security_key") == 0 && is_int(value)) {
            sim.security_key = static_cast<uint32_t>(json_node_get_int(value));
        } else if (g_strcmp0(name, "asset_tag") == 0 && is_string(value)) {
            sim.asset_tag = json_node_get_string(value);
        } else if (g_strcmp0(name, "faults") == 0 && JSON_NODE_HOLDS_ARRAY(value)) {
            std::vector<Fault> faults;
            JsonArray *array = json_node_get_array(value);
            for (guint i = 0; i < json_array_get_length(array); ++i) {
                Fault fault;
                if (!read_fault(json_array_get_element(array, i), &fault, error))
                    return false;
                faults.push_back(fault);
            }
            sim.faults = faults;
        } else if (g_strcmp0(name, "clear_log") == 0 && is_bool(value)) {
            if (json_node_get_boolean(value))
                sim.requests.clear();
        } else {
            return fail(error, std::string("bad member ") + name);
        }
    }
    return true;
}

}  // namespace

std::string to_json(const Sim &sim)
{
    g_autoptr(JsonBuilder) b = json_builder_new();
    json_builder_begin_object(b);
    json_builder_set_member_name(b, "model");
    json_builder_add_string_value(b, sim.model.c_str());
    json_builder_set_member_name(b, "settings");
    json_builder_begin_object(b);
    for (const auto &name : setting_names()) {
        json_builder_set_member_name(b, name.c_str());
        json_builder_add_int_value(b, sim.values.at(name));
    }
    json_builder_end_object(b);
    json_builder_set_member_name(b, "password");
    if (sim.password_installed)
        json_builder_add_string_value(b, utf8(sim.password).c_str());
    else
        json_builder_add_null_value(b);
    json_builder_set_member_name(b, "password_rules");
    json_builder_begin_object(b);
    json_builder_set_member_name(b, "min");
    json_builder_add_int_value(b, sim.min_len);
    json_builder_set_member_name(b, "max");
    json_builder_add_int_value(b, sim.max_len);
    json_builder_set_member_name(b, "ascii");
    json_builder_add_boolean_value(b, sim.ascii_only);
    json_builder_set_member_name(b, "alnum");
    json_builder_add_boolean_value(b, sim.alnum_only);
    json_builder_end_object(b);
    json_builder_set_member_name(b, "property_word");
    if (sim.property_word >= 0)
        json_builder_add_int_value(b, sim.property_word);
    else
        json_builder_add_null_value(b);
    json_builder_set_member_name(b, "security_key");
    json_builder_add_int_value(b, sim.security_key);
    json_builder_set_member_name(b, "asset_tag");
    json_builder_add_string_value(b, utf8(sim.asset_tag).c_str());
    json_builder_set_member_name(b, "faults");
    json_builder_begin_array(b);
    for (const auto &fault : sim.faults) {
        json_builder_begin_object(b);
        json_builder_set_member_name(b, "kind");
        json_builder_add_string_value(b, fault_name(fault.kind));
        const std::pair<const char *, gint64> numbers[] = {{"token", fault.token},       {"class", fault.cmd_class},
                                                           {"select", fault.cmd_select}, {"status", fault.status},
                                                           {"after", fault.after},       {"times", fault.times}};
        for (const auto &[name, number] : numbers) {
            json_builder_set_member_name(b, name);
            json_builder_add_int_value(b, number);
        }
        json_builder_end_object(b);
    }
    json_builder_end_array(b);
    json_builder_end_object(b);
    return generate(b);
}

std::string log_to_json(const Sim &sim)
{
    g_autoptr(JsonBuilder) b = json_builder_new();
    json_builder_begin_array(b);
    for (const auto &request : sim.requests) {
        json_builder_begin_object(b);
        json_builder_set_member_name(b, "text");
        json_builder_add_string_value(b, utf8(request.text).c_str());
        json_builder_set_member_name(b, "size");
        json_builder_add_int_value(b, static_cast<gint64>(request.size));
        json_builder_end_object(b);
    }
    json_builder_end_array(b);
    return generate(b);
}

bool apply_json(Sim &sim, const std::string &json, std::string *error)
{
    g_autoptr(JsonParser) parser = json_parser_new();
    GError *parse_error = nullptr;
    if (!json_parser_load_from_data(parser, json.c_str(), static_cast<gssize>(json.size()), &parse_error)) {
        const std::string text = parse_error->message;
        g_error_free(parse_error);
        return fail(error, text);
    }
    JsonNode *root = json_parser_get_root(parser);
    if (!root || !JSON_NODE_HOLDS_OBJECT(root))
        return fail(error, "the state is a JSON object");
    Sim changed = sim;
    if (!apply_object(changed, json_node_get_object(root), error))
        return false;
    sim = changed;
    return true;
}

}  // namespace biossim
