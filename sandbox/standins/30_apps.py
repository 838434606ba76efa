"""Installed add-on applications under the host root: the Jabra and EPOS companion-app
trees, the HID multiplexer's init script and key file, and the UC plug-in toggle script.

Every script only records how it was called (one JSON line per call) and exits, so tests can
check which scripts ran, in which order and with which arguments. Test API: `env.apps`."""

import json
import os
import shlex

import corvo_env

JABRA_ROOT = "/compat/linux/apps/Jabra"
JABRA_PROGRAM = JABRA_ROOT + "/usr/local/gn"
JABRA_PROGRAM_BK = JABRA_ROOT + "/usr/local/gn_bk"
JABRA_START = JABRA_PROGRAM + "/jdu.sh"
JABRA_INI = "/opt/jabra/Jabra.ini"

EPOS_ROOT = "/compat/linux/apps/Epos_Connect"
EPOS_PROGRAM = EPOS_ROOT + "/usr/sbin"
EPOS_PROGRAM_BK = EPOS_ROOT + "/usr/sbin_bk"
EPOS_START = EPOS_PROGRAM + "/epos-connect"
EPOS_CONFIG = EPOS_ROOT + "/etc/epos-connect/config.txt"

HID_INIT = "/compat/linux/apps/HID_Citrix/etc/init.d/dpmuxd"
HID_CONF = "/compat/linux/apps/HID_Citrix/etc/HID/warthog.conf"
UC_SCRIPT = "/compat/linux/usr/share/system/toggle_uc_plugins.sh"

# Shipped by the HID package; comments and the translated name must survive the daemon's edit.
HID_CONF_TEXT = """# HID multiplexer settings, installed with the package.
# The settings daemon changes Basic/Status only.

[Basic]
# Whether the multiplexer runs
Status=Off
Name=HID multiplexer
Name[de]=HID-Multiplexer
LogLevel=2

[Devices]
# Vendor ids handled by the multiplexer
Vendors=0b0e;047f
"""
HID_CONF_MODE = 0o640

RECORDING_SCRIPT = """#!/bin/sh
# Stand-in: records its arguments and exits.
exec /usr/bin/python3 -c 'import json, sys
with open(sys.argv[1], "a") as f:
    f.write(json.dumps({"script": sys.argv[2], "args": sys.argv[3:]}) + "\\n")' %s %s "$@"
"""


class Apps:
    def __init__(self, env):
        self.env = env
        self.record_file = os.path.join(env.workdir, "apps", "calls.jsonl")

    def install(self):
        root = self.env.root
        os.makedirs(os.path.dirname(self.record_file), exist_ok=True)
        for path in (JABRA_START, EPOS_START, HID_INIT, UC_SCRIPT):
            self._script(path)
        os.makedirs(root(os.path.dirname(JABRA_INI)), exist_ok=True)
        os.makedirs(root(os.path.dirname(EPOS_CONFIG)), exist_ok=True)
        root.write(HID_CONF, HID_CONF_TEXT, HID_CONF_MODE)
        # The plug-in script is run through the host's /bin/sh.
        shell = root("/bin/sh")
        if not os.path.lexists(shell):
            os.makedirs(os.path.dirname(shell), exist_ok=True)
            os.symlink("/bin/sh", shell)

    def _script(self, fixed_path):
        text = RECORDING_SCRIPT % (shlex.quote(self.record_file), shlex.quote(os.path.basename(fixed_path)))
        self.env.root.write(fixed_path, text, 0o755)

    def script_calls(self, script=None):
        """[[script name, arg, ...], ...] in the order the scripts ran; `script` filters by
        name ("jdu.sh", "epos-connect", "dpmuxd", "toggle_uc_plugins.sh")."""
        try:
            with open(self.record_file) as f:
                calls = [json.loads(line) for line in f if line.strip()]
        except FileNotFoundError:
            return []
        return [[c["script"]] + c["args"] for c in calls if script is None or c["script"] == script]

    def wait_for_calls(self, script, count, timeout=15):
        """The applications start in the background; waits until `script` ran `count` times."""
        corvo_env.wait_until(lambda: len(self.script_calls(script)) >= count, timeout)
        return self.script_calls(script)

    def clear(self):
        if os.path.exists(self.record_file):
            os.unlink(self.record_file)

    def exists(self, fixed_path):
        return os.path.lexists(self.env.root(fixed_path))

    def hid_conf(self):
        return self.env.root.read(HID_CONF)


def setup(env):
    env.apps = Apps(env)
    env.apps.install()
