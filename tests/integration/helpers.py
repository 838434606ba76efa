"""What the integration tests share: one way to run a daemon and check how it ends, calls
with one text argument, and the reply texts."""
import contextlib
import json
import os
import subprocess
import sys

import dbus
import pytest

import corvo_env

SUCCESS = '{"Result":"Success"}'
FAIL = '{"Result":"Fail"}'
UNKNOWN_METHOD = "org.freedesktop.DBus.Error.UnknownMethod"
LOADER = "/boot/loader.conf.local"
SYSCTL = "/etc/sysctl.conf.local"
# The BIOS simulator's security key: every token write of a verified session carries it.
KEY = 0x5EED
POLKIT = "org.freedesktop.PolicyKit1"
POLKIT_PATH = "/org/freedesktop/PolicyKit1/Authority"
POLKIT_AUTHORITY = "org.freedesktop.PolicyKit1.Authority"
ACCESS_DENIED = "org.freedesktop.DBus.Error.AccessDenied"
NOBODY = 65534


def call(env, method, params, service="settings"):
    """One call; a parameter that is not a text is sent as JSON, None sends no argument."""
    if params is None:
        return env.call(service, method)
    return env.call(service, method, params if isinstance(params, str) else json.dumps(params))


def declined(env, service, method, params):
    """The call ends in exactly one UnknownMethod error; returns it."""
    with pytest.raises(dbus.exceptions.DBusException) as info:
        call(env, method, params, service)
    assert info.value.get_dbus_name() == UNKNOWN_METHOD
    return info.value


def finish(env):
    """The daemon is still running, exits 160 on SIGTERM, and its log holds no sanitizer
    report and no GLib CRITICAL (a call answered twice, a failed GLib check)."""
    assert env.daemon.alive(), "daemon died:\n" + env.daemon.log()[-5000:]
    code = env.daemon.stop()
    log = env.daemon.log()
    assert not env.daemon.sanitizer_reports(), log[-20000:]
    assert "CRITICAL" not in log, log[-5000:]
    assert code == 160, "exit status %r\n%s" % (code, log[-5000:])


def bios_unavailable():
    module = [m for m in corvo_env.stand_in_modules() if hasattr(m, "unavailable_reason")]
    return module[0].unavailable_reason() if module else "no BIOS stand-in"


@contextlib.contextmanager
def daemon(bios_state=None, stop_store=False, started=True, **kwargs):
    """A daemon on Environment(**kwargs) (store=, model=, daemon_env=), checked by finish()
    when the block ends. `bios_state` seeds the BIOS simulator before the start (the test
    is skipped where the simulator cannot run); `stop_store` takes the configuration store
    away first; with `started` false the test starts the daemon itself."""
    if bios_state is not None and bios_unavailable():
        pytest.skip(bios_unavailable())
    with corvo_env.Environment(start_daemon=False, **kwargs) as env:
        if bios_state is not None:
            env.bios.seed(dict({"security_key": KEY}, **bios_state))
        if stop_store:
            env.peers.stop()
        if started:
            env.daemon.start()
        yield env
        finish(env)


def bios_write(token, value, key=KEY):
    return "appwrite 1 0 %x %x %x 0\n" % (token, value, key)


class Authority:
    """python-dbusmock's polkitd template as the polkit authority on the environment's bus:
    it allows the actions given to allow(), or all of them after allow_all(); with
    challenge() it wants every caller to authenticate first; with hang()
    it keeps every answer until release(). checks() lists the action ids it was asked
    about, with the flags."""

    def __init__(self, env):
        self.bus = env.bus
        self.process = subprocess.Popen(
            [sys.executable, "-m", "dbusmock", "--system", "--template", "polkitd"],
            env=dict(os.environ, DBUS_SYSTEM_BUS_ADDRESS=env.bus.address),
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        env.on_close(self.stop)
        assert corvo_env.wait_until(lambda: env.bus.has_owner(POLKIT)), "the stand-in authority did not start"
        self.mock = dbus.Interface(env.bus.connection.get_object(POLKIT, POLKIT_PATH), "org.freedesktop.DBus.Mock")
        # The text-console agent registers through this newer method, which the template lacks.
        self.mock.AddMethod(POLKIT_AUTHORITY, "RegisterAuthenticationAgentWithOptions", "(sa{sv})ssa{sv}", "", "")

    def allow(self, *actions):
        self.mock.SetAllowed(dbus.Array(actions, signature="s"))

    def allow_all(self):
        self.mock.AllowUnknown(True)

    def challenge(self):
        """Answers every check with "not yet: the user must authenticate"."""
        self.mock.AddMethod(POLKIT_AUTHORITY, "CheckAuthorization", "(sa{sv})sa{ss}us", "(bba{ss})",
                            "ret = (False, True, {})")

    def hang(self):
        self.mock.SimulateHang(True)

    def hanging(self):
        return bool(self.mock.HaveHangingCalls())

    def release(self):
        self.mock.ReleaseHangingCalls()

    def checks(self):
        return [(str(args[1]), int(args[3])) for _, method, args in self.mock.GetCalls()
                if method == "CheckAuthorization"]

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
            self.process.wait(10)


def nobody_connection(env):
    """A connection to the environment's bus whose peer credentials are uid 65534: it is
    opened while the test's effective uid is that one."""
    os.chmod(env.workdir, 0o755)
    os.setegid(65534)
    os.seteuid(65534)
    try:
        return dbus.bus.BusConnection(env.bus.address)
    finally:
        os.seteuid(0)
        os.setegid(0)
