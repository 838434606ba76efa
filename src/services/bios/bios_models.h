// Machine models: detection from the DMI product name, and the setting keys each model's
// BIOS offers. Model identifiers ("K10", "Vantor 70", ...) compare ignoring letter case.
#pragma once

#include <cstddef>

constexpr size_t bios_model_name_size = 32;

// Fills `model` (bios_model_name_size bytes) from the product name; left as it is when no
// rule matches.
void bios_detect_model(char *model);

bool bios_model_is(const char *model, const char *name);

// The models a setting is taken on.
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

bool bios_model_in(const char *model, const ModelSet &set);

// The models whose deep-sleep setting exists.
inline constexpr const char *deep_sleep_model_list[] = {"Vantor 70", "K40AIO", "K50AIO", "K30AIO",
                                                        "K10",       "K10X",   "K60AIO"};
inline constexpr ModelSet deep_sleep_models = models_in(deep_sleep_model_list);

// Setting keys as the member suffixes of the catalogue (bios_catalogue.h).
struct BiosKeyList {
    const char *const *suffixes = nullptr;  // nullptr: the model has no list
    size_t count = 0;
};

// The keys GetBios reads by default for `model`, and those an extract file holds: the same
// without the admin-password state and the asset tag.
BiosKeyList bios_read_key_list(const char *model);
BiosKeyList bios_extract_key_list(const char *model);
