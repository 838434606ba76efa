// Logging facility: every diagnostic of the daemon goes through these calls.
#pragma once

#include <glib.h>
#include <string_view>
#include <sys/types.h>

// The area a message belongs to, as the line shows it.
namespace log_tag {
constexpr const char *settings = "settings";
constexpr const char *admin_policy = "admin_policy";
constexpr const char *bios = "bios";
constexpr const char *system = "system";
constexpr const char *headset = "headset";
constexpr const char *thirdapps = "ThirdApps";
constexpr const char *audit = "audit";
}  // namespace log_tag

// One message from a printf-style format. `level` is one of 'D', 'T', 'V', 'N', 'E'.
void wlog(int level, const char *tag, const char *format, ...) G_GNUC_PRINTF(3, 4);

// One message named by a resource id such as "$(export_fail)"; the id is rendered through a
// table of English texts and kept in the line. `argument` fills the text's one blank, for
// the ids that have one.
void wlog_res(int level, const char *tag, const char *resource, const char *argument = nullptr);

// The line every cut of a too-long text logs: where it was cut, and the text as log_param
// shows it.
void log_truncated(const char *file, int line, std::string_view text);

// The few diagnostics that go to standard output rather than to the log; each message is one
// line, escaped like a log line.
void print_diagnostic(const char *format, ...) G_GNUC_PRINTF(1, 2);

// Tests read log lines from standard error; this routes them to a callback instead.
using LogSink = void (*)(const char *line, void *user_data);
void log_set_sink(LogSink sink, void *user_data);

// True when `journal_stream` (JOURNAL_STREAM as a service manager sets it, "<device>:<inode>"
// in decimal) names the file of that device and inode. Decided once for standard error
// (when it is the journal, each line goes there alone, with its priority as a "<N>" prefix,
// and not to syslog as well) and once for standard output (diagnostics get a "<N>" prefix).
bool log_stream_is_journal(const char *journal_stream, dev_t device, ino_t inode);
