"""Sixteen client processes calling a mix of cheap and real methods at once: every call
answers correctly, and the daemon's open descriptors and resident memory stay flat from
the first thousand calls to the end.

CORVO_LONG_TESTS=1 makes each client call a few thousand times."""
import json
import os
import subprocess
import sys
import time

import pytest

import corvo_env
from helpers import running

LONG = os.environ.get("CORVO_LONG_TESTS") == "1"
CLIENTS = 16
CALLS = 3000 if LONG else 500
WARM_UP = 1000

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
address, calls, seed, progress, expected_path = sys.argv[1:6]
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
    if done % 20 == 0 or done == int(calls):
        with open(progress, "w") as f:
            f.write("%d %d" % (done, len(errors)))
print(json.dumps(errors[:20]))
"""


def usage(pid):
    fds = len(os.listdir("/proc/%d/fd" % pid))
    with open("/proc/%d/status" % pid) as f:
        rss = next(int(line.split()[1]) for line in f if line.startswith("VmRSS:"))
    return fds, rss


def sanitized(binary):
    with open(binary, "rb") as f:
        return b"__asan_init" in f.read()


@pytest.fixture
def env():
    # The sanitizer's allocator holds freed blocks in a quarantine of up to 256 MB, which
    # would read as growth; a small one keeps the figure about the daemon's own memory.
    asan = os.environ.get("ASAN_OPTIONS", "detect_leaks=1:abort_on_error=0:exitcode=99")
    with running(daemon_env={"ASAN_OPTIONS": asan + ":quarantine_size_mb=1"}) as e:
        yield e


def test_sixteen_clients_get_correct_answers_with_flat_descriptors_and_memory(env):
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
    progress = [os.path.join(env.workdir, "load-progress-%d" % i) for i in range(CLIENTS)]
    clients = [subprocess.Popen([sys.executable, "-c", CLIENT, env.bus.address, str(CALLS), str(i), progress[i],
                                 expected_path], stdout=subprocess.PIPE, stderr=subprocess.PIPE)
               for i in range(CLIENTS)]

    def calls_done():
        total = 0
        for path in progress:
            try:
                with open(path) as f:
                    total += int(f.read().split()[0])
            except (FileNotFoundError, ValueError, IndexError):
                pass
        return total

    start = None
    while any(c.poll() is None for c in clients):
        if start is None and calls_done() >= WARM_UP:
            start = usage(pid)
        time.sleep(0.02)
    outputs = [c.communicate(timeout=600) for c in clients]
    end = usage(pid)
    total = calls_done()

    errors = []
    for client, (out, err) in zip(clients, outputs):
        assert client.returncode == 0, err.decode()
        errors += json.loads(out.decode())
    assert errors == [], errors
    assert total == CLIENTS * CALLS
    assert env.daemon.alive()
    assert start is not None

    print("\ncalls under load: %d from %d clients; daemon fds %d -> %d, RSS %d kB -> %d kB"
          % (total, CLIENTS, start[0], end[0], start[1], end[1]))
    assert end[0] <= start[0], "descriptors grew: %d -> %d" % (start[0], end[0])
    # Allocator noise only; the sanitizer's allocator has more of it.
    slack_kb = 16384 if sanitized(corvo_env.built("src", "corvo-settingsd")) else 4096
    assert end[1] <= start[1] + slack_kb, "resident memory grew: %d kB -> %d kB" % (start[1], end[1])
