// GetSettings: what the terminal is set to, in the shape of the requests that set it. A
// setting with a line in the boot-loader or host sysctl file is read from that line (what the
// next boot applies); the others from the configuration store. Reading writes nothing, runs
// nothing and leaves no audit line.
#include <cstring>
#include <json-glib/json-glib.h>
#include <optional>
#include <string>
#include <vector>

#include "common/json_params.h"
#include "common/reply.h"
#include "peers/sysconf.h"
#include "services/settings/settings_handlers.h"
#include "services/settings/usb_red_string.h"
#include "services/settings/writers.h"

namespace {

enum class Source {
    loader_file,  // `name` is the boot-loader tunable
    sysctl_file,  // `name` is the host sysctl entry
    store,        // ("system", `name`, `key`)
    fixed,        // the text `name`, shown when another member of the method is
};

// How the text found becomes the member's value.
enum class Shape {
    text,              // as it stands
    bool_word,         // "true"/"false" -> true/false
    bool_digit,        // "1"/"0" -> true/false
    yes_no_digit,      // "1"/"0" -> "yes"/"no"
    true_false_digit,  // "1"/"0" -> "true"/"false"
};

struct SettingRow {
    const char *method;
    const char *member;  // "value" for methods whose parameter is the value itself
    Source source;
    const char *name;
    const char *key;
    Shape shape;
};

// Every readable setting, method by method in reply order. Sysctl's C-state and USB switch
// and the ASPM runtime switches live only in the running kernel, UpdateLoaderConf writes any
// name, and the camera format is the device's own: none of them is read here.
constexpr SettingRow setting_rows[] = {
    {"SetTerminal", "DisablePowerButton", Source::store, "termsetting", "dispowerbutton", Shape::text},
    {"SetTerminal", "DisableRestart", Source::store, "termsetting", "disrestart", Shape::text},
    {"ConfigBoardSerialPort", "BoardSerialPortEnable", Source::loader_file, "kern.ttyS.enablement", nullptr,
     Shape::bool_word},
    {"SetUsbUhidDriver", "uhid", Source::loader_file, "hw.usb.uhid_device_driver.uhid", nullptr, Shape::text},
    {"UsbConfigure", "EnableUDiskReadOnly", Source::store, "usbconfiguring", "udiskreadonly", Shape::text},
    {"UsbConfigure", "USBWhiteListVIDPID", Source::loader_file, "usb.whitelist.vidpid", nullptr, Shape::text},
    {"UsbConfigure", "USBWhiteListClass", Source::loader_file, "usb.whitelist.class", nullptr, Shape::text},
    {"UsbConfigure", "USBBlackListVIDPID", Source::loader_file, "usb.blacklist.vidpid", nullptr, Shape::text},
    {"UsbConfigure", "USBBlackListClass", Source::loader_file, "usb.blacklist.class", nullptr, Shape::text},
    {"VusbProperty", "usbRedirect", Source::loader_file, "usbRedirect", nullptr, Shape::bool_digit},
    {"VusbProperty", "excludePrinter", Source::loader_file, "excludePrinter", nullptr, Shape::bool_digit},
    {"VusbProperty", "excludeDisk", Source::loader_file, "excludeDisk", nullptr, Shape::bool_digit},
    {"VusbProperty", "excludeVideo", Source::loader_file, "excludeVideo", nullptr, Shape::bool_digit},
    {"VusbProperty", "excludeAudio", Source::loader_file, "excludeAudio", nullptr, Shape::bool_digit},
    {"Sysctl", "EnableUserCoreDump", Source::sysctl_file, "kern.coredump", nullptr, Shape::yes_no_digit},
    {"Sysctl", "EnableRe0ASPM", Source::loader_file, "hw.devpmostsave", nullptr, Shape::yes_no_digit},
    {"SysctlGeneric", "sysctl", Source::fixed, "v4l2_not_allowed", nullptr, Shape::text},
    {"SysctlGeneric", "boolkey", Source::sysctl_file, "hw.usb.v4l2.v4l2_not_allowed", nullptr, Shape::bool_digit},
    {"EEEConfigure", "value", Source::loader_file, "hw.re.eee_enable", nullptr, Shape::true_false_digit},
    {"GKeyConfigure", "value", Source::loader_file, "system_reset_key_enable", nullptr, Shape::true_false_digit},
    {"RKeyConfigure", "value", Source::loader_file, "system_recover_key_enable", nullptr, Shape::true_false_digit},
};

// UsbRedConfigure keeps two lists, each the request that made it: its value is a list of
// those requests, redirect list first (the order of the start-up restore).
struct RedListRow {
    const char *module;
    const char *key;
};
constexpr char red_method[] = "UsbRedConfigure";
constexpr RedListRow red_lists[] = {
    {"usbifredirect", "fre_interfacestring"},
    {"usbiflocal", "flo_interfacestring"},
};

// The two files, each read at most once a call, and the store's first failure: a store that
// does not answer is asked once a call, not once a key (each wait may take 25 s).
struct SourceCache {
    struct Entry {
        bool read = false;
        bool ok = false;
        std::string content;
        std::string why;
    };
    Entry loader, sysctl;
    std::string store_error;

    bool store_read(const char *module, const char *key, char **value, std::string *why)
    {
        *value = nullptr;
        if (store_error.empty()) {
            g_autoptr(GError) error = nullptr;
            if (sysconf_read_key("system", module, key, value, &error))
                return true;
            store_error = error->message;
        }
        *why = store_error;
        return false;
    }

    const Entry &get(Source source)
    {
        Entry &entry = source == Source::loader_file ? loader : sysctl;
        if (!entry.read) {
            entry.read = true;
            g_autoptr(GError) error = nullptr;
            entry.ok = kv_file_read(source == Source::loader_file ? loader_conf_file() : sysctl_conf_file(),
                                    &entry.content, &error);
            if (!entry.ok)
                entry.why = error->message;
        }
        return entry;
    }
};

// The text of a row now: false with `why` when its file or the store cannot be read.
bool row_text(const SettingRow &row, SourceCache &sources, std::optional<std::string> *text, std::string *why)
{
    *text = std::nullopt;
    if (row.source == Source::store) {
        g_autofree char *value = nullptr;
        if (!sources.store_read(row.name, row.key, &value, why))
            return false;
        if (value)
            *text = value;
        return true;
    }
    const SourceCache::Entry &file = sources.get(row.source);
    if (!file.ok) {
        *why = file.why;
        return false;
    }
    *text =
        kv_value(row.source == Source::loader_file ? loader_conf_file() : sysctl_conf_file(), file.content, row.name);
    return true;
}

// Adds the member for `text`; a text the shape has no value for is left out.
void add_member(JsonObject *object, const SettingRow &row, const std::string &text)
{
    const bool one = text == "1", zero = text == "0";
    switch (row.shape) {
    case Shape::text: json_object_set_string_member(object, row.member, text.c_str()); return;
    case Shape::bool_word:
        if (text == "true" || text == "false")
            json_object_set_boolean_member(object, row.member, text == "true");
        return;
    case Shape::bool_digit:
        if (one || zero)
            json_object_set_boolean_member(object, row.member, one);
        return;
    case Shape::yes_no_digit:
        if (one || zero)
            json_object_set_string_member(object, row.member, one ? "yes" : "no");
        return;
    case Shape::true_false_digit:
        if (one || zero)
            json_object_set_string_member(object, row.member, one ? "true" : "false");
        return;
    }
}

JsonNode *error_node(const std::string &why)
{
    g_autoptr(JsonObject) object = json_object_new();
    json_object_set_string_member(object, "error", why.c_str());
    return json_node_init_object(json_node_alloc(), object);
}

JsonNode *read_method(const char *method, SourceCache &sources)
{
    g_autoptr(JsonObject) object = json_object_new();
    const char *fixed_member = nullptr;
    const char *fixed_text = nullptr;
    for (const auto &row : setting_rows) {
        if (strcmp(row.method, method) != 0)
            continue;
        if (row.source == Source::fixed) {
            fixed_member = row.member;
            fixed_text = row.name;
            continue;
        }
        std::optional<std::string> text;
        std::string why;
        if (!row_text(row, sources, &text, &why))
            return error_node(why);
        if (text)
            add_member(object, row, *text);
    }
    if (fixed_member && json_object_get_size(object) > 0)
        json_object_set_string_member(object, fixed_member, fixed_text);
    return json_node_init_object(json_node_alloc(), object);
}

JsonNode *read_red_lists(SourceCache &sources)
{
    g_autoptr(JsonArray) lists = json_array_new();
    for (const auto &row : red_lists) {
        g_autofree char *stored = nullptr;
        std::string why;
        if (!sources.store_read(row.module, row.key, &stored, &why))
            return error_node(why);
        if (!stored)
            continue;
        const auto request = usb_red_request_of(stored);
        if (!request)
            return error_node(std::string("stored ") + row.module + "/" + row.key + " is not a redirection string");
        JsonObject *object = json_object_new();
        json_object_set_string_member(object, "usbifstring", request->ids.c_str());
        json_object_set_string_member(object, "usbredenable", request->redirect ? "yes" : "no");
        json_array_add_object_element(lists, object);
    }
    return json_node_init_array(json_node_alloc(), lists);
}

// Every readable method once, in reply order.
std::vector<const char *> readable_methods()
{
    std::vector<const char *> methods;
    for (const auto &row : setting_rows)
        if (methods.empty() || strcmp(methods.back(), row.method) != 0)
            methods.push_back(row.method);
    methods.push_back(red_method);
    return methods;
}

// The methods the parameter asks for: "" is all of them, else a JSON array of their names.
// False when it is neither or names a method that is not read here.
bool wanted_methods(const char *parameters, std::vector<const char *> *wanted)
{
    const std::vector<const char *> all = readable_methods();
    if (!parameters || !*parameters) {
        *wanted = all;
        return true;
    }
    JsonParams params(parameters);
    if (!params.root_is_array())
        return false;
    JsonArray *names = json_node_get_array(params.root());
    std::vector<bool> asked(all.size(), false);
    for (guint i = 0; i < json_array_get_length(names); ++i) {
        JsonNode *name = json_array_get_element(names, i);
        if (!JSON_NODE_HOLDS_VALUE(name) || json_node_get_value_type(name) != G_TYPE_STRING)
            return false;
        size_t at = 0;
        while (at < all.size() && g_strcmp0(all[at], json_node_get_string(name)) != 0)
            ++at;
        if (at == all.size())
            return false;
        asked[at] = true;
    }
    for (size_t i = 0; i < all.size(); ++i)
        if (asked[i])
            wanted->push_back(all[i]);
    return true;
}

}  // namespace

gboolean on_handle_get_settings(CorvoSettings *, GDBusMethodInvocation *invocation, const gchar *parameters)
{
    std::vector<const char *> methods;
    if (!wanted_methods(parameters, &methods))
        return complete_with_reply(invocation, reply_result("Fail"));

    SourceCache sources;
    g_autoptr(JsonObject) settings = json_object_new();
    for (const char *method : methods)
        json_object_set_member(
            settings, method, strcmp(method, red_method) == 0 ? read_red_lists(sources) : read_method(method, sources));
    g_autoptr(JsonNode) root = json_node_init_object(json_node_alloc(), settings);
    g_autofree char *reply = json_to_string(root, FALSE);
    return complete_with_reply(invocation, reply);
}
