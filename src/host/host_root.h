// Every fixed host path the daemon touches is resolved here, under CORVO_HOST_ROOT
// (default "/"). The sandbox and the tests point it at a throwaway folder; production
// leaves it unset. Nothing else differs between the two.
#pragma once

#include <string>
#include <string_view>

// The host root, read once from the environment; never ends with '/' unless it is "/".
const std::string &host_root();

// `fixed_path` (absolute) under the host root, joined as written: "." and ".." are left for
// the kernel to resolve, through whatever symbolic links the host has on the way.
std::string host_path(std::string_view fixed_path);

// Tests only: forget the cached root so the next call reads the environment again.
void host_root_reset_for_tests();
