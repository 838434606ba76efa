// What corvoctl prints and how it exits: human text by default; with --json exactly one
// JSON document on standard output, whatever happens.
#pragma once

#include <json-glib/json-glib.h>

#include "ctl/bus.h"
#include "ctl/options.h"

// How a reply is shown as text.
enum class Render {
    raw,          // the reply as received
    result,       // the value of its result member
    bios_table,   // the members of its message object, one per line
    camera_rows,  // one line per webcam of its message list
};

// A bad command line: the message on standard error (and as an error document with
// --json). Returns ctl_exit_usage.
int ctl_usage_error(const CtlOptions &options, const char *format, ...) G_GNUC_PRINTF(2, 3);

// A failed bus call: its D-Bus error name and message. Returns ctl_exit_bus.
int ctl_bus_error(const CtlOptions &options, const BusError &error);

// Prints `node` as one JSON document on standard output.
void ctl_print_json(JsonNode *node);

// Calls `method` with `argument` (null: none), shows the reply and returns the exit status.
int ctl_call(const CtlOptions &options, const CtlService &service, const char *method, const char *argument,
             Render render);
