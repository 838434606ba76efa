"""USB policy write: UsbConfigure with all four lists and a changed read-only switch, beside
the same eight boot-loader file edits done the naive way, one `sh -c "sed -i ..."` process
pair per edit."""
import json
import os
import subprocess
import tempfile

import benchlib

BUDGET = 10.0
FIGURE = "UsbConfigure, 4 lists + changed read-only switch"
ALTERNATIVE = "8 edits via sh -c sed -i"
LISTS = {
    "USBWhiteListVIDPID": "0x046d0825,0x04f2b5a3,0x0bda5411",
    "USBWhiteListClass": "HID,MASS_STORAGE,0x080650,Printer",
    "USBBlackListVIDPID": "0x12345678,0x0a5c5834",
    "USBBlackListClass": "0x0e,Wireless,Audio",
}
TUNABLES = {
    "usb.whitelist.vidpid": LISTS["USBWhiteListVIDPID"],
    "usb.whitelist.class": LISTS["USBWhiteListClass"],
    "usb.blacklist.vidpid": LISTS["USBBlackListVIDPID"],
    "usb.blacklist.class": LISTS["USBBlackListClass"],
}
LOADER_START = '# boot-loader tunables of the terminal\nhw.re.eee_enable="1"\nkern.ttyS.enablement="true"\n'


def request(read_only):
    return json.dumps(dict(LISTS, EnableUDiskReadOnly="yes" if read_only else "no"))


def sed_edits(path):
    """What a shell-based implementation runs for the same request: a delete and an append
    per list tunable."""
    for name, value in TUNABLES.items():
        subprocess.run(["sh", "-c", "/usr/bin/sed -i '/%s/d' %s" % (name, path)], check=True)
    for name, value in TUNABLES.items():
        subprocess.run(["sh", "-c", "/usr/bin/sed -i -e '$a\\\n%s=\"%s\"\n' %s" % (name, value, path)], check=True)


def run(options):
    with benchlib.world() as env:
        if benchlib.stand_in(env, "peers") is None:
            return [benchlib.skipped(FIGURE, benchlib.NO_STAND_IN, ALTERNATIVE, ">= %g x faster" % BUDGET)]
        env.root.write("/boot/loader.conf.local", LOADER_START)
        caller = benchlib.Caller(env.bus.address)
        try:
            if not caller.served("settings", "UsbConfigure", request(True)):
                return [benchlib.skipped(FIGURE, benchlib.NOT_SERVED, ALTERNATIVE, ">= %g x faster" % BUDGET)]
            read_only = False  # the probe above stored "yes": every call below changes it
            call_times = []
            for _ in range(options.writes):
                call_times.append(benchlib.timed(caller.call, "settings", "UsbConfigure", request(read_only)))
                read_only = not read_only
        finally:
            caller.close()

    with tempfile.TemporaryDirectory(prefix="corvo-bench-sed-") as folder:
        path = os.path.join(folder, "loader.conf.local")
        with open(path, "w") as f:
            f.write(LOADER_START)
        sed_times = [benchlib.timed(sed_edits, path) for _ in range(options.writes)]

    value = benchlib.median(call_times) * 1e3
    alternative = benchlib.median(sed_times) * 1e3
    return [benchlib.row(FIGURE + ", p50", value, "ms", ALTERNATIVE + ", p50", alternative,
                         budget=">= %g x faster" % BUDGET, met=alternative >= BUDGET * value, faster=True,
                         samples=options.writes)]
