#include "services/service_wiring.h"

namespace {

ServedHook served_hook = nullptr;

}  // namespace

bool export_skeleton(gpointer skeleton, GDBusConnection *connection, const char *path, GError **error)
{
    return g_dbus_interface_skeleton_export(G_DBUS_INTERFACE_SKELETON(skeleton), connection, path, error);
}

void service_set_served_hook(ServedHook hook)
{
    served_hook = hook;
}

void service_name_served(const char *name)
{
    if (served_hook)
        served_hook(name);
}
