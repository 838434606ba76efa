// The BIOS settings catalogue: one row per setting with all the daemon knows about it, the
// member that names it, the models whose SetBios takes it, how it is read and shown, how it
// is written, its extract form and the texts it logs where they leave the common pattern.
// Readers, writers and the SetBios object reader walk these rows; a setting is one row.
#pragma once

#include <cstddef>
#include <cstdint>

#include "services/bios/bios_models.h"

struct BiosState;

constexpr const char *bios_key_prefix = "DeviceKORACMOS";

// The auto-on schedule's own members, and its day names from Sunday (bit 0) on.
namespace bios_member {
constexpr const char *days = "DeviceKORACMOSAutoPowerDays";
constexpr const char *time = "DeviceKORACMOSAutoPowerTime";
constexpr const char *hour = "DeviceKORACMOSAutoPowerHour";
constexpr const char *minute = "DeviceKORACMOSAutoPowerMin";
}  // namespace bios_member
inline constexpr const char *bios_day_names[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                                 "Thursday", "Friday", "Saturday"};

struct BiosTokenValue {
    uint32_t token;
    uint32_t value;
};

// A value word. SetBios writes it as `token` with `value` (token 0: the row's operation with
// `value`); a read of `value` shows the word.
struct BiosWord {
    const char *word;
    uint32_t token;
    uint32_t value;
    size_t match_length = 0;  // leading characters SetBios compares; 0: the whole word
    bool write_only = false;  // a read never shows it
};

struct BiosWords {
    const BiosWord *items = nullptr;
    size_t count = 0;
};

template <size_t N>
constexpr BiosWords words_of(const BiosWord (&items)[N])
{
    return {items, N};
}

enum class BiosRead : uint8_t {
    by_name,         // a switch read by its name: "Yes"/"No", in an extract 0 or 1
    words,           // one token read, shown as a value word
    auto_power,      // mode, time and days
    password_state,  // whether an admin password is installed
    asset_tag,
};

enum class BiosWrite : uint8_t {
    none,          // SetBios does not take the member
    words,         // a text: the first value word it begins with
    auto_power,    // a text choosing the auto-on mode (word value: the mode row)
    on_off,        // 0 or 1
    dock_warning,  // 0 or 1; a refusal is no failure, and it is written whenever the object parsed
};

// 1 (on) or 0 (off), or a mode; 0 or -1.
using BiosOperation = int (*)(BiosState &state, int value, uint32_t key);

// How a word row shows what it read, and what it logs when the read fails.
struct BiosWordRead {
    const char *fail_log = nullptr;           // logged by the getter, with the BIOS status unless told
    const char *key_fail_log = nullptr;       // logged after it by the key reader
    const char *fail_value = "get data err";  // shown on failure; nullptr: nothing
    const char *other = nullptr;              // shown for a value without a word; nullptr: nothing
    int other_result = 0;                     // the getter's result then
    bool fail_status = true;                  // fail_log is followed by the BIOS status
};

// A model whose tokens differ from every other's.
struct BiosVariant {
    const char *model = nullptr;
    uint32_t read_token = 0;
    BiosTokenValue on = {};
    BiosTokenValue off = {};
    const char *fail_text = nullptr;  // nullptr: the row's
};

struct BiosSetting {
    const char *suffix;             // the member is bios_key_prefix followed by this
    ModelSet models = every_model;  // whose SetBios takes the member
    BiosRead read = BiosRead::by_name;
    uint32_t token = 0;                 // the token read; 0 where the setting does not exist
    bool named = false;                 // a word row also read by its name
    const char *read_prefix = nullptr;  // keys this row reads begin with it; nullptr: the whole suffix
    bool read_on_models_only = false;   // on other models the key reads as nothing
    BiosWords words = {};
    BiosWordRead word_read = {};
    int extract_on = -1;  // by name: the value an extract shows as on; -1: anything but 0
    BiosWrite write = BiosWrite::none;
    BiosTokenValue on = {};
    BiosTokenValue off = {};
    BiosOperation operation = nullptr;  // instead of the on/off tokens, or for token-0 words
    BiosVariant variant = {};
    const char *fail_text = nullptr;    // a failed token write, logged with the BIOS status
    bool fail_on_stdout = false;        // printed instead, without the status
    const char *done_stdout = nullptr;  // printed with the value after a successful word write
    const char *log_name = nullptr;     // "<log_name> set err", "<log_name> input value err"
    const char *log_input = nullptr;    // for the input error, where it differs
    const char *fragment = nullptr;     // "{<fragment>: ok}", "...: set err}", "...: input err}"; nullptr: none
    const char *fragment_ok = nullptr;  // where they differ
    const char *fragment_input = nullptr;
};

constexpr size_t bios_setting_count = 31;

// Rows in the order SetBios applies them: texts, the dock warning, then the switches.
const BiosSetting &bios_setting(size_t index);

// The row a key is read with: a getter row whose key it is, else a row read by `name` (the
// key without its prefix, any letter case); nullptr when none.
const BiosSetting *bios_setting_for_key(const char *key);
const BiosSetting *bios_setting_named(const char *name);

// The token or writes of `row` on `model`.
uint32_t bios_setting_token(const BiosSetting &row, const char *model);
