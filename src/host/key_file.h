// Loading and saving GLib key files on the host, keeping comments and translated values.
#pragma once

#include <glib.h>
#include <string>

// Loads `path` with comments and translations kept. The file must be a regular file of at
// most 1 MiB; it is never waited on. NULL with `error` set on failure (G_FILE_ERROR_NOENT
// when the file is missing).
GKeyFile *host_key_file_load(const std::string &path, GError **error);

// Writes `key_file` to `path` atomically (temporary file in the same folder, synced, then
// renamed over it). The file's owner, group and permission bits are kept; a new file gets
// 0644 and the daemon's owner.
bool host_key_file_save(GKeyFile *key_file, const std::string &path, GError **error);
