#include "services/service_wiring.h"

bool export_skeleton(gpointer skeleton, GDBusConnection *connection, const char *path, GError **error)
{
    return g_dbus_interface_skeleton_export(G_DBUS_INTERFACE_SKELETON(skeleton), connection, path, error);
}
