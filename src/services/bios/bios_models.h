// Machine models: detection from the DMI product name, and what each model's BIOS offers.
#pragma once

#include <cstddef>

constexpr size_t BIOS_MODEL_NAME_SIZE = 32;

// The detected model identifier ("K10", "Vantor 70", ...); empty when unknown. Written once
// at service start, read-only afterwards. Compare it case-insensitively.
extern char bios_model_name[BIOS_MODEL_NAME_SIZE];

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

// True for models whose deep-sleep setting is read.
bool bios_model_has_deep_sleep();
