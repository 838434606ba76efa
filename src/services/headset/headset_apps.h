// The two headset companion applications: where they live, how they are switched on and
// off, where their configuration goes and how they are started.
#pragma once

struct HeadsetApp {
    const char *name;              // "jabra", "epos": names the members and the messages
    const char *config_member;     // JSON member holding the configuration file path
    const char *enable_member;     // JSON member holding 1 (enable) or 0 (disable)
    const char *invalid_resource;  // resource id logged for a rejected configuration path

    // Fixed host paths.
    const char *root;
    const char *enabled_folder;
    const char *disabled_folder;
    const char *config_destination;
    const char *start_program;

    // The running application must be stopped before its folder goes away and before it is
    // started again with a new configuration.
    bool stopped_before_change;

    // Log lines, in the order the handler meets them.
    const char *root_missing;
    const char *enable_already;
    const char *enable_failed;
    const char *disable_already;
    const char *disable_failed;
    const char *bad_value;
    const char *rename_failed;
    const char *config_file;     // followed by the path
    const char *execute_result;  // followed by the captured line
};

extern const HeadsetApp headset_apps[2];

// The pattern that stops a running EPOS application.
constexpr const char *epos_process_pattern = "epos-connect";
