// The SMI request file of the platform management driver: one request record is written in
// a single write, the file is rewound and the driver's answer is read back. The driver keeps
// the answer of the last write for the next read, so the three steps must use one open file.
#pragma once

#include <cstddef>

enum class SmiFileStatus {
    ok,
    open_failed,
    write_failed,  // also when the record was not written whole
    read_failed,
};

struct SmiFileResult {
    SmiFileStatus status;
    int error;          // errno of the failed step
    size_t answer_len;  // bytes read into the answer buffer
};

// Opens `path` for reading and writing (never created, never truncated), writes `record`
// whole in one write, rewinds, reads at most `answer_size` bytes into `answer` and closes.
using SmiFileExchange = SmiFileResult (*)(const char *path, const void *record, size_t record_size, char *answer,
                                          size_t answer_size);

SmiFileResult smi_file_exchange(const char *path, const void *record, size_t record_size, char *answer,
                                size_t answer_size);

// Tests only: route every exchange to `exchange` (nullptr: the real file again).
void smi_file_set_exchange_for_tests(SmiFileExchange exchange);
