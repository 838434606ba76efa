// Machine models: detection from the DMI product name, and what each model's BIOS offers.
#pragma once

#include <cstddef>

constexpr size_t bios_model_name_size = 32;

// The detected model identifier ("K10", "Vantor 70", ...); empty when unknown. Written once
// at service start, read-only afterwards. Compare it case-insensitively.
extern char bios_model_name[bios_model_name_size];

// Reads the product name and fills bios_model_name.
void bios_detect_model();

// True when bios_model_name equals `model`, ignoring letter case.
bool bios_model_is(const char *model);

// True when bios_model_name is one of the `count` identifiers in `models`.
bool bios_model_in(const char *const *models, size_t count);

// The setting keys that GetBios reports by default and that an extract file holds, for the
// detected model, each as the text of a JSON array of key strings; nullptr when the model
// has no list (the empty identifier included).
const char *bios_read_key_list();
const char *bios_extract_key_list();

// The models a setting is read or written for.
struct ModelSet {
    const char *const *models;  // nullptr: every model
    size_t count;
    bool except;  // every model but those listed
};

constexpr ModelSet every_model = {nullptr, 0, false};

template <size_t N>
constexpr ModelSet models_in(const char *const (&models)[N])
{
    return {models, N, false};
}

template <size_t N>
constexpr ModelSet models_except(const char *const (&models)[N])
{
    return {models, N, true};
}

// True when the detected model belongs to `set`.
bool bios_model_matches(const ModelSet &set);

// The models whose deep-sleep setting exists.
inline constexpr const char *deep_sleep_model_list[] = {"Vantor 70", "K40AIO", "K50AIO", "K30AIO",
                                                        "K10",       "K10X",   "K60AIO"};
inline constexpr ModelSet deep_sleep_models = models_in(deep_sleep_model_list);
