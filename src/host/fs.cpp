#include "host/fs.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>

bool host_exists(const std::string &path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

bool host_rename(const std::string &from, const std::string &to, std::string *error_text)
{
    if (rename(from.c_str(), to.c_str()) == 0)
        return true;
    if (error_text)
        *error_text = strerror(errno);
    return false;
}
