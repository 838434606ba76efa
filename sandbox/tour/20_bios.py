"""The BIOS service on the simulated machine: the model it detected, the secure-boot state it
read at start (from the simulator's log and the daemon's notice), and UpdateBios."""
import dbus


def _notice(env):
    for line in env.daemon.log().splitlines():
        if "$(bios_secureboot_" in line:
            return line
    return "no secure-boot notice in the log"


def run(env, show):
    show("BIOS (simulated machine: %s)" % (env.model or "no product name"))
    if env.bios is None:
        show(None, "BIOS simulator", "not running (not built, or no /dev/fuse)")
    else:
        show(None, "product name the machine reports", env.root.read("/sys/class/dmi/id/product_name", "").strip())
        show(None, "requests the BIOS received at start", env.bios.requests())
        show(None, "simulator: SecureBoot setting", env.bios.setting("SecureBoot"))
        show(None, "daemon's secure-boot notice", _notice(env))
    try:
        show(None, "UpdateBios", env.call("bios", "UpdateBios"))
    except dbus.DBusException as error:
        show(None, "UpdateBios", "error %s" % error.get_dbus_name())
