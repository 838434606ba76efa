// Logging facility: every diagnostic of the daemon goes through these two calls.
#pragma once

#include <glib.h>
#include <sys/types.h>

// One message from a printf-style format. `level` is one of 'D', 'T', 'V', 'N', 'E'.
int _wlog(int level, const char *tag, const char *format, ...) G_GNUC_PRINTF(3, 4);

// One message named by a resource id such as "$(export_fail)"; the id is rendered through
// a table of English texts (which take the arguments) and kept in the line. A plain format
// passed instead of an id is printed as a format.
int _wlog_res(int level, const char *tag, const char *resource, ...);

// Tests read log lines from standard error; this routes them to a callback instead.
using LogSink = void (*)(const char *line, void *user_data);
void log_set_sink(LogSink sink, void *user_data);

// True when `journal_stream` (JOURNAL_STREAM as a service manager sets it, "<device>:<inode>"
// in decimal) names the file of that device and inode. Decided once, for standard error:
// when it is the journal, each line goes there alone, with its priority as a "<N>" prefix,
// and not to syslog as well.
bool log_stream_is_journal(const char *journal_stream, dev_t device, ino_t inode);
