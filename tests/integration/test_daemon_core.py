"""Process- and bus-level behaviour of the daemon entry point and the service objects."""
import os
import signal
import subprocess
import time

import dbus
import pytest

import corvo_env
from helpers import declined


def run_daemon(world, args, **kwargs):
    return subprocess.Popen([corvo_env.built("src", "corvo-settingsd")] + args, env=world.daemon.env(),
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, **kwargs)


def finished(process):
    out, err = process.communicate(timeout=30)
    return process.returncode, out, err


class TestCommandLine:
    @pytest.mark.parametrize("args", [[], [""]])
    def test_missing_or_empty_argument_exits_161_without_lock(self, world, args):
        assert finished(run_daemon(world, args))[0] == 161
        assert not os.path.exists(world.daemon.lock_path)
        assert not world.bus.has_owner("com.corvo.settings")

    def test_lock_path_after_double_dash_is_taken(self, world):
        world.daemon.start(["--", world.daemon.lock_path])
        with open(world.daemon.lock_path) as f:
            assert f.read() == str(world.daemon.process.pid)
        assert world.daemon.stop() == 160

    def test_lock_in_missing_folder_exits_160(self, world):
        lock = os.path.join(world.workdir, "no", "such", "lock")
        code, out, err = finished(run_daemon(world, [lock]))
        assert code == 160
        assert out == "Error: failed to open lockfile -4.\n"
        assert err == "E settings: Error: failed to open lockfile %s: -4 (No such file or directory)\n" % lock

    def test_second_instance_exits_162_and_keeps_the_first_pid(self, world):
        world.daemon.start()
        code, out, err = finished(run_daemon(world, [world.daemon.lock_path]))
        assert code == 162
        assert "Quit: already exists a previous instance of vpn.\n" in out
        assert "Quit: already exists a previous instance" in err
        with open(world.daemon.lock_path) as f:
            assert f.read() == str(world.daemon.process.pid)
        assert world.daemon.alive()

    def test_second_instance_retries_and_takes_a_lock_released_meanwhile(self, world):
        world.daemon.start()
        second = run_daemon(world, [world.daemon.lock_path])
        try:
            lock = os.path.realpath(world.daemon.lock_path)

            def holds_lock_file():
                try:
                    return any(os.readlink("/proc/%d/fd/%s" % (second.pid, fd)) == lock
                               for fd in os.listdir("/proc/%d/fd" % second.pid))
                except OSError:
                    return False
            assert corvo_env.wait_until(holds_lock_file), "the second instance never opened the lock"
            assert world.daemon.stop() == 160
            assert corvo_env.wait_until(lambda: world.bus.has_owner("com.corvo.thirdapps"), 15), \
                "the second instance gave up instead of retrying: %r" % (finished(second),)
            with open(world.daemon.lock_path) as f:
                assert f.read() == str(second.pid)
        finally:
            second.send_signal(signal.SIGTERM)
            assert finished(second)[0] == 160


@pytest.mark.parametrize("stop", [signal.SIGTERM, signal.SIGINT], ids=lambda s: s.name)
def test_stop_signal_releases_names_in_reverse_order_and_exits_160(world, stop):
    world.daemon.start()
    pid = world.daemon.process.pid
    monitor = subprocess.Popen(
        ["dbus-monitor", "--address", world.bus.address,
         "type='signal',interface='org.freedesktop.DBus',member='NameOwnerChanged'"],
        stdout=subprocess.PIPE, text=True)
    try:
        time.sleep(0.5)  # let the monitor subscribe
        code = world.daemon.stop(stop)
        time.sleep(0.5)
    finally:
        monitor.terminate()
        lines = monitor.communicate(timeout=5)[0].splitlines()
    assert code == 160
    released = []
    for i, line in enumerate(lines):
        # NameOwnerChanged carries name, old owner, new owner as three string lines.
        if "member=NameOwnerChanged" in line and i + 3 < len(lines):
            name, old, new = (l.strip().split('"')[1] for l in lines[i + 1:i + 4])
            if name in corvo_env.NAMES and old and not new:
                released.append(name)
    assert released == ["com.corvo.thirdapps", "com.corvo.headset", "com.corvo.bios", "com.corvo.settings"]
    with open(world.daemon.lock_path) as f:
        assert f.read() == str(pid)
    version = finished(run_daemon(world, ["--version"]))[1].split()[1]
    lines = world.daemon.log().splitlines()
    assert lines[0] == "V settings: corvo-settingsd %s starting, pid %d, host root %s" % (version, pid, world.root.path)
    assert [line for line in lines if "stopping" in line] == ["V settings: stopping on " + stop.name]


def test_properties_and_unanswered_calls(env):
    for service in ("settings", "bios", "headset"):
        assert dict(env.get_all(service)) == {"version": "0.1"}
        assert env.get_property(service, "version") == "0.1"
    assert dict(env.get_all("thirdapps")) == {}
    with pytest.raises(dbus.exceptions.DBusException) as info:
        env.get_property("settings", "nosuch")
    assert info.value.get_dbus_name() == "org.freedesktop.DBus.Error.InvalidArgs"
    name, path, interface = corvo_env.SERVICES["bios"]
    with pytest.raises(dbus.exceptions.DBusException):
        env.bus.connection.call_blocking(name, path, "org.freedesktop.DBus.Properties", "Set", "ssv",
                                         [interface, "version", dbus.String("9")])
    assert env.get_property("bios", "version") == "0.1"
    # SetHeadset declines a configuration path holding ';': exactly one error comes back.
    error = declined(env, "headset", "SetHeadset", {"jabraConfigFile": "/tmp/a;b"})
    assert error.get_dbus_message() == "Method SetHeadset is not implemented on interface com.corvo.headset"
