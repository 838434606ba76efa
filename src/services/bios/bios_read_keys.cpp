#include "services/bios/bios_read_keys.h"

#include <cstdarg>
#include <cstring>
#include <glib.h>

#include "common/json_params.h"
#include "common/log.h"
#include "common/reply.h"
#include "services/bios/bios_access.h"
#include "services/bios/bios_models.h"
#include "services/bios/bios_primitives.h"
#include "services/bios/smi_transport.h"

namespace {

// Escaped key and value must always fit a getter's fragment, or the member would be cut.
static_assert(bios_fragment_size > bios_key_max * 6 + 16 * 6 + 8, "fragment room for escaped members");

constexpr const char *key_prefix = "DeviceKORACMOS";
constexpr const char *hour_key = "DeviceKORACMOSAutoPowerHour";
constexpr const char *minute_key = "DeviceKORACMOSAutoPowerMin";
constexpr const char *days_key = "DeviceKORACMOSAutoPowerDays";

struct KeyContext {
    BiosReadForm form;
    const char *key;          // as received, cut to bios_key_max
    std::string escaped_key;  // the key as it goes into the message
    std::string fragment;     // members to append, each ending with a comma
    int *read_status;
    bool unknown = false;  // ends the reading
};

using FragmentGetterFn = int (*)(const char *key, char *fragment);

struct ReadRow;
using RowReader = void (*)(const ReadRow &row, KeyContext &ctx);

struct ReadRow {
    const char *key;
    bool whole;  // the whole key must match; otherwise its beginning
    RowReader read;
    FragmentGetterFn getter;
    const char *fail_log;
    bool get_only;  // ExtBios treats the key as unknown
};

bool extract_form(const KeyContext &ctx)
{
    return ctx.form != BiosReadForm::get;
}

void append_member(std::string &fragment, const char *format, ...) G_GNUC_PRINTF(2, 3);

void append_member(std::string &fragment, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    g_autofree char *text = g_strdup_vprintf(format, args);
    va_end(args);
    fragment += text;
}

void read_with_getter(const ReadRow &row, KeyContext &ctx)
{
    char fragment[bios_fragment_size] = {};
    if (row.getter(ctx.escaped_key.c_str(), fragment) < 0)
        wlog('D', log_tag::bios, "%s", row.fail_log);
    ctx.fragment = fragment;
    *ctx.read_status = 1;
}

void read_deep_sleep(const ReadRow &row, KeyContext &ctx)
{
    if (bios_model_matches(deep_sleep_models)) {
        read_with_getter(row, ctx);
        return;
    }
    *ctx.read_status = 1;
}

// Auto-power group -------------------------------------------------------------------------

struct AutoPowerMode {
    const char *number;  // GetBios
    const char *word;    // ExtBios, the word SetBios takes
};
constexpr AutoPowerMode mode_off = {"1", "Disable"};
constexpr AutoPowerMode mode_daily = {"2", "Daily"};
constexpr AutoPowerMode mode_workday = {"3", "Workday"};
constexpr AutoPowerMode mode_days = {"4", "Days"};

constexpr const char *get_day_names[] = {"autoonSunday",   "autoonMonday", "autoonTuesday", "autoonWednesday",
                                         "autoonThursday", "autoonFriday", "autoonSaturday"};
constexpr const char *extract_day_names[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                             "Thursday", "Friday", "Saturday"};

void append_mode(KeyContext &ctx, const AutoPowerMode &mode)
{
    append_member(ctx.fragment, "\"%s\": \"%s\",", ctx.escaped_key.c_str(),
                  extract_form(ctx) ? mode.word : mode.number);
}

void append_time(KeyContext &ctx)
{
    const int hour = bios_get_auto_on_hour();
    const int minute = bios_get_auto_on_minute();
    g_autofree char *text = g_strdup_printf("\"%s\": \"%d\",\"%s\": \"%d\",", hour_key, hour, minute_key, minute);
    ctx.fragment += text;
}

// A failed day read shows as "err", never as a made-up selection.
void append_days(KeyContext &ctx, int mask)
{
    if (ctx.form == BiosReadForm::extract_file) {
        if (mask < 0) {
            append_member(ctx.fragment, "\"%s\": \"err\",", days_key);
            return;
        }
        std::string days;
        for (int bit = 0; bit < 7; ++bit) {
            if (mask & (1 << bit)) {
                days += days.empty() ? "" : ", ";
                days += '"';
                days += extract_day_names[bit];
                days += '"';
            }
        }
        append_member(ctx.fragment, "\"%s\": [%s],", days_key, days.c_str());
        return;
    }
    for (int bit = 0; bit < 7; ++bit) {
        const char *value = mask < 0 ? "err" : (mask & (1 << bit)) ? "Yes" : "No";
        append_member(ctx.fragment, "\"%s\":\"%s\",", get_day_names[bit], value);
    }
}

void read_auto_power(const ReadRow &, KeyContext &ctx)
{
    *ctx.read_status = 1;
    const int off = bios_get_auto_on_off();
    if (off < 0) {
        append_member(ctx.fragment, "\"%s\": \"get off err\",", ctx.escaped_key.c_str());
        wlog('D', log_tag::bios, "get power err\n");
        return;
    }
    if (off == 0) {
        append_mode(ctx, mode_off);
        return;
    }
    const int everyday = bios_get_auto_on_everyday();
    if (everyday < 0) {
        append_member(ctx.fragment, "\"%s\": \"get day err\",", ctx.escaped_key.c_str());
        wlog('D', log_tag::bios, "get power err\n");
        return;
    }
    if (everyday == 1) {
        append_mode(ctx, mode_daily);
        append_time(ctx);
        return;
    }
    const int weekdays = bios_get_auto_on_weekdays();
    if (weekdays < 0) {
        append_member(ctx.fragment, "\"%s\": \"get work err\",", ctx.escaped_key.c_str());
        wlog('D', log_tag::bios, "get power err\n");
        return;
    }
    if (weekdays == 2) {
        append_mode(ctx, mode_workday);
        append_time(ctx);
        return;
    }
    append_mode(ctx, mode_days);
    append_time(ctx);
    append_days(ctx, bios_get_auto_on_days());
}

// Read by name ------------------------------------------------------------------------------

// In an extract file a switch is the value SetBios needs to bring the setting back. For most
// settings that is 1 for any nonzero reading; two settings are read differently from how
// SetBios writes them: the OSD setting reads 0 after SetBios wrote it with 1, and PXE boot
// holds 2 when on and 1 when off.
struct ExtractOnValue {
    const char *name;
    uint32_t on_value;
};
constexpr ExtractOnValue extract_on_values[] = {{"OSDConfigure", 0}, {"PXEBootSupport", 2}};

int extract_switch_value(const char *name, uint32_t value)
{
    for (const auto &row : extract_on_values)
        if (g_ascii_strcasecmp(row.name, name) == 0)
            return value == row.on_value ? 1 : 0;
    return value != 0 ? 1 : 0;
}

void read_by_name(const ReadRow &, KeyContext &ctx)
{
    const char *name = ctx.key + strlen(key_prefix);
    *ctx.read_status = 0;
    uint32_t value = 0;
    if (bios_read_token_by_name(name, &value) != 0) {
        append_member(ctx.fragment, "\"%s\":\"err\",", ctx.escaped_key.c_str());
        return;
    }
    *ctx.read_status = 1;
    if (extract_form(ctx)) {
        append_member(ctx.fragment, extract_switch_value(name, value) ? "\"%s\": 1," : "\"%s\": 0,",
                      ctx.escaped_key.c_str());
        return;
    }
    append_member(ctx.fragment, "\"%s\":\"%s\",", ctx.escaped_key.c_str(), value == 0 ? "No" : "Yes");
}

void read_reboot_marker(const ReadRow &, KeyContext &ctx)
{
    append_member(ctx.fragment, bios_change_reboot_flag == bios_reboot_needed ? "\"%s\":1," : "\"%s\":0,",
                  ctx.escaped_key.c_str());
    *ctx.read_status = 1;
}

void read_unknown(const ReadRow &, KeyContext &ctx)
{
    wlog('D', log_tag::bios, "not found Kora cmos flag\n");
    ctx.unknown = true;
}

// Tried in order; the first row whose key test passes reads the key.
constexpr ReadRow read_rows[] = {
    {"DeviceKORACMOSEnablePassword", true, read_with_getter, bios_get_admin_password_state, "get pass err\n", false},
    {"DeviceKORACMOSAssettag", true, read_with_getter, bios_get_asset_tag, "get power err\n", false},
    {"DeviceKORACMOSAut", false, read_auto_power, nullptr, nullptr, false},
    {"DeviceKORACMOSACRe", false, read_with_getter, bios_get_ac_recovery, "get ac  err\n", false},
    {"DeviceKORACMOSWakeOnLa", false, read_with_getter, bios_get_wake_on_lan, "get lan err\n", false},
    {"DeviceKORACMOSMACPASSC", false, read_with_getter, bios_get_mac_passthrough, "get mac err\n", false},
    {"DeviceKORACMOSDeepSleep", false, read_deep_sleep, bios_get_deep_sleep, "get deepsleep state err\n", false},
    {"DeviceKORACMOSKeyboardErrorDetection", false, read_with_getter, bios_get_keyboard_error_reporting,
     "SMBIOS: Get Keyboard Error state error\n", false},
    {"DeviceKORACMOSFastboot", false, read_with_getter, bios_get_fastboot, "SMBIOS: Get Fastboot state error\n", false},
    {"DeviceKORACMOSExtendedBIOSPostTime", false, read_with_getter, bios_get_extended_post_time,
     "SMBIOS: Get Extend Post Time state error\n", false},
    {"DeviceKORACMOS", false, read_by_name, nullptr, nullptr, false},
    {"BiosChangeRebo", false, read_reboot_marker, nullptr, nullptr, true},
};
constexpr ReadRow unknown_row = {"", false, read_unknown, nullptr, nullptr, false};

const ReadRow &find_row(const char *key, BiosReadForm form)
{
    for (const auto &row : read_rows) {
        const bool match = row.whole ? strcmp(key, row.key) == 0 : strncmp(key, row.key, strlen(row.key)) == 0;
        if (match)
            return (row.get_only && form != BiosReadForm::get) ? unknown_row : row;
    }
    return unknown_row;
}

// The key cut to bios_key_max bytes; the cut is logged as each method logs it.
std::string cut_key(const char *element, BiosReadForm form)
{
    const size_t length = strlen(element);
    if (length <= bios_key_max)
        return element;
    if (form == BiosReadForm::get)
        wlog('D', log_tag::bios, "value is truncated");
    else
        log_truncated("bios", 1, element);
    return std::string(element, bios_key_max);
}

bool is_string(JsonNode *node)
{
    return JSON_NODE_HOLDS_VALUE(node) && json_node_get_value_type(node) == G_TYPE_STRING;
}

// Reads the elements in order until one ends the reading. The message keeps the room it has.
void read_elements(JsonArray *array, BiosReadForm form, BiosReadResult &result)
{
    const guint count = json_array_get_length(array);
    for (guint i = 0; i < count; ++i) {
        JsonNode *element = json_array_get_element(array, i);
        if (!is_string(element)) {
            wlog('D', log_tag::bios, "get pass err\n");
            return;
        }
        const std::string key = cut_key(json_node_get_string(element), form);
        KeyContext ctx{form, key.c_str(), json_escape(key), {}, &result.read_status};
        const ReadRow &row = find_row(ctx.key, form);
        row.read(row, ctx);
        if (ctx.unknown) {
            result.read_status = 1;
            return;
        }
        if (ctx.fragment.size() > bios_message_max - result.message.size()) {
            wlog('D', log_tag::bios, "space is not long enough %s\n", ctx.fragment.c_str());
            return;
        }
        result.message += ctx.fragment;
    }
}

}  // namespace

BiosReadResult bios_read_keys(const char *key_list, BiosReadForm form)
{
    BiosReadResult result;
    result.message += '{';
    const JsonParams params(key_list);
    if (params.root_is_array()) {
        JsonArray *array = json_node_get_array(params.root());
        if (json_array_get_length(array) > 0)
            read_elements(array, form, result);
    }
    if (result.message.back() == ',')
        result.message.pop_back();
    result.message += '}';
    return result;
}
