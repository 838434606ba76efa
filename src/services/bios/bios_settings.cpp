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

// Day names go through a short list text, as the caller's days have always been taken: names
// are cut to 63 characters, and names that no longer fit the list are dropped.
void read_days(JsonObject *object, bool restore_mode, BiosSettings *settings)
{
    JsonNode *node = json_object_get_member(object, DAYS_MEMBER);
    if (!node || !JSON_NODE_HOLDS_ARRAY(node))
        return;
    JsonArray *array = json_node_get_array(node);
    std::string list;
    for (guint i = 0; i < json_array_get_length(array); ++i) {
        JsonNode *element = json_array_get_element(array, i);
        if (!JSON_NODE_HOLDS_VALUE(element) || json_node_get_value_type(element) != G_TYPE_STRING) {
            _wlog('D', "bios", "JSON: err:%s\n", "the day is not a string");
            continue;
        }
        std::string name = json_node_get_string(element);
        if (name.size() > DAY_NAME_MAX) {
            _wlog('D', "settings", "file[%s] line[%d]: %s length error, truncated!\n", "bios", 2, name.c_str());
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
    settings->days_mask = mask;
}

void read_time(const JsonParams &params, bool restore_mode, BiosSettings *settings)
{
    if (restore_mode) {
        char hour[HOUR_MINUTE_SIZE] = {};
        char minute[HOUR_MINUTE_SIZE] = {};
        params.copy_string(HOUR_MEMBER, hour, sizeof hour);
        params.copy_string(MINUTE_MEMBER, minute, sizeof minute);
        if (hour[0]) {
            settings->hour_given = true;
            settings->hour = bios_settings_number(hour);
        }
        if (minute[0]) {
            settings->minute_given = true;
            settings->minute = bios_settings_number(minute);
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
    settings->hour_given = settings->minute_given = true;
    settings->hour = bios_settings_number(time);
    settings->minute = bios_settings_number(colon + 1);
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

void bios_settings_read(const char *text, bool restore_mode, BiosSettings *settings)
{
    const JsonParams params(text);
    if (!params.root_is_object())
        return;
    settings->parsed = true;
    params.copy_string("DeviceKORACMOSCurrentPassword", settings->current_password,
                       sizeof settings->current_password);
    params.copy_string("DeviceKORACMOSNewPassword", settings->new_password, sizeof settings->new_password);
    read_days(json_node_get_object(params.root()), restore_mode, settings);
    read_time(params, restore_mode, settings);

    for (size_t i = 0; i < BIOS_TEXT_COUNT; ++i) {
        if (!text_read_for_model(i))
            continue;
        char value[TEXT_VALUE_SIZE] = {};
        params.copy_string(bios_text_member(static_cast<BiosTextSetting>(i)), value, sizeof value);
        settings->texts[i] = value;
    }
    if (bios_model_is(DOCK_WARNING_MODEL)) {
        params.get_int(DOCK_WARNING_MEMBER, &settings->dock_warning);
        _wlog('D', "bios", "GET_INT_BOOLEAN_MEMBER(%s) = %d\n", DOCK_WARNING_MEMBER, settings->dock_warning);
    }
    for (size_t i = 0; i < BIOS_SWITCH_COUNT; ++i)
        if (model_reads(switch_models(i)))
            params.get_int(bios_switch_member(i), &settings->switches[i]);
}
