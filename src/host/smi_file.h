// The SMI request file of the platform management driver: one request record is written in
// a single write, the file is rewound and the driver's answer is read back. The driver keeps
// the answer of the last write for the next read, so the three steps must use one open file.
#pragma once

#include <cstddef>
#include <glib.h>

// Opens `path` for reading and writing (never created, never truncated), writes `record`
// whole in one write, rewinds, reads at most `answer_size` bytes into `answer` (`answer_len`
// of them) and closes. False with `error` in CORVO_ERROR whose code names the step that
// failed (CORVO_ERROR_OPEN_FAILED, _WRITE_FAILED or _READ_FAILED).
using SmiFileExchange = bool (*)(const char *path, const void *record, size_t record_size, char *answer,
                                 size_t answer_size, size_t *answer_len, GError **error);

bool smi_file_exchange(const char *path, const void *record, size_t record_size, char *answer, size_t answer_size,
                       size_t *answer_len, GError **error);

// Tests only: route every exchange to `exchange` (nullptr: the real file again).
void smi_file_set_exchange_for_tests(SmiFileExchange exchange);
