// Linked into every fuzz target: the daemon's log lines would drown the fuzzer's own output.
#include "common/log.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    log_set_sink([](const char *, void *) {}, nullptr);
    return 0;
}
