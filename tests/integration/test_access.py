"""Who may call what: only root may own the daemon's names; anyone may call its methods,
read its properties and introspect it; root may do everything, everyone else what the polkit
authority allows, and nothing where there is no authority."""
import os
import pty
import re
import subprocess

import dbus
import pytest

import corvo_env
from helpers import SUCCESS

METHODS = {
    "settings": ["ConfigBoardSerialPort", "SysctlGeneric", "SetTerminal", "Sysctl", "UsbConfigure",
                 "UsbRedConfigure", "EEEConfigure", "VusbProperty", "UpdateLoaderConf", "GKeyConfigure",
                 "RKeyConfigure", "GetCameraInfo", "SetUsbUhidDriver", "SetCameraFormat",
                 "GetSettings"],
    "bios": ["SetBios", "GetBios", "ExtBios", "UpdateBios"],
    "headset": ["SetHeadset"],
    "thirdapps": ["SetAppStatus", "EnableUCPlugins"],
}
SETPRIV = ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--"]
ACCESS_DENIED = "org.freedesktop.DBus.Error.AccessDenied"
C1 = '{"CPUCStateLowest":"C1"}'


def dbus_send(world, destination, path, member, args, as_nobody, wait=True):
    command = (SETPRIV if as_nobody else []) + [
        "dbus-send", "--bus=" + world.bus.address, "--print-reply", "--reply-timeout=20000",
        "--dest=" + destination, path, member] + args
    if not wait:
        return subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    return subprocess.run(command, capture_output=True, text=True, timeout=30)


def call_as(connection, service, method, argument="{}"):
    """("reply", text) or ("error", D-Bus error name)."""
    name, path, interface = corvo_env.SERVICES[service]
    args = [] if method == "UpdateBios" else [argument]
    try:
        return "reply", str(connection.call_blocking(name, path, interface, method, "s" * len(args), args))
    except dbus.exceptions.DBusException as error:
        return "error", error.get_dbus_name()


def interactive_call(world, method):
    """A call from uid 65534 that allows interactive authorisation."""
    return subprocess.run(SETPRIV + ["gdbus", "call", "--address", world.bus.address, "--interactive",
                                     "--dest", "com.corvo.settings", "--object-path", "/com/corvo/settings",
                                     "--method", "com.corvo.settings." + method, "{}"],
                          capture_output=True, text=True, timeout=30)


def host_state(world):
    """Every file under the host root with its content, and the programs run so far."""
    files = {}
    for folder, _, names in os.walk(world.root.path):
        for name in names:
            with open(os.path.join(folder, name), "rb") as f:
                files[os.path.join(folder, name)] = f.read()
    return files, world.recorder.calls()


def sysctl(world):
    return [argv[1] for argv in world.recorder.calls("sysctl")]


def test_nobody_may_read_and_introspect_but_call_nothing_the_authority_does_not_allow(world, tree):
    world.authority.allow()
    world.daemon.start()
    nobody = world.nobody_connection()
    before = host_state(world)
    for service, methods in METHODS.items():
        name, path, interface = corvo_env.SERVICES[service]
        for method in methods:
            assert call_as(nobody, service, method) == ("error", ACCESS_DENIED), (service, method)
        assert nobody.call_blocking(name, path, "org.freedesktop.DBus.Properties", "GetAll", "s", [interface]) \
            is not None
        assert "<interface name=\"%s\">" % interface in nobody.call_blocking(
            name, path, "org.freedesktop.DBus.Introspectable", "Introspect", "", [])
    assert host_state(world) == before
    denied = re.findall(r"^N audit: (\S+) uid=65534 pid=%d keys= denied$" % os.getpid(), world.daemon.log(), re.M)
    assert sorted(denied) == sorted("com.corvo.%s.%s" % (s, m) for s, ms in METHODS.items() for m in ms)
    # Every action asked for is one the installed policy declares.
    with open(tree("datadir", "polkit-1", "actions", "com.corvo.settingsd.policy")) as f:
        declared = set(re.findall(r'<action id="([^"]+)">', f.read()))
    asked = {action for action, _ in world.authority.checks()}
    assert len(asked) == 9 and asked <= declared


def test_without_an_authority_nobody_may_call_nothing(world):
    world.daemon.start()
    assert call_as(world.nobody_connection(), "settings", "Sysctl", C1) == ("error", ACCESS_DENIED)
    assert sysctl(world) == []


def test_nobody_may_do_exactly_what_the_authority_allows(world):
    world.authority.allow("com.corvo.settings.system")
    world.daemon.start()
    nobody = world.nobody_connection()
    assert call_as(nobody, "settings", "Sysctl", C1) == ("reply", SUCCESS)
    assert sysctl(world) == ["hw.acpi.cpu.cx_lowest=C1"]
    before = host_state(world)
    assert call_as(nobody, "settings", "UsbConfigure", '{"USBBlackListClass":"Audio"}') == ("error", ACCESS_DENIED)
    assert host_state(world) == before
    # The flag that lets the authority ask for a password travels exactly when the call allows it.
    assert interactive_call(world, "SetTerminal").returncode == 0
    assert world.authority.checks() == [("com.corvo.settings.system", 0), ("com.corvo.settings.usb-policy", 0),
                                        ("com.corvo.settings.system", 1)]
    subject = next(args[0] for method, args in world.authority.calls() if method == "CheckAuthorization")
    assert subject == ("system-bus-name", {"name": nobody.get_unique_name()})


def test_a_challenge_the_call_did_not_allow_is_answered_as_such(world):
    world.authority.challenge()
    world.daemon.start()
    required = "org.freedesktop.DBus.Error.InteractiveAuthorizationRequired"
    assert call_as(world.nobody_connection(), "settings", "SetTerminal") == ("error", required)
    assert "GDBus.Error:%s:" % ACCESS_DENIED in interactive_call(world, "SetTerminal").stderr


def test_root_never_asks_the_authority_nor_waits_for_another_callers_answer(world):
    world.authority.allow_all()
    world.authority.hang()
    world.daemon.start()
    os.chmod(world.workdir, 0o755)
    pending = dbus_send(world, "com.corvo.settings", "/com/corvo/settings", "com.corvo.settings.Sysctl",
                        ["string:" + C1], as_nobody=True, wait=False)
    assert corvo_env.wait_until(world.authority.hanging)
    assert world.call("settings", "Sysctl", '{"CPUCStateLowest":"Cmax"}') == SUCCESS
    assert pending.poll() is None
    assert sysctl(world) == ["hw.acpi.cpu.cx_lowest=Cmax"]
    world.authority.release()
    assert pending.wait(30) == 0, pending.stderr.read()
    assert sysctl(world) == ["hw.acpi.cpu.cx_lowest=Cmax", "hw.acpi.cpu.cx_lowest=C1"]
    assert world.authority.checks() == [("com.corvo.settings.system", 0)]


@pytest.mark.parametrize("options,allowed,code,flags,agent", [
    ([], [], 3, 1, True),
    (["--no-ask-password"], ["com.corvo.settings.system"], 0, 0, False),
], ids=["asks", "never-asks"])
def test_corvoctl_at_a_terminal_lets_the_authority_ask_unless_told_not_to(world, options, allowed, code, flags,
                                                                          agent):
    world.authority.allow(*allowed)
    world.daemon.start()
    os.chmod(world.workdir, 0o755)
    controller, terminal = pty.openpty()
    try:
        # A session of its own with the terminal as its controlling one, as at a console.
        result = subprocess.run(["setsid", "--ctty"] + SETPRIV + [corvo_env.built("src", "ctl", "corvoctl")] +
                                options + ["call", "settings", "SetTerminal", '{"DisablePowerButton":"no"}'],
                                env=dict(os.environ, DBUS_SYSTEM_BUS_ADDRESS=world.bus.address),
                                stdin=terminal, capture_output=True, text=True, timeout=60)
    finally:
        os.close(controller)
        os.close(terminal)
    assert result.returncode == code, result.stderr
    if code:
        assert result.stderr.startswith("corvoctl: %s: " % ACCESS_DENIED), result.stderr
    assert world.authority.checks() == [("com.corvo.settings.system", flags)]
    registered = [m for m, _ in world.authority.calls() if m.startswith("RegisterAuthenticationAgent")]
    assert len(registered) == agent


@pytest.mark.parametrize("name", corvo_env.NAMES)
def test_only_root_may_own_the_names(world, name):
    os.chmod(world.workdir, 0o755)
    request = ["string:" + name, "uint32:0"]
    denied = dbus_send(world, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus.RequestName",
                       request, as_nobody=True)
    assert ACCESS_DENIED in denied.stderr, denied.stderr
    granted = dbus_send(world, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus.RequestName",
                        request, as_nobody=False)
    assert granted.returncode == 0, granted.stderr
    assert "uint32 1" in granted.stdout  # primary owner
