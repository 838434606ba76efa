// Running host programs. Never through a shell: a program gets an argument vector, so text
// from a caller stays one literal argument whatever characters it holds.
#pragma once

#include <glib.h>
#include <string>
#include <vector>

struct HostCommand {
    std::vector<std::string> argv;
    std::string text;  // the command as a shell would have shown it, for log lines
};

// Builds a command from a command text as it would be typed, e.g.
//     host_command("sysctl hw.usb.vusb_property_string=\"%s\"", flags)
// The template is split into words first, as a shell would split it (g_shell_parse_argv:
// blanks separate words, quoted parts belong to their word and lose their quotes); then each
// %s / %d / %u is replaced inside its word. A value therefore never splits, joins or quotes
// words.
HostCommand host_command(const char *tmpl, ...) G_GNUC_PRINTF(1, 2);

// Runs the program and waits for it. Programs named without a '/' are looked up in PATH.
// When `first_line` is given it receives the first line of the program's standard output
// (at most `max_line` bytes, without the line end); otherwise the output is discarded.
// Returns true when the program could be started (its exit status is not examined).
bool host_run(const HostCommand &command, std::string *first_line = nullptr, size_t max_line = 255);

// Starts the program without waiting; it is reaped when it ends, so no zombie remains.
// Returns true when it could be started.
bool host_start_background(const HostCommand &command);
