"""What several integration test files share: calls with one text argument, the reply
texts, and daemons started on a prepared store or BIOS."""
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
    """The daemon was still running, exits 160 on SIGTERM and left no sanitizer report."""
    assert env.daemon.alive(), "daemon died:\n" + env.daemon.log()[-5000:]
    code = env.daemon.stop()
    assert not env.daemon.sanitizer_reports(), env.daemon.log()[-20000:]
    assert code == 160, "exit status %r\n%s" % (code, env.daemon.log()[-5000:])


@contextlib.contextmanager
def running(stop_store=False, **kwargs):
    """A daemon started on Environment(**kwargs), e.g. store= or model=; with `stop_store`
    the configuration store is gone before it starts."""
    with corvo_env.Environment(start_daemon=False, **kwargs) as env:
        if stop_store:
            env.peers.stop()
        env.daemon.start()
        yield env
        finish(env)


# The BIOS simulator's security key: every token write of a verified session carries it.
KEY = 0x5EED


def bios_write(token, value, key=KEY):
    return "appwrite 1 0 %x %x %x 0\n" % (token, value, key)


def bios_unavailable():
    module = [m for m in corvo_env.stand_in_modules() if hasattr(m, "unavailable_reason")]
    return module[0].unavailable_reason() if module else "no BIOS stand-in"


def skip_without_bios():
    reason = bios_unavailable()
    if reason:
        print("skipped: " + reason)
        pytest.skip(reason)


@contextlib.contextmanager
def bios_world(model=None, store=None, bios_state=None, start=True):
    """A world whose BIOS is the simulator; the daemon starts after the simulator is seeded."""
    skip_without_bios()
    with corvo_env.Environment(start_daemon=False, store=store, model=model) as env:
        assert env.bios is not None
        env.bios.seed(dict({"security_key": KEY}, **(bios_state or {})))
        if start:
            env.daemon.start()
        yield env
        if env.daemon.alive():
            assert env.daemon.stop() == 160, env.daemon.log()
        assert not env.daemon.sanitizer_reports(), env.daemon.log()
