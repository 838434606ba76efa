"""Sixteen client processes calling a mix of cheap and real methods at once: every call
answers what the same call answers alone, and the daemon holds no more descriptors at the
end than at the start. (Memory under load is measured by bench/run.)

CORVO_LONG_TESTS=1 makes each client call a few thousand times."""
import json
import os
import subprocess
import sys

LONG = os.environ.get("CORVO_LONG_TESTS") == "1"
CLIENTS = 16
CALLS = 3000 if LONG else 200

# (weight, service, method, argument or None); a method that writes writes the same few
# values over and over, so the files and the store stay small.
MIX = [
    (6, "settings", "GetCameraInfo", ""),
    (6, "settings", "SysctlGeneric", '{"sysctl": "nothing"}'),
    (6, "settings", "UpdateLoaderConf", "bad/name=1"),
    (6, "settings", "Sysctl", '{"CPUCStateLowest": "C2"}'),
    (4, "settings", "SetTerminal", '{"DisableRestart": "yes"}'),
    (4, "settings", "EEEConfigure", "true"),
    (4, "settings", "UpdateLoaderConf", "load.test=1"),
    (3, "settings", "UsbRedConfigure", '{"usbifstring": "0x12345678 0x080650", "usbredenable": "no"}'),
    (3, "settings", "UsbConfigure", '{"USBWhiteListClass": "HID,0x0806"}'),
    (1, "settings", "Sysctl", '{"CPUCStateLowest": "C1"}'),
    (2, "thirdapps", "EnableUCPlugins", "[]"),
    (2, "headset", "SetHeadset", "{}"),
    (1, "bios", "UpdateBios", None),
]

CLIENT = r"""
import json, random, sys
import dbus
address, calls, seed, expected_path = sys.argv[1:5]
services = {"settings": "com.corvo.settings", "bios": "com.corvo.bios", "headset": "com.corvo.headset",
            "thirdapps": "com.corvo.thirdapps"}
with open(expected_path) as f:
    mix = json.load(f)
rng = random.Random(int(seed))
weights = [m[0] for m in mix]
connection = dbus.bus.BusConnection(address)
errors = []
for done in range(1, int(calls) + 1):
    weight, service, method, argument, expected = rng.choices(mix, weights)[0]
    name = services[service]
    path = "/" + name.replace(".", "/")
    args = [] if argument is None else [argument]
    try:
        reply = str(connection.call_blocking(name, path, name, method, "s" * len(args), args, timeout=120))
        if reply != expected:
            errors.append("%s(%r) -> %r, expected %r" % (method, argument, reply, expected))
    except dbus.exceptions.DBusException as error:
        errors.append("%s(%r) -> %s" % (method, argument, error))
print(json.dumps(errors[:20]))
"""


def descriptors(pid):
    return len(os.listdir("/proc/%d/fd" % pid))


def test_sixteen_clients_get_correct_answers_and_no_descriptor_leaks(env):
    # What each call must answer, taken from one call before the load; the fixed replies are
    # checked outright.
    mix = []
    for weight, service, method, argument in MIX:
        expected = env.call(service, method, *([] if argument is None else [argument]))
        mix.append((weight, service, method, argument, expected))
    fixed = {("SysctlGeneric", '{"sysctl": "nothing"}'): '{"Result":"Fail"}',
             ("UpdateLoaderConf", "bad/name=1"): '{"Result":"Fail"}',
             ("EEEConfigure", "true"): '{"Result":"Success"}',
             ("UpdateLoaderConf", "load.test=1"): '{"Result":"Success"}',
             ("Sysctl", '{"CPUCStateLowest": "C1"}'): '{"Result":"Success"}',
             ("UpdateBios", None): '{"result":"FAILED", "message": ""}'}
    for _, _, method, argument, expected in mix:
        assert fixed.get((method, argument), expected) == expected, (method, expected)
    expected_path = os.path.join(env.workdir, "load-mix.json")
    with open(expected_path, "w") as f:
        json.dump(mix, f)

    pid = env.daemon.process.pid
    start = descriptors(pid)
    clients = [subprocess.Popen([sys.executable, "-c", CLIENT, env.bus.address, str(CALLS), str(i), expected_path],
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE) for i in range(CLIENTS)]
    errors = []
    for client in clients:
        out, err = client.communicate(timeout=600)
        assert client.returncode == 0, err.decode()
        errors += json.loads(out.decode())
    assert errors == [], errors
    assert descriptors(pid) <= start
