// The verbs other than bios: the generic call, status, and the task verbs of the settings,
// headset and add-on services; and the table of all verbs.
#include "ctl/verbs.h"

#include <cstdio>
#include <cstring>

#include "ctl/bus.h"
#include "ctl/output.h"
#include "ctl/request.h"

namespace {

const CtlService &service(const char *name)
{
    return *ctl_service_find(name);
}

bool parse_switch(const char *word, bool *on)
{
    *on = strcmp(word, "on") == 0;
    return *on || strcmp(word, "off") == 0;
}

// Whether a JSON object given on the command line carries a password member.
bool carries_password(const char *argument)
{
    g_autoptr(JsonParser) parser = json_parser_new();
    if (!json_parser_load_from_data(parser, argument, -1, nullptr))
        return false;
    JsonNode *root = json_parser_get_root(parser);
    if (!root || !JSON_NODE_HOLDS_OBJECT(root))
        return false;
    g_autoptr(GList) names = json_object_get_members(json_node_get_object(root));
    for (GList *name = names; name; name = name->next)
        if (bios_key_is_password(static_cast<const char *>(name->data)))
            return true;
    return false;
}

int input_count(const GDBusMethodInfo *method)
{
    int count = 0;
    while (method->in_args && method->in_args[count])
        ++count;
    return count;
}

const CtlService *named_service(const CtlOptions &options, const char *name, int *status)
{
    const CtlService *found = ctl_service_find(name);
    if (!found)
        *status = ctl_usage_error(options, "unknown service \"%s\" (settings, bios, headset or thirdapps)", name);
    return found;
}

// The methods of the compiled interface description, for people and for completion.
int verb_methods(const CtlOptions &options, char **words, int)
{
    int status = 0;
    const CtlService *target = named_service(options, words[0], &status);
    if (!target)
        return status;
    g_autoptr(JsonArray) names = json_array_new();
    for (GDBusMethodInfo **method = target->info()->methods; method && *method; ++method) {
        json_array_add_string_element(names, (*method)->name);
        if (!options.json)
            puts((*method)->name);
    }
    if (options.json) {
        g_autoptr(JsonNode) root = json_node_init_array(json_node_alloc(), names);
        ctl_print_json(root);
    }
    return ctl_exit_success;
}

int verb_call(const CtlOptions &options, char **words, int count)
{
    int status = 0;
    const CtlService *target = named_service(options, words[0], &status);
    if (!target)
        return status;
    const char *name = words[1];
    const GDBusMethodInfo *method = g_dbus_interface_info_lookup_method(target->info(), name);
    if (!method)
        return ctl_usage_error(options, "%s has no method \"%s\"", target->bus_name, name);
    const int inputs = input_count(method);
    if (inputs > 1 || (inputs == 1 && strcmp(method->in_args[0]->signature, "s") != 0))
        return ctl_usage_error(options, "%s takes arguments corvoctl cannot pass", name);
    if (inputs == 0 && count == 3)
        return ctl_usage_error(options, "%s takes no argument", name);
    if (inputs == 1 && count == 2)
        return ctl_usage_error(options, "%s needs an argument (\"-\" reads it from standard input)", name);
    if (inputs == 0)
        return ctl_call(options, *target, name, nullptr, Render::raw);

    Secret input;
    const char *argument = words[2];
    if (strcmp(argument, "-") == 0) {
        g_autoptr(GError) error = nullptr;
        if (!read_stdin_text(&input, &error))
            return ctl_usage_error(options, "standard input: %s", error->message);
        argument = input.get();
    } else if (carries_password(argument)) {
        return ctl_usage_error(options, "a password is never taken from the command line; "
                                        "give the argument on standard input (\"-\")");
    }
    return ctl_call(options, *target, name, argument, Render::raw);
}

// A service is well when its name is owned and its owner answers.
int verb_status(const CtlOptions &options, char **, int)
{
    std::vector<CtlServiceState> states;
    BusError error;
    if (!ctl_bus_states(options.timeout_ms(), &states, &error))
        return ctl_bus_error(options, error);
    g_autoptr(JsonBuilder) builder = json_builder_new();
    json_builder_begin_object(builder);
    g_autoptr(GString) text = g_string_new(nullptr);
    bool all_well = true;
    for (size_t i = 0; i < states.size(); ++i) {
        const CtlService &each = ctl_services()[i];
        const CtlServiceState &state = states[i];
        const char *failure = state.failure.name.empty() ? nullptr : state.failure.name.c_str();
        const char *version = state.version.empty() ? nullptr : state.version.c_str();
        all_well = all_well && state.owned && !failure;
        const char *shown = "owned";
        if (!state.owned)
            shown = "not owned";
        else if (failure)
            shown = "not answering";
        g_string_append_printf(text, "%-10s %-20s %-13s %s\n", each.name, each.bus_name, shown,
                               failure ? failure : (version ? version : "-"));
        json_builder_set_member_name(builder, each.name);
        json_builder_begin_object(builder);
        json_builder_set_member_name(builder, "name");
        json_builder_add_string_value(builder, each.bus_name);
        json_builder_set_member_name(builder, "owned");
        json_builder_add_boolean_value(builder, state.owned);
        for (const auto &[member, value] : {std::pair{"version", version}, std::pair{"error", failure}}) {
            json_builder_set_member_name(builder, member);
            if (value)
                json_builder_add_string_value(builder, value);
            else
                json_builder_add_null_value(builder);
        }
        json_builder_end_object(builder);
    }
    json_builder_end_object(builder);
    if (options.json) {
        g_autoptr(JsonNode) root = json_builder_get_root(builder);
        ctl_print_json(root);
    } else {
        fputs(text->str, stdout);
    }
    return all_well ? ctl_exit_success : ctl_exit_failed;
}

// The options of `usb policy` and the members of UsbConfigure they set.
struct UsbMember {
    char *CtlOptions::*option;
    const char *member;
};
constexpr UsbMember usb_members[] = {
    {&CtlOptions::read_only, "EnableUDiskReadOnly"}, {&CtlOptions::white_vidpid, "USBWhiteListVIDPID"},
    {&CtlOptions::white_class, "USBWhiteListClass"}, {&CtlOptions::black_vidpid, "USBBlackListVIDPID"},
    {&CtlOptions::black_class, "USBBlackListClass"},
};

int verb_usb_policy(const CtlOptions &options, char **, int)
{
    if (options.read_only && strcmp(options.read_only, "yes") != 0 && strcmp(options.read_only, "no") != 0)
        return ctl_usage_error(options, "--read-only takes yes or no");
    Request request;
    for (const auto &row : usb_members)
        if (options.*row.option)
            request.set_text(row.member, options.*row.option);
    // An empty request would remove every list: that takes an explicit empty list.
    if (request.empty())
        return ctl_usage_error(options, "usb policy needs at least one option");
    return ctl_call(options, service("settings"), "UsbConfigure", request.text().get(), Render::result);
}

int verb_loader_set(const CtlOptions &options, char **words, int)
{
    const char *name = words[0];
    const char *value = words[1];
    gint64 number = 0;
    // The service cuts the text at its first "=".
    if (!*name || strchr(name, '='))
        return ctl_usage_error(options, "a tunable name is not empty and holds no \"=\"");
    if (!parse_integer(value, &number))
        return ctl_usage_error(options, "the value of %s is a decimal number", name);
    g_autofree char *text = g_strdup_printf("%s=%s", name, value);
    return ctl_call(options, service("settings"), "UpdateLoaderConf", text, Render::result);
}

int verb_camera_list(const CtlOptions &options, char **, int)
{
    return ctl_call(options, service("settings"), "GetCameraInfo", "", Render::camera_rows);
}

int verb_app(const CtlOptions &options, char **words, int)
{
    bool on = false;
    if (!parse_switch(words[1], &on))
        return ctl_usage_error(options, "%s: on or off, not \"%s\"", words[0], words[1]);
    Request request;
    request.set_text("name", words[0]);
    request.set_bool("status", on);
    return ctl_call(options, service("thirdapps"), "SetAppStatus", request.text().get(), Render::result);
}

struct HeadsetApp {
    const char *name;
    const char *enable_member;
    const char *config_member;
};
constexpr HeadsetApp headset_apps[] = {
    {"jabra", "jabraEnable", "jabraConfigFile"},
    {"epos", "eposEnable", "eposConfigFile"},
};

int verb_headset(const CtlOptions &options, char **words, int)
{
    const HeadsetApp *app = nullptr;
    for (const auto &row : headset_apps)
        if (strcmp(row.name, words[0]) == 0)
            app = &row;
    bool on = false;
    if (!app)
        return ctl_usage_error(options, "unknown headset application \"%s\" (jabra or epos)", words[0]);
    if (!parse_switch(words[1], &on))
        return ctl_usage_error(options, "%s: on or off, not \"%s\"", words[0], words[1]);
    Request request;
    request.set_int(app->enable_member, on ? 1 : 0);
    if (options.config_file) {
        // The service runs in its own working folder.
        g_autofree char *path = absolute_path(options.config_file);
        request.set_text(app->config_member, path);
    }
    return ctl_call(options, service("headset"), "SetHeadset", request.text().get(), Render::result);
}

constexpr VerbRow rows[] = {
    {"status", nullptr, "", 0, 0, 0, verb_status},
    {"call", nullptr, "SERVICE METHOD [ARGUMENT|-]", 0, 2, 3, verb_call},
    {"methods", nullptr, "SERVICE", 0, 1, 1, verb_methods},
    {"bios", "get", "[KEY...]", 0, 0, -1, verb_bios_get},
    {"bios", "set", "KEY=VALUE... [--password-file FILE] [--new-password-file FILE]", verb_password | verb_new_password,
     0, -1, verb_bios_set},
    {"bios", "extract", "FILE", 0, 1, 1, verb_bios_extract},
    {"bios", "restore", "FILE [--password-file FILE]", verb_password, 1, 1, verb_bios_restore},
    {"usb", "policy",
     "[--read-only yes|no] [--white-vidpid LIST] [--white-class LIST] [--black-vidpid LIST] [--black-class LIST]",
     verb_usb, 0, 0, verb_usb_policy},
    {"loader", "set", "NAME VALUE", 0, 2, 2, verb_loader_set},
    {"camera", "list", "", 0, 0, 0, verb_camera_list},
    {"show", nullptr, "[METHOD...]", 0, 0, -1, verb_settings_show},
    {"apply", nullptr, "FILE|- [--dry-run]", verb_dry_run, 1, 1, verb_settings_apply},
    {"app", nullptr, "NAME on|off", 0, 2, 2, verb_app},
    {"headset", nullptr, "jabra|epos on|off [--config FILE]", verb_config, 2, 2, verb_headset},
};

}  // namespace

std::span<const VerbRow> verb_rows()
{
    return rows;
}
