// Reading BIOS settings key by key into one JSON object, the work GetBios and ExtBios share.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "services/bios/bios_models.h"
#include "services/bios/bios_state.h"

class JsonParams;

// The message never grows beyond this many characters; the key that would overflow it stops
// the reading.
constexpr size_t bios_message_max = 1023;
// Keys are read as their first this many bytes.
constexpr size_t bios_key_max = 63;

enum class BiosReadForm {
    get,            // GetBios: value words, auto-power mode numbers, the reboot marker
    extract_reply,  // ExtBios without a file: values as SetBios takes them back
    extract_file,   // ExtBios writing a file: as extract_reply, chosen days as one array
};

struct BiosReadResult {
    std::string message;  // a JSON object text of at most bios_message_max characters
    int read_status = 0;  // 1 makes the reply "Success"
};

// The keys to read in order; an element that is not a text (nullopt) ends the reading.
using BiosKeys = std::vector<std::optional<std::string>>;

// The elements of `params` when its root is an array; none otherwise.
BiosKeys bios_keys_of(const JsonParams &params);
// The full keys of a model's list.
BiosKeys bios_keys_of(const BiosKeyList &list);
// The keys as the text of a JSON array, for the log.
std::string bios_keys_text(const BiosKeys &keys);

// Reads `keys` in order. No keys give "{}".
BiosReadResult bios_read_keys(const BiosKeys &keys, BiosReadForm form, const BiosState &state);
