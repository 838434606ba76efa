// Handlers of com.corvo.settings, one per method. Each completes its call exactly once and
// returns TRUE.
#pragma once

#include <gio/gio.h>

#include "served_dbus.h"

// Terminal, serial port and HID driver (set_terminal.cpp, config_board_serial_port.cpp,
// set_usb_uhid_driver.cpp).
gboolean on_handle_admin_policy_set_terminal(CorvoSettings *object, GDBusMethodInvocation *invocation,
                                             const gchar *parameters);
gboolean on_handle_config_board_serial_port(CorvoSettings *object, GDBusMethodInvocation *invocation,
                                            const gchar *parameters);
gboolean on_handle_admin_policy_set_usb_uhid_driver(CorvoSettings *object, GDBusMethodInvocation *invocation,
                                                    const gchar *parameters);
// USB device policy (usb_configure.cpp) and USB redirection (usb_red_configure.cpp,
// vusb_property.cpp).
gboolean on_handle_admin_policy_usb_configure(CorvoSettings *object, GDBusMethodInvocation *invocation,
                                              const gchar *parameters);
gboolean on_handle_admin_policy_usb_red_configure(CorvoSettings *object, GDBusMethodInvocation *invocation,
                                                  const gchar *parameters);
gboolean on_handle_admin_policy_vusb_property(CorvoSettings *object, GDBusMethodInvocation *invocation,
                                              const gchar *parameters);
// Power and kernel tuning (sysctl_handlers.cpp, eee_keys_handlers.cpp, update_loader_conf.cpp).
gboolean on_handle_admin_policy_sysctl(CorvoSettings *object, GDBusMethodInvocation *invocation,
                                       const gchar *parameters);
gboolean on_handle_admin_policy_sysctl_generic(CorvoSettings *object, GDBusMethodInvocation *invocation,
                                               const gchar *parameters);
gboolean on_handle_admin_policy_eee_configure(CorvoSettings *object, GDBusMethodInvocation *invocation,
                                              const gchar *parameters);
gboolean on_handle_admin_policy_gkey_configure(CorvoSettings *object, GDBusMethodInvocation *invocation,
                                               const gchar *parameters);
gboolean on_handle_admin_policy_rkey_configure(CorvoSettings *object, GDBusMethodInvocation *invocation,
                                               const gchar *parameters);
gboolean on_handle_admin_policy_update_loader_conf(CorvoSettings *object, GDBusMethodInvocation *invocation,
                                                   const gchar *parameters);
// What the settings above are set to now (get_settings.cpp).
gboolean on_handle_get_settings(CorvoSettings *object, GDBusMethodInvocation *invocation, const gchar *parameters);
// Cameras (camera_info.cpp, camera_format.cpp).
gboolean on_handle_admin_policy_get_camera_info(CorvoSettings *object, GDBusMethodInvocation *invocation,
                                                const gchar *para);
gboolean on_handle_admin_policy_set_camera_format(CorvoSettings *object, GDBusMethodInvocation *invocation,
                                                  const gchar *para);
