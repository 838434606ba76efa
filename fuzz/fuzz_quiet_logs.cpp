// Linked into every fuzz target: the daemon's log lines would drown the fuzzer's own output.
#include "common/log.h"

namespace {

void drop_line(const char *, void *) {}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    log_set_sink(drop_line, nullptr);
    return 0;
}
