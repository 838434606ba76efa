"""Process- and bus-level behaviour of the daemon entry point and the service objects."""
import os
import signal
import subprocess
import time

import dbus
import pytest

import corvo_env


def run_daemon(world, args, timeout=20):
    env = world.daemon.env()
    return subprocess.run([corvo_env.built("src", "corvo-settingsd")] + args, env=env,
                          capture_output=True, text=True, timeout=timeout)


class TestCommandLine:
    @pytest.mark.parametrize("args", [[], [""]])
    def test_missing_or_empty_argument_exits_161_without_lock(self, world, args):
        result = run_daemon(world, args)
        assert result.returncode == 161
        assert not os.path.exists(world.daemon.lock_path)
        assert not world.bus.has_owner("com.corvo.settings")

    def test_lock_in_missing_folder_exits_160(self, world):
        result = run_daemon(world, [os.path.join(world.workdir, "no", "such", "lock")])
        assert result.returncode == 160
        assert "Error: failed to open lockfile -4.\n" in result.stdout
        assert "Error: failed to open lockfile" in result.stderr

    def test_second_instance_retries_then_exits_162(self, world):
        world.daemon.start()
        first_pid = world.daemon.process.pid
        started = time.monotonic()
        result = run_daemon(world, [world.daemon.lock_path])
        elapsed = time.monotonic() - started
        assert result.returncode == 162
        assert "Quit: already exists a previous instance of vpn.\n" in result.stdout
        assert "Quit: already exists a previous instance" in result.stderr
        assert 1.8 <= elapsed < 10
        with open(world.daemon.lock_path) as f:
            assert f.read() == str(first_pid)
        assert world.daemon.alive()


class TestStop:
    def test_sigterm_releases_names_in_reverse_order_and_exits_160(self, world):
        world.daemon.start()
        pid = world.daemon.process.pid
        monitor = subprocess.Popen(
            ["dbus-monitor", "--address", world.bus.address,
             "type='signal',interface='org.freedesktop.DBus',member='NameOwnerChanged'"],
            stdout=subprocess.PIPE, text=True)
        try:
            time.sleep(0.5)  # let the monitor subscribe
            code = world.daemon.stop(signal.SIGTERM)
            time.sleep(0.5)
        finally:
            monitor.terminate()
            output = monitor.communicate(timeout=5)[0]
        assert code == 160
        released = []
        lines = output.splitlines()
        for i, line in enumerate(lines):
            # NameOwnerChanged carries name, old owner, new owner as three string lines.
            if "member=NameOwnerChanged" in line and i + 3 < len(lines):
                name, old, new = (l.strip().split('"')[1] for l in lines[i + 1:i + 4])
                if name in corvo_env.NAMES and old and not new:
                    released.append(name)
        assert released == ["com.corvo.thirdapps", "com.corvo.headset", "com.corvo.bios", "com.corvo.settings"]
        with open(world.daemon.lock_path) as f:
            assert f.read() == str(pid)


class TestServiceObjects:
    def test_version_properties(self, env):
        for service in ("settings", "bios", "headset"):
            props = env.get_all(service)
            assert dict(props) == {"version": "0.1"}
            assert env.get_property(service, "version") == "0.1"
        assert dict(env.get_all("thirdapps")) == {}

    def test_unknown_property_is_invalid_args(self, env):
        with pytest.raises(dbus.exceptions.DBusException) as info:
            env.get_property("settings", "nosuch")
        assert info.value.get_dbus_name() == "org.freedesktop.DBus.Error.InvalidArgs"

    def test_version_is_read_only(self, env):
        name, path, interface = corvo_env.SERVICES["bios"]
        with pytest.raises(dbus.exceptions.DBusException):
            env.bus.connection.call_blocking(name, path, "org.freedesktop.DBus.Properties", "Set", "ssv",
                                             [interface, "version", dbus.String("9")])
        assert env.get_property("bios", "version") == "0.1"

    def test_introspection_lists_every_method(self, env):
        name, path, _ = corvo_env.SERVICES["settings"]
        xml = env.bus.connection.call_blocking(name, path, "org.freedesktop.DBus.Introspectable", "Introspect", "", [])
        for method in ("ConfigBoardSerialPort", "SysctlGeneric", "SetTerminal", "Sysctl", "UsbConfigure",
                       "UsbRedConfigure", "EEEConfigure", "VusbProperty", "UpdateLoaderConf", "GKeyConfigure",
                       "RKeyConfigure", "GetCameraInfo", "SetUsbUhidDriver", "SetCameraFormat"):
            assert '<method name="%s">' % method in xml

    def test_declined_call_is_one_unknown_method_error(self, env):
        # SetHeadset declines a configuration path holding ';'; exactly one error comes back.
        with pytest.raises(dbus.exceptions.DBusException) as info:
            env.call("headset", "SetHeadset", '{"jabraConfigFile": "/tmp/a;b"}')
        assert info.value.get_dbus_name() == "org.freedesktop.DBus.Error.UnknownMethod"
        assert info.value.get_dbus_message() == \
            "Method SetHeadset is not implemented on interface com.corvo.headset"
        assert env.daemon.alive()
