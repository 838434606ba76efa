#include "host/net_iface.h"

#include <dirent.h>
#include <string>

#include "host/host_root.h"

bool host_net_interface_exists(const char *name)
{
    const std::string path = host_path(std::string("/compat/linux/sys/class/net/") + name);
    DIR *dir = opendir(path.c_str());
    if (!dir)
        return false;
    closedir(dir);
    return true;
}
