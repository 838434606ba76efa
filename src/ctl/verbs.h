// The verbs of corvoctl as a table: the words that choose a row, the options it takes and
// how many words follow them.
#pragma once

#include <span>

#include "ctl/options.h"

// Options a verb takes besides the global ones.
enum VerbOption : unsigned {
    verb_password = 1u << 0,      // --password-file
    verb_new_password = 1u << 1,  // --new-password-file
    verb_config = 1u << 2,        // --config
    verb_usb = 1u << 3,           // --read-only and the four lists
    verb_dry_run = 1u << 4,       // --dry-run
};

struct VerbRow {
    const char *verb;
    const char *sub;       // the second word, or null
    const char *synopsis;  // what follows the verb words, for --help
    unsigned options;      // VerbOption bits
    int min_words;         // words after the verb words
    int max_words;         // -1: any number
    int (*run)(const CtlOptions &options, char **words, int count);
};

std::span<const VerbRow> verb_rows();

// BIOS verbs (bios_verbs.cpp).
int verb_bios_get(const CtlOptions &options, char **keys, int count);
int verb_bios_set(const CtlOptions &options, char **assignments, int count);
int verb_bios_extract(const CtlOptions &options, char **file, int count);
int verb_bios_restore(const CtlOptions &options, char **file, int count);

// Settings read back and applied (settings_verbs.cpp).
int verb_settings_show(const CtlOptions &options, char **methods, int count);
int verb_settings_apply(const CtlOptions &options, char **file, int count);

// `key` without the common prefix of BIOS keys, for tables.
const char *bios_short_key(const char *key);

// True when `key` names a password member of the BIOS service, with or without the key
// prefix, in any letter case.
bool bios_key_is_password(const char *key);
