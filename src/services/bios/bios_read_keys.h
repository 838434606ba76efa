// Reading BIOS settings key by key into one JSON object, the work GetBios and ExtBios share.
#pragma once

#include <cstddef>
#include <string>

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

// Reads the keys of `key_list` (the text of a JSON array of key strings) in order. A text
// that is not a non-empty array reads nothing and gives "{}".
BiosReadResult bios_read_keys(const char *key_list, BiosReadForm form);
