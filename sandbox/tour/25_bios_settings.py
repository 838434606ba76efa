"""BIOS settings on the simulated machine: read a few settings, change them, read them again,
then save every setting of the model to an extract file, scramble the simulator, and restore
the file."""
import json
import os
import tempfile

KEYS = ["DeviceKORACMOSAudio", "DeviceKORACMOSACRecovery", "DeviceKORACMOSAutoPower", "DeviceKORACMOSFastboot"]


def run(env, show):
    show("BIOS settings (simulated machine: %s)" % (env.model or "no product name"))
    if env.bios is None:
        show(None, "BIOS simulator", "not running (not built, or no /dev/fuse)")
        return
    para = json.dumps(KEYS)
    show(None, "GetBios %s" % para, env.call("bios", "GetBios", para))
    change = {"DeviceKORACMOSAudio": 1, "DeviceKORACMOSACRecovery": "LastState",
              "DeviceKORACMOSAutoPower": "Workday", "DeviceKORACMOSAutoPowerTime": "7:30",
              "DeviceKORACMOSFastboot": "Thorough"}
    show(None, "SetBios %s" % json.dumps(change), env.call("bios", "SetBios", json.dumps(change)))
    show(None, "GetBios again", env.call("bios", "GetBios", para))
    show(None, "GetBios [] (the model's default set)", env.call("bios", "GetBios", "[]"))

    folder = tempfile.mkdtemp(prefix="cmos-", dir="/tmp")
    path = os.path.join(folder, "cmos.bin")
    show(None, "ExtBios to %s" % path,
         env.call("bios", "ExtBios", json.dumps({"DeviceKORACMOSExtractFilePath": path})))
    show(None, "extract script was called with", env.cmos_extract.calls())
    with open(path, "rb") as f:
        data = f.read()
    show(None, "extract file (%d bytes)" % len(data), data.split(b"\0", 1)[0].decode())
    env.bios.seed({"settings": {"Audio": 0, "ACRecovery": 0, "AutoPower": 0, "Fastboot": 2}})
    show(None, "after scrambling the simulator", env.call("bios", "GetBios", para))
    show(None, "SetBios restoring the file",
         env.call("bios", "SetBios", json.dumps({"DeviceKORACMOSRestoreFilePath": path})))
    show(None, "GetBios after the restore", env.call("bios", "GetBios", para))
    os.unlink(path)
    os.rmdir(folder)
