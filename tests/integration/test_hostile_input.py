"""Whatever a caller sends, every method of the four services answers once and the daemon
keeps running: valid requests, mutated ones, wrong JSON types for every member, deep
nesting, a 1 MiB text, arbitrary UTF-8, empty text, and every string member full of shell,
sed, JSON and path metacharacters. No command is run by caller text, every JSON reply
parses, and the boot-loader and host sysctl files keep whole, well-formed lines.

CORVO_LONG_TESTS=1 sends many more generated inputs per method."""
import json
import os
import random
import re
import zlib

import dbus
import pytest

import corvo_env
from helpers import UNKNOWN_METHOD, daemon

LONG = os.environ.get("CORVO_LONG_TESTS") == "1"
BUDGET = 3000 if LONG else 160  # inputs per method beyond the fixed structural ones
MIB = 1024 * 1024

LOADER_START = '# boot configuration, kept by hand\nautoboot_delay="2"\n\n'
SYSCTL_START = '# host tunables\nkern.maxfiles=20000\n'
LOADER_LINE = re.compile(r'^(\s*(#.*)?|[A-Za-z0-9_.-]+="[^"\n]*")$')
SYSCTL_LINE = re.compile(r'^(\s*(#.*)?|[A-Za-z0-9_.-]+=[^\n]*)$')

HEADSET_FORBIDDEN = "|;&$><'\\!#"
HEADSET_PATH_MAX = 99  # bytes the handler keeps of each configuration path

# Per method: how its parameter is shaped, valid requests, and the members that carry a
# path the daemon writes or reads as given (anchored under the test's folder, see below).
# "object"/"array": JSON text; "text": the value itself; "none": no argument.
METHODS = {
    ("settings", "ConfigBoardSerialPort"): ("object", [{"BoardSerialPortEnable": True},
                                                       {"BoardSerialPortEnable": False}], ()),
    ("settings", "SysctlGeneric"): ("object", [{"sysctl": "v4l2_not_allowed", "boolkey": True},
                                               {"sysctl": "v4l2_not_allowed", "boolkey": False}], ()),
    ("settings", "SetTerminal"): ("object", [{"DisablePowerButton": "yes", "DisableRestart": "no"},
                                             {"DisablePowerButton": "no"}, {"DisableRestart": "yes"}], ()),
    ("settings", "Sysctl"): ("object", [{"CPUCStateLowest": "C1"}, {"CPUCStateLowest": "Cmax"},
                                        {"EnableUserCoreDump": "yes"}, {"EnableUserCoreDump": "?"},
                                        {"ForceKernelCoreDump": "no"}, {"EnableRe0ASPM": "yes"},
                                        {"hw_usb_setting": "no_shutdown_wait=1"}], ()),
    ("settings", "UsbConfigure"): ("object", [{"EnableUDiskReadOnly": "no", "USBWhiteListVIDPID": "0x046d:0xc52b",
                                               "USBWhiteListClass": "HID,0x080650", "USBBlackListVIDPID": "",
                                               "USBBlackListClass": "Audio"},
                                              {"USBBlackListClass": "MASS_STORAGE,0x03"}], ()),
    ("settings", "UsbRedConfigure"): ("object", [{"usbifstring": "0x12345678,NoDriver 0x080650",
                                                  "usbredenable": "yes"},
                                                 {"usbifstring": "0x0123456789abcd", "usbredenable": "no"}], ()),
    ("settings", "EEEConfigure"): ("text", ["true", "false"], ()),
    ("settings", "VusbProperty"): ("object", [{"usbRedirect": True, "excludePrinter": False, "excludeDisk": True,
                                               "excludeVideo": False, "excludeAudio": True}], ()),
    ("settings", "UpdateLoaderConf"): ("text", ["foo.bar=5", "foo.bar=0"], ()),
    ("settings", "GKeyConfigure"): ("text", ["TRUE", "false"], ()),
    ("settings", "RKeyConfigure"): ("text", ["true", "FALSE"], ()),
    ("settings", "GetCameraInfo"): ("text", [""], ()),
    ("settings", "SetUsbUhidDriver"): ("object", [{"uhid": "0x1234:0x5678,0x0a0b:0x0c0d"}, {"uhid": ""}], ()),
    ("settings", "SetCameraFormat"): ("object", [{"devicePath": "/dev/video0", "format": "YUYV", "width": 640,
                                                  "height": 480, "fps": 30}], ()),
    ("bios", "SetBios"): ("object", [{"DeviceKORACMOSAudio": 1, "DeviceKORACMOSAutoPower": "Days",
                                      "DeviceKORACMOSAutoPowerDays": ["Monday", "FRIDAY"],
                                      "DeviceKORACMOSAutoPowerTime": "7:05", "DeviceKORACMOSACRecovery": "PowerOn",
                                      "DeviceKORACMOSWakeOnLan": "Disable", "DeviceKORACMOSCurrentPassword": ""},
                                     {"DeviceKORACMOSRestoreFilePath": "@restore.cmos",
                                      "DeviceKORACMOSRestorePassword": ""}],
                          ("DeviceKORACMOSRestoreFilePath",)),
    ("bios", "GetBios"): ("array", [[], ["DeviceKORACMOSAudio", "DeviceKORACMOSAssettag",
                                         "DeviceKORACMOSAutoPower"]], ()),
    ("bios", "ExtBios"): ("object", [{"DeviceKORACMOSExtractFilePath": "@extract.cmos"}],
                          ("DeviceKORACMOSExtractFilePath",)),
    ("bios", "UpdateBios"): ("none", [None], ()),
    ("headset", "SetHeadset"): ("object", [{"jabraConfigFile": "@jabra.ini", "eposConfigFile": "@epos.txt",
                                            "jabraEnable": 1, "eposEnable": 1},
                                           {"jabraEnable": 0, "eposEnable": 0}], ()),
    ("thirdapps", "SetAppStatus"): ("object", [{"name": "HID", "status": True}, {"name": "hid", "status": False}],
                                    ()),
    ("thirdapps", "EnableUCPlugins"): ("array", [[{"plugin": "teams", "value": False},
                                                  {"plugin": "zoom", "value": True}], []], ()),
}

WRONG_TYPES = [None, True, False, 0, -1, 2 ** 31, -(2 ** 63), 2 ** 64, 1.5, -0.0, 1e308, "", "x", [], {},
               ["a", 1], {"a": {"b": None}}]


def metacharacters(canary):
    touch = "touch " + canary
    return [
        "$(%s)" % touch, "`%s`" % touch, "x;%s" % touch, "x'; %s; '" % touch, 'x"; %s; "' % touch,
        "x\n%s\n" % touch, "x && %s" % touch, "x | %s" % touch, "s/.*/X/;e %s" % touch, "/.*/d",
        "1d;$a\\\nx=\"1\"", '{"a": "b"}', '"}, "x": {"', '\\"\\u0000', "/", "../", "../../../../etc/passwd",
        "./.", "%s%n%x%p", "%999999999s", "\t\r\n", "\u2028\u2029", "x=\"1\"\ny", "#", "~root", "*", "?",
    ]


def utf8_noise(rng, length):
    """Arbitrary valid UTF-8 without NUL: what a D-Bus string may hold."""
    out = []
    for _ in range(length):
        pick = rng.random()
        if pick < 0.5:
            out.append(chr(rng.randint(1, 0x7f)))
        elif pick < 0.8:
            out.append(chr(rng.randint(0x80, 0xd7ff)))
        else:
            out.append(chr(rng.randint(0xe000, 0x10ffff)))
    return "".join(out)


def mutate(rng, text):
    chars = list(text)
    for _ in range(rng.randint(1, 4)):
        op = rng.randrange(5)
        pos = rng.randint(0, len(chars))
        if op == 0 and chars:
            del chars[min(pos, len(chars) - 1)]
        elif op == 1:
            chars.insert(pos, rng.choice('{}[]",:\\ 0x\n\'-.e' + utf8_noise(rng, 1)))
        elif op == 2 and chars:
            end = min(len(chars), pos + rng.randint(1, 16))
            chars[pos:pos] = chars[pos:end]
        elif op == 3:
            chars = chars[:pos]
        elif op == 4 and len(chars) > 1:
            a, b = rng.randrange(len(chars)), rng.randrange(len(chars))
            chars[a], chars[b] = chars[b], chars[a]
    return "".join(chars)


class Inputs:
    """The inputs of one method, each (category, argument text or None)."""

    def __init__(self, shape, valid, path_members, folder, canary, seed):
        self.shape = shape
        self.path_members = path_members
        self.folder = folder
        self.rng = random.Random(seed)
        self.valid = [self.anchor_all(v) for v in valid]
        self.canary = canary

    # Paths the daemon takes as given stay under the test's folder whatever they hold; "@x"
    # in a valid request names a file there.
    def anchor(self, member, value):
        if member in self.path_members and isinstance(value, str):
            return os.path.join(self.folder, value.lstrip("@"))
        if isinstance(value, str) and value.startswith("@"):
            return os.path.join(self.folder, value[1:])
        return value

    def anchor_all(self, request):
        if isinstance(request, dict):
            return {k: self.anchor(k, v) for k, v in request.items()}
        return request

    def text(self, request):
        if self.shape == "text":
            return request
        return json.dumps(request, ensure_ascii=self.rng.random() < 0.5)

    def safe(self, text):
        """Mutated texts whose path members left the test's folder are not sent."""
        if not self.path_members:
            return True
        try:
            request = json.loads(text)
        except (ValueError, RecursionError):
            return True
        if not isinstance(request, dict):
            return True
        return all(not isinstance(request.get(m), str) or request[m].startswith(self.folder + "/")
                   for m in self.path_members)

    def members(self):
        keys = []
        for request in self.valid:
            if isinstance(request, dict):
                keys += [k for k in request if k not in keys]
        return keys

    def fixed(self):
        """Structural inputs every method gets."""
        if self.shape == "none":
            return [("valid", None)] * 3
        out = [("valid", self.text(v)) for v in self.valid]
        out += [("empty", ""), ("1 MiB", "A" * MIB), ("1 MiB multibyte", "\u00e9" * (MIB // 2)),
                ("nested array", "[" * 100000 + "]" * 100000), ("nested object", '{"a":' * 50000 + "1" + "}" * 50000),
                ("unclosed nesting", "[{" * 20000), ("noise", utf8_noise(self.rng, 4096))]
        for meta in metacharacters(self.canary):
            if self.shape == "text":
                out.append(("meta", meta))
            elif self.shape == "array":
                out.append(("meta", json.dumps([meta])))
        for request in self.valid:
            if not isinstance(request, dict):
                continue
            for member in request:
                nested = request.copy()
                nested[member] = "@@nest@@"
                out.append(("nested member", json.dumps(nested).replace('"@@nest@@"', "[" * 5000 + "]" * 5000)))
                if isinstance(request[member], str):
                    for big in ("B" * MIB, utf8_noise(self.rng, 2000)):
                        changed = request.copy()
                        changed[member] = self.anchor(member, big)
                        out.append(("big/noise member", json.dumps(changed)))
        return [(c, t) for c, t in out if self.safe(t)]

    def generated(self):
        """Typed, metacharacter and mutated variants, shuffled."""
        if self.shape == "none":
            return []
        out = []
        for request in self.valid:
            if isinstance(request, dict):
                for member in request:
                    for wrong in WRONG_TYPES:
                        changed = request.copy()
                        changed[member] = wrong
                        out.append(("wrong type", json.dumps(changed)))
                    if isinstance(request[member], str) or member in self.path_members:
                        for meta in metacharacters(self.canary):
                            changed = request.copy()
                            changed[member] = self.anchor(member, meta)
                            out.append(("meta", json.dumps(changed, ensure_ascii=False)))
            elif isinstance(request, list):
                for wrong in WRONG_TYPES:
                    out.append(("wrong type", json.dumps([wrong])))
                    if request and isinstance(request[0], dict):
                        for member in request[0]:
                            element = dict(request[0], **{member: wrong})
                            out.append(("wrong type", json.dumps([element])))
                for meta in metacharacters(self.canary):
                    if request and isinstance(request[0], dict):
                        element = dict(request[0], plugin=meta)
                        out.append(("meta", json.dumps([element] + request[1:])))
            if self.shape != "text":
                out.append(("wrong type", json.dumps(list(request) if isinstance(request, dict) else {"k": request})))
        self.rng.shuffle(out)
        out = out[:BUDGET // 2] if not LONG else out
        while len(out) < BUDGET:
            base = self.text(self.rng.choice(self.valid))
            mutated = mutate(self.rng, base)
            for _ in range(self.rng.randint(0, 3)):
                mutated = mutate(self.rng, mutated)
            if "\x00" not in mutated and self.safe(mutated):
                out.append(("mutated", mutated))
        return out


def headset_refuses(text):
    """True when SetHeadset must end without a reply: a configuration path, as the
    handler keeps it, holds a forbidden character. None when unsure (text that this parser
    and the daemon's may read differently)."""
    try:
        request = json.loads(text)
    except (ValueError, RecursionError):
        return None if any(c in text for c in HEADSET_FORBIDDEN) else False
    if not isinstance(request, dict):
        return False
    for member in ("jabraConfigFile", "eposConfigFile"):
        value = request.get(member)
        if isinstance(value, str):
            kept = value.encode("utf-8")[:HEADSET_PATH_MAX].split(b"\0")[0]
            if any(c.encode() in kept for c in HEADSET_FORBIDDEN):
                return True
    return False


def check_files(env):
    for fixed_path, start, pattern in (("/boot/loader.conf.local", LOADER_START, LOADER_LINE),
                                       ("/etc/sysctl.conf.local", SYSCTL_START, SYSCTL_LINE)):
        text = env.root.read(fixed_path, "")
        assert text.startswith(start), (fixed_path, text[:500])
        assert text.endswith("\n"), (fixed_path, text[-200:])
        for line in text.split("\n")[:-1]:
            assert pattern.match(line), (fixed_path, line[:300])


def send(env, service, method, argument):
    """The call's one answer: ("reply", text) or ("error", D-Bus error name)."""
    name, path, interface = corvo_env.SERVICES[service]
    args = [] if argument is None else [argument]
    try:
        reply = env.caller.call_blocking(name, path, interface, method, "s" * len(args), args, timeout=120)
        return "reply", str(reply)
    except dbus.exceptions.DBusException as error:
        return "error", error.get_dbus_name()


# Root reaches every handler directly; any other caller once the authority allows it.
@pytest.fixture(scope="module", params=["root", "nobody"])
def hostile(tmp_path_factory, request):
    folder = str(tmp_path_factory.mktemp("hostile"))
    # Relative paths a caller sends land in the daemon's working folder: keep that here.
    here = os.getcwd()
    os.chdir(folder)
    try:
        with daemon(model="K50AIO") as env:
            env.root.write("/boot/loader.conf.local", LOADER_START)
            env.root.write("/etc/sysctl.conf.local", SYSCTL_START)
            for name in ("jabra.ini", "epos.txt"):
                with open(os.path.join(folder, name), "w") as f:
                    f.write("[settings]\n")
            env.hostile_folder = folder
            env.caller = env.bus.connection
            if request.param == "nobody":
                env.authority.allow_all()
                env.caller = env.nobody_connection()
            yield env
            # Whatever reached sysctl reached it as one argument after the variable name.
            assert all(len(argv) == 2 for argv in env.recorder.calls("sysctl"))
            # A caller's text is cut in log lines, whatever size it came in (1 MiB here). The
            # workers of a parallel run share the methods out: one that logs its text is called.
            send(env, "settings", "GKeyConfigure", "A" * MIB)
            log = env.daemon.log()
            assert max(len(line) for line in log.splitlines()) < 8192 and "A" * 512 + "... (%d bytes)" % MIB in log
    finally:
        os.chdir(here)


@pytest.mark.parametrize("service,method", list(METHODS), ids=[m for _, m in METHODS])
def test_every_input_gets_one_answer(hostile, service, method):
    env = hostile
    shape, valid, path_members = METHODS[(service, method)]
    canary = os.path.join(env.hostile_folder, "CANARY")
    inputs = Inputs(shape, valid, path_members, env.hostile_folder, canary, seed=zlib.crc32(method.encode()))
    cases = inputs.fixed() + inputs.generated()

    assert len(cases) >= 150 or shape == "none"
    for category, text in cases:
        kind, answer = send(env, service, method, text)
        shown = (category, (text or "")[:200])
        assert env.daemon.alive(), (shown, env.daemon.log()[-5000:])
        if kind == "error":
            # Only SetHeadset declines, and only for a configuration path it refuses.
            assert answer == UNKNOWN_METHOD and method == "SetHeadset" and headset_refuses(text) is not False, shown
        else:
            assert method != "SetHeadset" or headset_refuses(text) is not True, shown
            try:
                json.loads(answer)
            except ValueError as error:
                pytest.fail("reply is not JSON: %s\n%r\n%r" % (error, shown, answer[:2000]))
        assert not os.path.exists(canary), shown
        check_files(env)
    print("\n%s: %d inputs" % (method, len(cases)))
