"""Shared parts of the benchmarks: the sandbox world, calls over the bus, statistics and
the result rows that bench/run prints and saves."""
import os
import sys
import time

import dbus

BENCH_DIR = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(os.path.dirname(BENCH_DIR), "sandbox"))
import corvo_env  # noqa: E402

NOT_SERVED = "n/a (method not served yet)"
NO_STAND_IN = "n/a (stand-in not built)"
UNKNOWN_METHOD = "org.freedesktop.DBus.Error.UnknownMethod"
MODEL = "K50AIO"

# The cheap calls: each is answered without touching host files, programs or the BIOS.
# (label, service, interface member or property, argument)
CHEAP_CALLS = [
    ("SetAppStatus, unknown name", "thirdapps", "SetAppStatus", '{"name":"bench-unknown","status":false}'),
    ("SysctlGeneric, unknown entry", "settings", "SysctlGeneric", '{"sysctl":"bench-unknown","boolkey":false}'),
    ("GetBios [\"BiosChangeReboot\"]", "bios", "GetBios", '["BiosChangeReboot"]'),
    ("version property read", "settings", "version", None),
]


def world(**kwargs):
    """A fresh sandbox world (bus, host root, stand-ins, daemon) for one benchmark."""
    kwargs.setdefault("model", MODEL)
    return corvo_env.Environment(**kwargs)


def stand_in(env, name):
    """The stand-in's test API on env (env.peers, env.bios), or None when it is not running."""
    return getattr(env, name, None)


class Caller:
    """Blocking calls on one bus connection, addressed like the cheap-call table."""

    def __init__(self, address):
        self.connection = dbus.bus.BusConnection(address)

    def call(self, service, member, argument):
        name, path, interface = corvo_env.SERVICES[service]
        if argument is None:
            return self.connection.call_blocking(name, path, "org.freedesktop.DBus.Properties", "Get", "ss",
                                                 [interface, member], timeout=60)
        return self.connection.call_blocking(name, path, interface, member, "s", [argument], timeout=60)

    def ping(self, service="settings"):
        name, path, _ = corvo_env.SERVICES[service]
        return self.connection.call_blocking(name, path, "org.freedesktop.DBus.Peer", "Ping", "", [], timeout=60)

    def served(self, service, member, argument):
        """False when the daemon answers UnknownMethod (no handler connected yet)."""
        try:
            self.call(service, member, argument)
        except dbus.exceptions.DBusException as error:
            if error.get_dbus_name() == UNKNOWN_METHOD:
                return False
            raise
        return True

    def close(self):
        self.connection.close()


def timed(function, *args):
    """Seconds one call of function takes."""
    started = time.perf_counter()
    function(*args)
    return time.perf_counter() - started


def percentile(samples, fraction):
    ordered = sorted(samples)
    if not ordered:
        return None
    index = min(len(ordered) - 1, max(0, int(round(fraction * (len(ordered) - 1)))))
    return ordered[index]


def median(samples):
    return percentile(samples, 0.5)


def row(figure, value=None, unit="", floor_name="", floor=None, budget="", met=None, note="", faster=False,
        **extra):
    """One figure of the results, with its floor or alternative measured in the same run.
    The ratio is value / floor, or floor / value for a figure whose budget reads "x faster"."""
    ratio = None
    if value not in (None, 0) and floor not in (None, 0):
        ratio = floor / value if faster else value / floor
    result = {"figure": figure, "value": value, "unit": unit, "floor_name": floor_name, "floor": floor,
              "ratio": ratio, "budget": budget, "met": met, "note": note}
    result.update(extra)
    return result


def skipped(figure, note, floor_name="", budget=""):
    return row(figure, floor_name=floor_name, budget=budget, note=note)
