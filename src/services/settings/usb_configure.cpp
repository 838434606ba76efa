// UsbConfigure: the USB device white and black lists (boot-loader tunables, read at the next
// boot) and the read-only mounting of USB disks (applied now through the device service).
#include <cstring>

#include "common/json_params.h"
#include "common/log.h"
#include "common/reply.h"
#include "peers/sysconf.h"
#include "services/settings/settings_handlers.h"
#include "services/settings/usb_class_list_filter.h"
#include "services/settings/writers.h"

namespace {

struct UsbListSlot {
    const char *member;
    const char *tunable;
    bool is_class;  // normalised by the class filter
    bool is_white;
};

// In this order: white lists before black lists, since a white list excludes any black one.
constexpr UsbListSlot usb_list_slots[] = {
    {"USBWhiteListVIDPID", "usb.whitelist.vidpid", false, true},
    {"USBWhiteListClass", "usb.whitelist.class", true, true},
    {"USBBlackListVIDPID", "usb.blacklist.vidpid", false, false},
    {"USBBlackListClass", "usb.blacklist.class", true, false},
};
constexpr size_t slot_count = sizeof usb_list_slots / sizeof usb_list_slots[0];

constexpr char black_list_ignored[] = "Admin Policy USB Config, Black list ignored";

// Room for a value in the tunable's boot-loader line: name="value".
size_t loader_value_room(const char *tunable)
{
    return loader_conf_file().max_line - strlen(tunable) - 3;
}

enum class ReadOnlySwitch {
    not_asked,  // the request leaves the switch alone
    unchanged,  // the request equals the stored value: no remount
    remounted,  // the disks are mounted as asked
    failed,     // the device service did not remount them
};

// Applies a requested read-only switch that differs from the stored one.
ReadOnlySwitch apply_read_only(const char *requested)
{
    g_autofree char *stored = sysconf_get_key("system", "usbconfiguring", "udiskreadonly");
    wlog('D', log_tag::admin_policy, "udiskreadonly:%s from DB\n", stored ? stored : "");
    if (stored && g_ascii_strcasecmp(stored, requested) == 0) {
        wlog('D', log_tag::admin_policy, "%s: same value (%s)\n", "on_handle_admin_policy_usb_configure", stored);
        return ReadOnlySwitch::unchanged;
    }
    return udev_remount_usbdisks(text_is_yes(requested)) == 0 ? ReadOnlySwitch::remounted : ReadOnlySwitch::failed;
}

}  // namespace

gboolean on_handle_admin_policy_usb_configure(CorvoSettings *, GDBusMethodInvocation *invocation,
                                              const gchar *parameters)
{
    char read_only[64] = {};
    char lists[slot_count][1024] = {};
    {
        JsonParams params(parameters);
        // Without a readable request object there is nothing to replace the lists with.
        if (!params.root_is_object())
            return complete_with_reply(invocation, reply_result("Fail"));
        params.copy_string("EnableUDiskReadOnly", read_only, sizeof read_only);
        wlog('D', log_tag::admin_policy, "UDiskReadOnly get str %s from UI\n", read_only);
        for (size_t i = 0; i < slot_count; ++i) {
            params.copy_string(usb_list_slots[i].member, lists[i], sizeof lists[i]);
            if (usb_list_slots[i].is_class)
                usb_class_list_filter(lists[i], sizeof lists[i], loader_value_room(usb_list_slots[i].tunable));
        }
    }

    // An unchanged switch skips only the remount: the lists of the request still land (lines
    // that hold them already stay as they are).
    const ReadOnlySwitch read_only_switch = *read_only ? apply_read_only(read_only) : ReadOnlySwitch::not_asked;

    LoaderConfEdit edit;
    for (const auto &slot : usb_list_slots)
        loader_conf_delete(edit, slot.tunable);
    bool white_present = false;
    for (size_t i = 0; i < slot_count; ++i) {
        const UsbListSlot &slot = usb_list_slots[i];
        if (!*lists[i])
            continue;
        if (!loader_conf_value_ok(lists[i])) {
            wlog('T', log_tag::admin_policy, "Admin Policy USB Config, %s refused\n", slot.member);
            continue;
        }
        if (slot.is_white) {
            white_present = true;
        } else if (white_present) {
            wlog('T', log_tag::admin_policy, "%s", black_list_ignored);
            break;
        }
        loader_conf_write(edit, slot.tunable, lists[i]);
    }
    if (loader_conf_commit(edit) != 0) {
        wlog('T', log_tag::admin_policy, "%s", black_list_ignored);
        return complete_with_reply(invocation, reply_result("Fail"));
    }
    // Stored only once the disks are mounted that way and the lists landed: a stored value
    // makes the same request look unchanged, so a partial request must not leave one.
    if (read_only_switch == ReadOnlySwitch::remounted)
        sysconf_set_key("system", "usbconfiguring", "udiskreadonly", read_only, sysconf_type::string);
    return complete_with_reply(invocation, reply_result("Success"));
}
