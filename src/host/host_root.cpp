#include "host/host_root.h"

#include <cstdlib>

namespace {

std::string *cached_root = nullptr;

std::string read_root()
{
    const char *value = secure_getenv("CORVO_HOST_ROOT");
    std::string root = value && *value ? value : "/";
    while (root.size() > 1 && root.back() == '/')
        root.pop_back();
    return root;
}

}  // namespace

const std::string &host_root()
{
    if (!cached_root)
        cached_root = new std::string(read_root());
    return *cached_root;
}

// The fixed path is joined to the root as written and the kernel resolves it: a path such
// as "/compat/linux/../../etc/..." leaves the Linux compatibility root on purpose, and where a
// folder on the way is a symbolic link the kernel reaches another file than the text would.
std::string host_path(std::string_view fixed_path)
{
    const std::string &root = host_root();
    std::string path = fixed_path.empty() || fixed_path.front() != '/' ? "/" : "";
    path += fixed_path;
    if (root == "/")
        return path;
    return path == "/" ? root : root + path;
}

void host_root_reset_for_tests()
{
    delete cached_root;
    cached_root = nullptr;
}
