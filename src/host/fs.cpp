#include "host/fs.h"

#include <cerrno>
#include <cstdio>

bool host_exists(const std::string &path)
{
    return g_file_test(path.c_str(), static_cast<GFileTest>(G_FILE_TEST_EXISTS | G_FILE_TEST_IS_SYMLINK));
}

bool host_rename(const std::string &from, const std::string &to, GError **error)
{
    if (rename(from.c_str(), to.c_str()) == 0)
        return true;
    const int number = errno;
    g_set_error_literal(error, G_FILE_ERROR, g_file_error_from_errno(number), g_strerror(number));
    return false;
}
