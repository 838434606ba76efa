// Files on paths callers give (extract, restore and configuration files) and whole-file
// replacement of the files the daemon rewrites. A caller's path may lie in a folder every
// user can write, so what it names is checked before it is trusted and is never written
// through: writes go to a new file that is renamed over it.
#pragma once

#include <cstddef>
#include <glib.h>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <sys/types.h>

// What a caller's file must be before the daemon reads or copies it. Every file must be a
// regular file; a link is followed to what it names unless `refuse_links`.
struct HostFileRules {
    off_t max_size = -1;        // larger files are refused; -1: any size
    bool own_only = false;      // owned by the daemon's user and writable by no group or other
    bool refuse_links = false;  // a symbolic link at the path is refused
};

// Checks what `path` names against `rules` without opening it for reading or writing, so no
// device is opened and no FIFO waited on. True, or false with `error` saying why: a file that
// failed the rules is CORVO_ERROR_REFUSED, one that could not be reached a G_FILE_ERROR
// (G_FILE_ERROR_NOENT for a missing one).
bool host_file_check(const char *path, const HostFileRules &rules, GError **error);

// Checks `path` as host_file_check does, then opens that same file for reading and writing
// (no controlling terminal, no blocking) and reads at most `size` bytes into `buffer` with
// one read. The number of bytes read, or -1 with `error` set as host_file_check sets it.
ssize_t host_file_read_head(const char *path, const HostFileRules &rules, void *buffer, size_t size, GError **error);

// Checks `path` as host_file_check does and reads the whole of that same file (at most
// `rules.max_size` bytes, which must be set) into `content`, without ever waiting on it.
// False with `error` set as host_file_check sets it.
bool host_file_read_all(const char *path, const HostFileRules &rules, std::string *content, GError **error);

// Reads the whole file the daemon trusts (one under /sys or /proc) into a new text (free with
// g_free), with one trailing CR or LF removed. False on failure (logged), `contents` then NULL.
bool host_file_read_text(const char *path, char **contents);

// Permission bits and owner of a replacement file.
struct HostFileAttrs {
    mode_t mode = 0644;
    bool less_umask = false;            // the process umask is taken off `mode`
    const struct stat *keep = nullptr;  // the file replaced: its mode, owner and group are kept
};

// Replaces `path` with a new file holding `data`: a temporary file with a random name in the
// same folder (created exclusively, so never a link or a file someone else made), written,
// flushed, given its mode and owner, renamed over `path`, and the folder flushed so that the
// rename survives a power cut. A file, link or FIFO at `path` (another user's among them) is
// replaced, never opened; a link's target stays as it was. A device, socket or folder there is
// left alone and the call fails. False with `error` set when a step failed; `path` then keeps
// what it had.
bool host_file_replace(const std::string &path, std::string_view data, const HostFileAttrs &attrs, GError **error);

// The system calls of the replace, so that a test can see their order.
struct HostReplaceCalls {
    ssize_t (*write)(int fd, const void *data, size_t size);
    int (*fsync)(int fd);
    int (*rename)(const char *from, const char *to);
};

// Tests only: route every replace through `calls` ({}: the real ones again).
void host_file_set_replace_calls_for_tests(HostReplaceCalls calls);
