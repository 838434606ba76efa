// Plain file-system questions and moves on host paths. Callers pass real paths (a fixed
// path already resolved with host_path, or a path a caller gave).
#pragma once

#include <glib.h>
#include <string>

// True when something exists at `path` (file, folder or any other kind; a dangling symlink
// counts as existing, as it would block a rename onto that name).
bool host_exists(const std::string &path);

// rename(2); a failure is a G_FILE_ERROR with the system's text.
bool host_rename(const std::string &from, const std::string &to, GError **error);
