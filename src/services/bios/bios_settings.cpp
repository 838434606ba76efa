#include "services/bios/bios_settings.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <glib.h>

#include "common/json_params.h"
#include "common/log.h"
#include "services/bios/bios_models.h"

namespace {

constexpr size_t TEXT_VALUE_SIZE = 1024;
constexpr size_t DAY_NAME_MAX = 63;
constexpr size_t DAY_LIST_SIZE = 64;
constexpr size_t TIME_SIZE = 64;
constexpr size_t HOUR_MINUTE_SIZE = 8;

constexpr const char *CURRENT_PASSWORD_MEMBER = "DeviceKORACMOSCurrentPassword";
constexpr const char *NEW_PASSWORD_MEMBER = "DeviceKORACMOSNewPassword";
constexpr const char *DAYS_MEMBER = "DeviceKORACMOSAutoPowerDays";
constexpr const char *TIME_MEMBER = "DeviceKORACMOSAutoPowerTime";
constexpr const char *HOUR_MEMBER = "DeviceKORACMOSAutoPowerHour";
constexpr const char *MINUTE_MEMBER = "DeviceKORACMOSAutoPowerMin";
constexpr const char *DOCK_WARNING_MEMBER = "DeviceKORACMOSSupressDockWarnMsg";
constexpr const char *DOCK_WARNING_MODEL = "Vantor 70";

constexpr const char *day_names[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};

// Which models a member is read for; the others ignore it.
struct ModelSet {
    const char *const *models;
    size_t count;  // 0: every model
};

constexpr ModelSet ALL_MODELS = {nullptr, 0};
constexpr const char *mac_pass_models[] = {"K30MTC", "Lumen 81", "Lumen 82", "Lumen 83", "Lumen 84"};
constexpr const char *deep_sleep_models[] = {"Vantor 70", "K40AIO", "K50AIO", "K30AIO", "K10", "K10X", "K60AIO"};
constexpr const char *aio_models[] = {"K30AIO", "K40AIO", "K50AIO", "K60AIO"};
constexpr const char *side_port_models[] = {"K50AIO", "K60AIO"};

template <size_t N>
constexpr ModelSet models(const char *const (&list)[N])
{
    return {list, N};
}

bool model_reads(const ModelSet &set)
{
    return set.count == 0 || bios_model_in(set.models, set.count);
}

// In the order of BiosTextSetting. Fast boot is read on every model but "K60AIO".
constexpr ModelSet text_models[BIOS_TEXT_COUNT] = {
    ALL_MODELS, ALL_MODELS, ALL_MODELS, models(mac_pass_models), models(deep_sleep_models),
    ALL_MODELS, ALL_MODELS, ALL_MODELS,
};
constexpr const char *FASTBOOT_EXCLUDED_MODEL = "K60AIO";

bool text_read_for_model(size_t setting)
{
    if (setting == BIOS_TEXT_FASTBOOT && bios_model_is(FASTBOOT_EXCLUDED_MODEL))
        return false;
    return model_reads(text_models[setting]);
}

// The twelve first switches are read on every model, the next seven on the all-in-ones, the
// last on the all-in-ones with a side port.
const ModelSet &switch_models(size_t index)
{
    static constexpr ModelSet all = ALL_MODELS;
    static constexpr ModelSet aio = models(aio_models);
    static constexpr ModelSet side = models(side_port_models);
    return index < 12 ? all : index < 19 ? aio : side;
}

int day_bit(const char *name)
{
    for (int bit = 0; bit < 7; ++bit)
        if (g_ascii_strcasecmp(name, day_names[bit]) == 0)
            return bit;
    return -1;
}

void log_skipped(const char *member, const char *why)
{
    wlog('D', log_tag::bios, "%s skipped: %s\n", member, why);
}

bool holds(JsonNode *node, GType type)
{
    return node && JSON_NODE_HOLDS_VALUE(node) && json_node_get_value_type(node) == type;
}

// What an extract file holds for a setting it could not read: "err", or a read error such as
// "get power err". Writing it back would switch the setting to whatever that text reads as.
bool is_failure_marker(const char *text)
{
    return g_str_equal(text, "err") || g_str_has_suffix(text, " err");
}

// Reads an integer member into `slot` when it is a number; any other value is skipped.
void read_number_member(const JsonParams &params, const char *member, int *slot)
{
    JsonNode *node = params.member(member);
    if (!node)
        return;
    if (!params.holds_number(member)) {
        log_skipped(member, holds(node, G_TYPE_STRING) && is_failure_marker(json_node_get_string(node))
                                ? "not read when extracted"
                                : "not a number");
        return;
    }
    *slot = *params.get_int(member);
}

// Day names go through a short list text, as the caller's days have always been taken: names
// are cut to 63 characters, and names that no longer fit the list are dropped.
void read_days(const JsonParams &params, bool restore_mode, BiosSettings *settings)
{
    JsonNode *node = params.member(DAYS_MEMBER);
    if (!node)
        return;
    if (!JSON_NODE_HOLDS_ARRAY(node)) {
        // An extract that could not read the days says "err": the days stay as they are.
        log_skipped(DAYS_MEMBER, holds(node, G_TYPE_STRING) && is_failure_marker(json_node_get_string(node))
                                     ? "not read when extracted"
                                     : "not a list");
        return;
    }
    JsonArray *array = json_node_get_array(node);
    std::string list;
    for (guint i = 0; i < json_array_get_length(array); ++i) {
        JsonNode *element = json_array_get_element(array, i);
        if (!holds(element, G_TYPE_STRING)) {
            wlog('D', log_tag::bios, "JSON: err:%s\n", "the day is not a string");
            continue;
        }
        std::string name = json_node_get_string(element);
        if (name.size() > DAY_NAME_MAX) {
            log_truncated("bios", 2, name);
            name.resize(DAY_NAME_MAX);
        }
        if (list.size() + name.size() + 1 < DAY_LIST_SIZE)
            list += name + ",";
    }
    // An extract file always carries the whole selection, so an empty one there means no day.
    if (list.empty() && !restore_mode)
        return;
    int mask = 0;
    g_auto(GStrv) pieces = g_strsplit(list.c_str(), ",", -1);
    for (char **piece = pieces; *piece; ++piece) {
        const int bit = day_bit(*piece);
        if (bit >= 0)
            mask |= 1 << bit;
    }
    settings->schedule.days = mask;
}

// An hour or minute member of an extract file; false when it holds no usable number (the
// extract writes "-1" for a time it could not read).
bool read_extract_time(const JsonParams &params, const char *member, std::optional<int> *slot)
{
    char text[HOUR_MINUTE_SIZE] = {};
    JsonNode *node = params.member(member);
    if (!node)
        return true;
    if (!holds(node, G_TYPE_STRING))
        return false;
    params.copy_string(member, text, sizeof text);
    if (!text[0])
        return true;
    const int value = bios_settings_number(text);
    if (value < 0)
        return false;
    *slot = value;
    return true;
}

void read_time(const JsonParams &params, bool restore_mode, BiosSettings *settings)
{
    if (restore_mode) {
        const bool hour_ok = read_extract_time(params, HOUR_MEMBER, &settings->schedule.hour);
        const bool minute_ok = read_extract_time(params, MINUTE_MEMBER, &settings->schedule.minute);
        if (!hour_ok || !minute_ok) {
            // Mode, time and days go together: without the time none of them is written.
            log_skipped("DeviceKORACMOSAutoPower", "time not read when extracted");
            settings->texts[BIOS_TEXT_AUTO_POWER].clear();
            settings->schedule = {};
        }
        return;
    }
    char time[TIME_SIZE] = {};
    params.copy_string(TIME_MEMBER, time, sizeof time);
    if (!time[0])
        return;
    const char *colon = strchr(time, ':');
    if (!colon) {
        settings->time_error = true;
        return;
    }
    settings->schedule.hour = bios_settings_number(time);
    settings->schedule.minute = bios_settings_number(colon + 1);
}

void read_text(const JsonParams &params, const char *member, std::string *value)
{
    JsonNode *node = params.member(member);
    if (!node)
        return;
    if (!holds(node, G_TYPE_STRING)) {
        log_skipped(member, "not a text");
        return;
    }
    char text[TEXT_VALUE_SIZE] = {};
    params.copy_string(member, text, sizeof text);
    if (is_failure_marker(text)) {
        log_skipped(member, "not read when extracted");
        return;
    }
    *value = text;
}

}  // namespace

int bios_settings_number(const char *text)
{
    const long value = strtol(text, nullptr, 10);
    if (value > INT_MAX)
        return INT_MAX;
    if (value < INT_MIN)
        return INT_MIN;
    return static_cast<int>(value);
}

BiosSettings::~BiosSettings()
{
    explicit_bzero(current_password, sizeof current_password);
    explicit_bzero(new_password, sizeof new_password);
}

bool bios_password_member(const JsonParams &params, const char *member, char *buffer, size_t size)
{
    JsonNode *node = params.member(member);
    if (!holds(node, G_TYPE_STRING))
        return true;
    const char *text = json_node_get_string(node);
    // A cut password is another password: refused whole, and never shown in the log.
    if (strlen(text) >= size) {
        wlog('D', log_tag::bios, "%s too long, refused\n", member);
        return false;
    }
    g_strlcpy(buffer, text, size);
    return true;
}

void bios_settings_read(const char *text, bool restore_mode, BiosSettings *settings)
{
    const JsonParams params(text);
    if (!params.root_is_object())
        return;
    settings->parsed = true;
    const bool passwords_fit =
        bios_password_member(params, CURRENT_PASSWORD_MEMBER, settings->current_password,
                             sizeof settings->current_password) &&
        bios_password_member(params, NEW_PASSWORD_MEMBER, settings->new_password, sizeof settings->new_password);
    settings->password_too_long = !passwords_fit;
    params.scrub_string(CURRENT_PASSWORD_MEMBER);
    params.scrub_string(NEW_PASSWORD_MEMBER);

    for (size_t i = 0; i < BIOS_TEXT_COUNT; ++i)
        if (text_read_for_model(i))
            read_text(params, bios_text_member(static_cast<BiosTextSetting>(i)), &settings->texts[i]);
    read_days(params, restore_mode, settings);
    read_time(params, restore_mode, settings);

    if (bios_model_is(DOCK_WARNING_MODEL)) {
        read_number_member(params, DOCK_WARNING_MEMBER, &settings->dock_warning);
        wlog('D', log_tag::bios, "GET_INT_BOOLEAN_MEMBER(%s) = %d\n", DOCK_WARNING_MEMBER, settings->dock_warning);
    }
    for (size_t i = 0; i < BIOS_SWITCH_COUNT; ++i)
        if (model_reads(switch_models(i)))
            read_number_member(params, bios_switch_member(i), &settings->switches[i]);
}
