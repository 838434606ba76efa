#include "services/bios/bios_read_keys.h"

#include <cstdarg>
#include <cstring>
#include <glib.h>

#include "common/json_params.h"
#include "common/log.h"
#include "common/reply.h"
#include "services/bios/bios_access.h"
#include "services/bios/bios_catalogue.h"
#include "services/bios/bios_primitives.h"
#include "services/bios/smi_transport.h"

namespace {

constexpr const char *reboot_marker_key = "BiosChangeRebo";

struct KeyContext {
    BiosReadForm form;
    const BiosState &state;
    const char *key;          // as received, cut to bios_key_max
    std::string escaped_key;  // the key as it goes into the message
    std::string fragment;     // members to append, each ending with a comma
    int *read_status;
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

// Word rows -------------------------------------------------------------------------------

// One token read shown as the row's word for the value; the row says what a failure and a
// value without a word show.
int read_words(const BiosSetting &row, const char *key, std::string *fragment)
{
    const BiosWordRead &how = row.word_read;
    const SmiAnswer answer = smi_token_read(row.token);
    if (!answer.ok()) {
        if (how.fail_status)
            wlog('D', log_tag::bios, "%s %d\n", how.fail_log, static_cast<int>(answer.status()));
        else
            wlog('D', log_tag::bios, "%s\n", how.fail_log);
        if (how.fail_value)
            bios_append_member(fragment, key, how.fail_value);
        return -1;
    }
    for (size_t i = 0; i < row.words.count; ++i) {
        const BiosWord &word = row.words.items[i];
        if (!word.write_only && word.value == answer.value()) {
            bios_append_member(fragment, key, word.word);
            return 0;
        }
    }
    if (how.other)
        bios_append_member(fragment, key, how.other);
    return how.other_result;
}

void read_with_getter(const BiosSetting &row, KeyContext &ctx)
{
    *ctx.read_status = 1;
    if (row.read_on_models_only && !bios_model_in(ctx.state.model, row.models))
        return;
    const char *key = ctx.escaped_key.c_str();
    const int read = row.read == BiosRead::password_state ? bios_get_admin_password_state(key, &ctx.fragment)
                     : row.read == BiosRead::asset_tag    ? bios_get_asset_tag(key, &ctx.fragment)
                                                          : read_words(row, key, &ctx.fragment);
    if (read < 0)
        wlog('D', log_tag::bios, "%s", row.word_read.key_fail_log);
}

// Auto-power group -------------------------------------------------------------------------

// The mode reads in order: a failed one ends the group with its text, one that reads its
// value chooses the mode of its position (the auto-power word of that value). After them:
// chosen days.
struct ModeRead {
    BiosAutoOn read;
    int chosen;
    const char *fail_value;
};
constexpr ModeRead mode_reads[] = {
    {BiosAutoOn::off, 0, "get off err"},
    {BiosAutoOn::everyday, 1, "get day err"},
    {BiosAutoOn::weekdays, 2, "get work err"},
};
constexpr size_t mode_days = G_N_ELEMENTS(mode_reads);

constexpr const char *get_day_names[] = {"autoonSunday",   "autoonMonday", "autoonTuesday", "autoonWednesday",
                                         "autoonThursday", "autoonFriday", "autoonSaturday"};

void append_time(KeyContext &ctx)
{
    const int hour = bios_get_auto_on(BiosAutoOn::hour);
    const int minute = bios_get_auto_on(BiosAutoOn::minute);
    g_autofree char *text =
        g_strdup_printf("\"%s\": \"%d\",\"%s\": \"%d\",", bios_member::hour, hour, bios_member::minute, minute);
    ctx.fragment += text;
}

// A failed day read shows as "err", never as a made-up selection.
void append_days(KeyContext &ctx, int mask)
{
    if (ctx.form == BiosReadForm::extract_file) {
        if (mask < 0) {
            append_member(ctx.fragment, "\"%s\": \"err\",", bios_member::days);
            return;
        }
        std::string days;
        for (int bit = 0; bit < 7; ++bit) {
            if (mask & (1 << bit)) {
                days += days.empty() ? "" : ", ";
                days += '"';
                days += bios_day_names[bit];
                days += '"';
            }
        }
        append_member(ctx.fragment, "\"%s\": [%s],", bios_member::days, days.c_str());
        return;
    }
    for (int bit = 0; bit < 7; ++bit) {
        const char *value = mask < 0 ? "err" : (mask & (1 << bit)) ? "Yes" : "No";
        append_member(ctx.fragment, "\"%s\":\"%s\",", get_day_names[bit], value);
    }
}

// GetBios shows the mode as its number from 1, ExtBios as the word SetBios takes.
void read_auto_power(const BiosSetting &row, KeyContext &ctx)
{
    *ctx.read_status = 1;
    size_t mode = 0;
    for (; mode < mode_days; ++mode) {
        const int value = bios_get_auto_on(mode_reads[mode].read);
        if (value < 0) {
            append_member(ctx.fragment, "\"%s\": \"%s\",", ctx.escaped_key.c_str(), mode_reads[mode].fail_value);
            wlog('D', log_tag::bios, "get power err\n");
            return;
        }
        if (value == mode_reads[mode].chosen)
            break;
    }
    if (extract_form(ctx))
        append_member(ctx.fragment, "\"%s\": \"%s\",", ctx.escaped_key.c_str(), row.words.items[mode].word);
    else
        append_member(ctx.fragment, "\"%s\": \"%zu\",", ctx.escaped_key.c_str(), mode + 1);
    if (mode == 0)
        return;
    append_time(ctx);
    if (mode == mode_days)
        append_days(ctx, bios_get_auto_on_days());
}

// Read by name ------------------------------------------------------------------------------

// In an extract file a switch is the value SetBios needs to bring the setting back: for most
// 1 for any nonzero reading, for the rows that say so 1 for their own on-value only.
int extract_switch_value(const char *name, uint32_t value)
{
    const BiosSetting *row = bios_setting_named(name);
    if (row && row->extract_on >= 0)
        return value == static_cast<uint32_t>(row->extract_on) ? 1 : 0;
    return value != 0 ? 1 : 0;
}

void read_by_name(KeyContext &ctx)
{
    const char *name = ctx.key + strlen(bios_key_prefix);
    *ctx.read_status = 0;
    uint32_t value = 0;
    if (bios_read_token_by_name(ctx.state.model, name, &value) != 0) {
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

// Reads one key into its fragment; false for a key no row reads, which ends the reading.
bool read_key(KeyContext &ctx)
{
    if (const BiosSetting *row = bios_setting_for_key(ctx.key)) {
        if (row->read == BiosRead::auto_power)
            read_auto_power(*row, ctx);
        else
            read_with_getter(*row, ctx);
    } else if (g_str_has_prefix(ctx.key, bios_key_prefix)) {
        read_by_name(ctx);
    } else if (g_str_has_prefix(ctx.key, reboot_marker_key) && !extract_form(ctx)) {
        append_member(ctx.fragment, ctx.state.reboot_needed ? "\"%s\":1," : "\"%s\":0,", ctx.escaped_key.c_str());
        *ctx.read_status = 1;
    } else {
        wlog('D', log_tag::bios, "not found Kora cmos flag\n");
        return false;
    }
    return true;
}

// The key cut to bios_key_max bytes; the cut is logged as each method logs it.
std::string cut_key(const std::string &element, BiosReadForm form)
{
    if (element.size() <= bios_key_max)
        return element;
    if (form == BiosReadForm::get)
        wlog('D', log_tag::bios, "value is truncated");
    else
        log_truncated("bios", 1, element);
    return element.substr(0, bios_key_max);
}

}  // namespace

BiosKeys bios_keys_of(const JsonParams &params)
{
    BiosKeys keys;
    if (!params.root_is_array())
        return keys;
    JsonArray *array = json_node_get_array(params.root());
    for (guint i = 0; i < json_array_get_length(array); ++i) {
        JsonNode *element = json_array_get_element(array, i);
        const bool text = JSON_NODE_HOLDS_VALUE(element) && json_node_get_value_type(element) == G_TYPE_STRING;
        keys.push_back(text ? std::optional<std::string>(json_node_get_string(element)) : std::nullopt);
    }
    return keys;
}

BiosKeys bios_keys_of(const BiosKeyList &list)
{
    BiosKeys keys;
    for (size_t i = 0; i < list.count; ++i)
        keys.push_back(std::string(bios_key_prefix) + list.suffixes[i]);
    return keys;
}

std::string bios_keys_text(const BiosKeys &keys)
{
    std::string text = "[";
    for (const auto &key : keys)
        text += (text.size() > 1 ? ", " : "") + (key ? json_quote(*key) : std::string("null"));
    return text + "]";
}

// Reads the keys in order until one ends the reading. The message keeps the room it has.
BiosReadResult bios_read_keys(const BiosKeys &keys, BiosReadForm form, const BiosState &state)
{
    BiosReadResult result;
    result.message += '{';
    for (const auto &element : keys) {
        if (!element) {
            wlog('D', log_tag::bios, "get pass err\n");
            break;
        }
        const std::string key = cut_key(*element, form);
        KeyContext ctx{form, state, key.c_str(), json_escape(key), {}, &result.read_status};
        if (!read_key(ctx)) {
            result.read_status = 1;
            break;
        }
        if (ctx.fragment.size() > bios_message_max - result.message.size()) {
            wlog('D', log_tag::bios, "space is not long enough %s\n", ctx.fragment.c_str());
            break;
        }
        result.message += ctx.fragment;
    }
    if (result.message.back() == ',')
        result.message.pop_back();
    result.message += '}';
    return result;
}
