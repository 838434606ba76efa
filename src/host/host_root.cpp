#include "host/host_root.h"

#include <cstdlib>
#include <vector>

#include "common/log.h"

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

// "/a/./b/../c" -> "/a/c"; ".." at the top stays at the top.
std::string normalise(std::string_view path)
{
    std::vector<std::string_view> parts;
    size_t start = 0;
    while (start <= path.size()) {
        size_t slash = path.find('/', start);
        if (slash == std::string_view::npos)
            slash = path.size();
        std::string_view part = path.substr(start, slash - start);
        if (part == "..") {
            if (!parts.empty())
                parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        start = slash + 1;
    }
    std::string out;
    for (auto part : parts) {
        out += '/';
        out += part;
    }
    return out.empty() ? "/" : out;
}

}  // namespace

const std::string &host_root()
{
    if (!cached_root)
        cached_root = new std::string(read_root());
    return *cached_root;
}

std::string host_path(std::string_view fixed_path)
{
    const std::string path = normalise(fixed_path);
    const std::string &root = host_root();
    if (root == "/")
        return path;
    return path == "/" ? root : root + path;
}

void host_log_root()
{
    if (host_root() != "/")
        _wlog('D', "settings", "host root is %s\n", host_root().c_str());
}

void host_root_reset_for_tests()
{
    delete cached_root;
    cached_root = nullptr;
}
