// Whole-buffer file reads and writes on paths callers give (extract and restore files).
#pragma once

#include <cstddef>
#include <sys/types.h>

enum class HostFileStep {
    ok,
    open_failed,
    io_failed,  // read or write failed, the write was short, or flush/close failed
};

struct HostFileResult {
    HostFileStep step;
    int error;      // errno of the failed step (0 for a short write)
    ssize_t count;  // bytes read or written by the one call, -1 when it failed or did not run
};

// Opens `path` for reading and writing (never created, no controlling terminal, no
// blocking) and reads at most `size` bytes into `buffer` with one read.
HostFileResult host_file_read_head(const char *path, void *buffer, size_t size);

// Creates or truncates `path` (0666 less the umask), writes `size` bytes with one write,
// flushes the file to storage and closes it.
HostFileResult host_file_write_whole(const char *path, const void *data, size_t size);
