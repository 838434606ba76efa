#include "services/bios/bios_settings.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <glib.h>

#include "common/json_params.h"
#include "common/log.h"
#include "services/bios/bios_models.h"

namespace {

// A decimal number as the time members hold it: leading blanks and a sign allowed, reading
// stops at the first other character, no digits gives 0.
int time_number(const char *text)
{
    const long value = strtol(text, nullptr, 10);
    if (value > INT_MAX)
        return INT_MAX;
    if (value < INT_MIN)
        return INT_MIN;
    return static_cast<int>(value);
}

constexpr size_t text_value_size = 1024;
constexpr size_t day_name_max = 63;
constexpr size_t day_list_size = 64;
constexpr size_t time_size = 64;
constexpr size_t hour_minute_size = 8;

constexpr const char *current_password_member = "DeviceKORACMOSCurrentPassword";
constexpr const char *new_password_member = "DeviceKORACMOSNewPassword";
constexpr int switch_not_given = 165;

int day_bit(const char *name)
{
    for (int bit = 0; bit < 7; ++bit)
        if (g_ascii_strcasecmp(name, bios_day_names[bit]) == 0)
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

bool holds_failure_marker(JsonNode *node)
{
    return holds(node, G_TYPE_STRING) && is_failure_marker(json_node_get_string(node));
}

// Reads an integer member when it is a number; any other value is skipped.
std::optional<int> read_number(const JsonParams &params, const char *member)
{
    JsonNode *node = params.member(member);
    if (node && !params.holds_number(member)) {
        log_skipped(member, holds_failure_marker(node) ? "not read when extracted" : "not a number");
        return std::nullopt;
    }
    return node ? params.get_int(member) : std::nullopt;
}

// Mode, time and days go together: an extract that could not read the time or the days
// restores none of them, and the stored schedule stays as it is.
void skip_auto_power(BiosSettings *settings)
{
    log_skipped("DeviceKORACMOSAutoPower", "time or days not read when extracted");
    settings->auto_power_unread = true;
}

// Day names go through a short list text, as the caller's days have always been taken: names
// are cut to 63 characters, and names that no longer fit the list are dropped.
void read_days(const JsonParams &params, bool restore_mode, BiosSettings *settings)
{
    JsonNode *node = params.member(bios_member::days);
    if (!node)
        return;
    if (!JSON_NODE_HOLDS_ARRAY(node)) {
        const bool unread = holds_failure_marker(node);
        log_skipped(bios_member::days, unread ? "not read when extracted" : "not a list");
        // An extract that could not read the days says "err": mode, time and days stay as they are.
        if (unread && restore_mode)
            skip_auto_power(settings);
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
        if (name.size() > day_name_max) {
            log_truncated("bios", 2, name);
            name.resize(day_name_max);
        }
        if (list.size() + name.size() + 1 < day_list_size)
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
    char text[hour_minute_size] = {};
    JsonNode *node = params.member(member);
    if (!node)
        return true;
    if (!holds(node, G_TYPE_STRING))
        return false;
    params.copy_string(member, text, sizeof text);
    if (!text[0])
        return true;
    const int value = time_number(text);
    if (value < 0)
        return false;
    *slot = value;
    return true;
}

void read_time(const JsonParams &params, bool restore_mode, BiosSettings *settings)
{
    if (restore_mode) {
        const bool hour_ok = read_extract_time(params, bios_member::hour, &settings->schedule.hour);
        const bool minute_ok = read_extract_time(params, bios_member::minute, &settings->schedule.minute);
        if (!hour_ok || !minute_ok)
            skip_auto_power(settings);
        return;
    }
    char time[time_size] = {};
    params.copy_string(bios_member::time, time, sizeof time);
    if (!time[0])
        return;
    const char *colon = strchr(time, ':');
    if (!colon) {
        settings->time_error = true;
        return;
    }
    settings->schedule.hour = time_number(time);
    settings->schedule.minute = time_number(colon + 1);
}

std::optional<std::string> read_text(const JsonParams &params, const char *member)
{
    JsonNode *node = params.member(member);
    if (!node)
        return std::nullopt;
    if (!holds(node, G_TYPE_STRING)) {
        log_skipped(member, "not a text");
        return std::nullopt;
    }
    char text[text_value_size] = {};
    params.copy_string(member, text, sizeof text);
    if (is_failure_marker(text)) {
        log_skipped(member, "not read when extracted");
        return std::nullopt;
    }
    return text[0] ? std::optional<std::string>(text) : std::nullopt;
}

bool is_text(const BiosSetting &row)
{
    return row.write == BiosWrite::words || row.write == BiosWrite::auto_power;
}

// The member of `row` in `settings`, when the model takes it.
void read_setting(const JsonParams &params, const BiosSetting &row, size_t index, BiosSettings *settings)
{
    const std::string member = std::string(bios_key_prefix) + row.suffix;
    if (is_text(row)) {
        settings->texts[index] = read_text(params, member.c_str());
        return;
    }
    std::optional<int> &number = settings->numbers[index] = read_number(params, member.c_str());
    if (row.write == BiosWrite::dock_warning)
        wlog('D', log_tag::bios, "GET_INT_BOOLEAN_MEMBER(%s) = %d\n", member.c_str(), number.value_or(-1));
    else if (number == switch_not_given)
        number.reset();
}

}  // namespace

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

void bios_settings_read(const JsonParams &params, bool restore_mode, const char *model, BiosSettings *settings)
{
    if (!params.root_is_object())
        return;
    settings->parsed = true;
    const bool passwords_fit =
        bios_password_member(params, current_password_member, settings->current_password,
                             sizeof settings->current_password) &&
        bios_password_member(params, new_password_member, settings->new_password, sizeof settings->new_password);
    settings->password_too_long = !passwords_fit;
    params.scrub_string(current_password_member);
    params.scrub_string(new_password_member);

    // Texts first, then the schedule, then the numbers, as the log has always shown them.
    for (const bool texts : {true, false}) {
        for (size_t i = 0; i < bios_setting_count; ++i) {
            const BiosSetting &row = bios_setting(i);
            if (row.write != BiosWrite::none && is_text(row) == texts && bios_model_in(model, row.models))
                read_setting(params, row, i, settings);
        }
        if (!texts)
            continue;
        read_days(params, restore_mode, settings);
        read_time(params, restore_mode, settings);
    }
    if (settings->auto_power_unread) {
        for (size_t i = 0; i < bios_setting_count; ++i)
            if (bios_setting(i).write == BiosWrite::auto_power)
                settings->texts[i].reset();
        settings->schedule = {};
    }
}
