"""What the integration tests share: one way to run a daemon and check how it ends, calls
with one text argument, and the reply texts."""
import contextlib
import json

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
ACCESS_DENIED = "org.freedesktop.DBus.Error.AccessDenied"


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

