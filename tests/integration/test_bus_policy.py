"""The shipped bus policy: only root may own the daemon's names or call its methods."""
import os
import subprocess

import pytest

import corvo_env

METHODS = {
    "settings": ["ConfigBoardSerialPort", "SysctlGeneric", "SetTerminal", "Sysctl", "UsbConfigure",
                 "UsbRedConfigure", "EEEConfigure", "VusbProperty", "UpdateLoaderConf", "GKeyConfigure",
                 "RKeyConfigure", "GetCameraInfo", "SetUsbUhidDriver", "SetCameraFormat",
                 "GetSettings"],
    "bios": ["SetBios", "GetBios", "ExtBios", "UpdateBios"],
    "headset": ["SetHeadset"],
    "thirdapps": ["SetAppStatus", "EnableUCPlugins"],
}
NOBODY = ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--"]


def dbus_send(address, destination, path, member, args, as_nobody):
    command = (NOBODY if as_nobody else []) + [
        "dbus-send", "--bus=" + address, "--print-reply", "--reply-timeout=20000",
        "--dest=" + destination, path, member] + args
    return subprocess.run(command, capture_output=True, text=True, timeout=30)


@pytest.fixture
def open_world(world):
    # The unprivileged client must reach the bus socket in the test's folder.
    os.chmod(world.workdir, 0o755)
    return world


def test_nobody_is_denied_every_method_and_property(open_world):
    world = open_world
    world.daemon.start()
    for service, methods in METHODS.items():
        name, path, interface = corvo_env.SERVICES[service]
        for method in methods:
            args = [] if method == "UpdateBios" else ["string:{}"]
            result = dbus_send(world.bus.address, name, path, interface + "." + method, args, as_nobody=True)
            assert result.returncode != 0, (service, method, result.stdout)
            assert "org.freedesktop.DBus.Error.AccessDenied" in result.stderr, (service, method, result.stderr)
        result = dbus_send(world.bus.address, name, path, "org.freedesktop.DBus.Properties.GetAll",
                           ["string:" + interface], as_nobody=True)
        assert "AccessDenied" in result.stderr
    assert world.daemon.alive()


def test_root_may_call(open_world):
    world = open_world
    world.daemon.start()
    result = dbus_send(world.bus.address, "com.corvo.settings", "/com/corvo/settings",
                       "org.freedesktop.DBus.Properties.Get", ["string:com.corvo.settings", "string:version"],
                       as_nobody=False)
    assert result.returncode == 0, result.stderr
    assert '"0.1"' in result.stdout


@pytest.mark.parametrize("name", corvo_env.NAMES)
def test_only_root_may_own_the_names(open_world, name):
    world = open_world
    request = ["string:" + name, "uint32:0"]
    denied = dbus_send(world.bus.address, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                       "org.freedesktop.DBus.RequestName", request, as_nobody=True)
    assert "org.freedesktop.DBus.Error.AccessDenied" in denied.stderr, denied.stderr
    granted = dbus_send(world.bus.address, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                        "org.freedesktop.DBus.RequestName", request, as_nobody=False)
    assert granted.returncode == 0, granted.stderr
    assert "uint32 1" in granted.stdout  # primary owner
