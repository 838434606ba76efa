#include "services/call_gate.h"

#include <vector>

#include "common/audit.h"
#include "common/caller.h"
#include "common/log.h"

namespace {

struct MethodAction {
    const char *interface;
    const char *method;
    const char *action;  // polkit action id
};

// One polkit action per kind of change (data/com.corvo.settingsd.policy declares them). A
// method missing here is refused to everyone but root.
constexpr MethodAction method_actions[] = {
    {"com.corvo.settings", "UsbConfigure", "com.corvo.settings.usb-policy"},
    {"com.corvo.settings", "UsbRedConfigure", "com.corvo.settings.usb-policy"},
    {"com.corvo.settings", "VusbProperty", "com.corvo.settings.usb-policy"},
    {"com.corvo.settings", "SetUsbUhidDriver", "com.corvo.settings.usb-policy"},
    {"com.corvo.settings", "Sysctl", "com.corvo.settings.system"},
    {"com.corvo.settings", "SysctlGeneric", "com.corvo.settings.system"},
    {"com.corvo.settings", "UpdateLoaderConf", "com.corvo.settings.system"},
    {"com.corvo.settings", "EEEConfigure", "com.corvo.settings.system"},
    {"com.corvo.settings", "GKeyConfigure", "com.corvo.settings.system"},
    {"com.corvo.settings", "RKeyConfigure", "com.corvo.settings.system"},
    {"com.corvo.settings", "ConfigBoardSerialPort", "com.corvo.settings.system"},
    {"com.corvo.settings", "SetTerminal", "com.corvo.settings.system"},
    {"com.corvo.settings", "GetCameraInfo", "com.corvo.settings.camera"},
    {"com.corvo.settings", "SetCameraFormat", "com.corvo.settings.camera"},
    {"com.corvo.settings", "GetSettings", "com.corvo.settings.read"},
    {"com.corvo.bios", "GetBios", "com.corvo.bios.read"},
    {"com.corvo.bios", "SetBios", "com.corvo.bios.write"},
    {"com.corvo.bios", "ExtBios", "com.corvo.bios.write"},
    {"com.corvo.bios", "UpdateBios", "com.corvo.bios.update"},
    {"com.corvo.headset", "SetHeadset", "com.corvo.headset.manage"},
    {"com.corvo.thirdapps", "SetAppStatus", "com.corvo.thirdapps.manage"},
    {"com.corvo.thirdapps", "EnableUCPlugins", "com.corvo.thirdapps.manage"},
};

const char *action_of(GDBusMethodInvocation *invocation)
{
    const char *interface = g_dbus_method_invocation_get_interface_name(invocation);
    const char *method = g_dbus_method_invocation_get_method_name(invocation);
    for (const auto &row : method_actions)
        if (g_strcmp0(interface, row.interface) == 0 && g_strcmp0(method, row.method) == 0)
            return row.action;
    return nullptr;
}

// An administrator may take minutes to answer an interactive check; a check without
// interaction is answered at once, or the authority is stuck.
constexpr int interactive_check_timeout_ms = 5 * 60 * 1000;
constexpr int check_timeout_ms = 25 * 1000;
// Calls waiting for the authority hold their parameters; beyond this many, further
// unprivileged calls are refused until some are answered. Root's calls never wait there.
constexpr guint max_pending_checks = 64;
guint pending_checks = 0;

constexpr const char *access_denied = "org.freedesktop.DBus.Error.AccessDenied";
constexpr const char *interaction_required = "org.freedesktop.DBus.Error.InteractiveAuthorizationRequired";
constexpr const char *limits_exceeded = "org.freedesktop.DBus.Error.LimitsExceeded";

// The signal's arguments as the skeleton emitted them (object, invocation, the method's
// in-arguments), copied so the handler can run once the gate opens.
struct GatedCall {
    GClosure *handler;  // owned reference
    std::vector<GValue> arguments;

    GatedCall(GClosure *handler, guint count, const GValue *values) : handler(g_closure_ref(handler)), arguments(count)
    {
        for (guint i = 0; i < count; ++i) {
            g_value_init(&arguments[i], G_VALUE_TYPE(&values[i]));
            g_value_copy(&values[i], &arguments[i]);
        }
    }
    GatedCall(const GatedCall &) = delete;
    GatedCall &operator=(const GatedCall &) = delete;
    ~GatedCall()
    {
        for (GValue &value : arguments)
            g_value_unset(&value);
        g_closure_unref(handler);
    }

    GDBusMethodInvocation *invocation() const { return G_DBUS_METHOD_INVOCATION(g_value_get_object(&arguments[1])); }
};

void refuse(GatedCall *call, const char *outcome, const char *error_name, const char *message)
{
    audit_refused(call->invocation(), outcome);
    g_dbus_method_invocation_return_dbus_error(call->invocation(), error_name, message);
    delete call;
}

// The handler's own FALSE means what it means to the skeleton: the call is not handled.
void open_gate(GatedCall *call)
{
    GValue handled = G_VALUE_INIT;
    g_value_init(&handled, G_TYPE_BOOLEAN);
    g_closure_invoke(call->handler, &handled, static_cast<guint>(call->arguments.size()), call->arguments.data(),
                     nullptr);
    if (!g_value_get_boolean(&handled)) {
        GDBusMethodInvocation *invocation = call->invocation();
        g_dbus_method_invocation_return_error(invocation, G_DBUS_ERROR, G_DBUS_ERROR_UNKNOWN_METHOD,
                                              "Method %s is not implemented on interface %s",
                                              g_dbus_method_invocation_get_method_name(invocation),
                                              g_dbus_method_invocation_get_interface_name(invocation));
    }
    delete call;
}

bool allows_interaction(GDBusMethodInvocation *invocation)
{
    return g_dbus_message_get_flags(g_dbus_method_invocation_get_message(invocation)) &
           G_DBUS_MESSAGE_FLAGS_ALLOW_INTERACTIVE_AUTHORIZATION;
}

void on_authority_answer(GObject *connection, GAsyncResult *result, gpointer data)
{
    --pending_checks;
    GatedCall *call = static_cast<GatedCall *>(data);
    g_autoptr(GError) error = nullptr;
    g_autoptr(GVariant) reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(connection), result, &error);
    if (!reply) {
        wlog('E', log_tag::system, "authorisation of %s.%s failed: %s\n",
             g_dbus_method_invocation_get_interface_name(call->invocation()),
             g_dbus_method_invocation_get_method_name(call->invocation()), error->message);
        refuse(call, "denied", access_denied, "The authorisation service could not be asked");
        return;
    }
    gboolean authorized = FALSE;
    gboolean challenge = FALSE;
    g_variant_get(reply, "((bb@a{ss}))", &authorized, &challenge, nullptr);
    if (authorized)
        open_gate(call);
    else if (challenge && !allows_interaction(call->invocation()))
        refuse(call, "denied", interaction_required, "Authentication is required; the call does not allow it");
    else
        refuse(call, "denied", access_denied, "Not authorised");
}

void ask_authority(GatedCall *call, const char *action)
{
    GDBusMethodInvocation *invocation = call->invocation();
    const bool interactive = allows_interaction(invocation);
    GVariantBuilder subject_details;
    g_variant_builder_init(&subject_details, G_VARIANT_TYPE("a{sv}"));
    g_variant_builder_add(&subject_details, "{sv}", "name",
                          g_variant_new_string(g_dbus_method_invocation_get_sender(invocation)));
    constexpr guint32 allow_user_interaction = 1;
    GVariant *arguments = g_variant_new("((sa{sv})s@a{ss}us)", "system-bus-name", &subject_details, action,
                                        g_variant_new_array(G_VARIANT_TYPE("{ss}"), nullptr, 0),
                                        interactive ? allow_user_interaction : 0, "");
    ++pending_checks;
    g_dbus_connection_call(g_dbus_method_invocation_get_connection(invocation), "org.freedesktop.PolicyKit1",
                           "/org/freedesktop/PolicyKit1/Authority", "org.freedesktop.PolicyKit1.Authority",
                           "CheckAuthorization", arguments, G_VARIANT_TYPE("((bba{ss}))"), G_DBUS_CALL_FLAGS_NONE,
                           interactive ? interactive_check_timeout_ms : check_timeout_ms, nullptr, on_authority_answer,
                           call);
}

void on_caller_known(GDBusMethodInvocation *, const CallerCredentials *caller, gpointer data)
{
    GatedCall *call = static_cast<GatedCall *>(data);
    if (!caller) {
        refuse(call, "declined", access_denied, "The caller could not be identified");
        return;
    }
    if (caller->uid == 0) {
        open_gate(call);
        return;
    }
    const char *action = action_of(call->invocation());
    if (!action) {
        refuse(call, "denied", access_denied, "Only root may call this method");
        return;
    }
    if (pending_checks >= max_pending_checks) {
        refuse(call, "denied", limits_exceeded, "Too many calls are waiting for authorisation");
        return;
    }
    ask_authority(call, action);
}

// Stands in for the handler on the signal: takes the call over (TRUE to the skeleton) and
// lets the handler run once the caller is known and allowed.
void gate_marshal(GClosure *closure, GValue *handled, guint count, const GValue *values, gpointer, gpointer)
{
    auto *call = new GatedCall(static_cast<GClosure *>(closure->data), count, values);
    g_value_set_boolean(handled, TRUE);
    caller_lookup(call->invocation(), on_caller_known, call);
}

}  // namespace

void call_gate_connect(gpointer skeleton, const char *signal, GCallback handler)
{
    GClosure *target = g_cclosure_new(handler, nullptr, nullptr);
    g_closure_set_marshal(target, g_cclosure_marshal_generic);
    g_closure_sink(g_closure_ref(target));
    GClosure *gate = g_closure_new_simple(sizeof(GClosure), target);
    g_closure_add_finalize_notifier(gate, target,
                                    [](gpointer data, GClosure *) { g_closure_unref(static_cast<GClosure *>(data)); });
    g_closure_set_marshal(gate, gate_marshal);
    g_signal_connect_closure(skeleton, signal, gate, FALSE);
}
