"""Start-up: from exec to all four names owned (the store holds no fresh-install flag, so
the BIOS set-up is skipped), p50 of 20 starts, beside the floor of any bus client: exec of
dbus-send, connect, one call to the bus, exit."""
import os
import subprocess
import time

import benchlib
import corvo_env

BUDGET_MS = 50.0
FIGURE = "start-up to four names owned"
FLOOR = "dbus-send exec + connect + 1 call"


def names_owned(connection):
    # Names are requested in this order; the last one owned implies the others, checked after.
    return all(connection.name_has_owner(n) for n in reversed(corvo_env.NAMES))


def one_start(env):
    daemon = env.daemon
    connection = env.bus.connection
    started = time.perf_counter()
    daemon.start(wait=False)
    while not names_owned(connection):
        if not daemon.alive():
            raise RuntimeError("daemon exited during start-up:\n" + daemon.log())
    elapsed = time.perf_counter() - started
    daemon.stop()
    # The next start must not race the names of this one being released.
    corvo_env.wait_until(lambda: not any(connection.name_has_owner(n) for n in corvo_env.NAMES), 10)
    return elapsed


def one_floor(env):
    environment = dict(os.environ, DBUS_SYSTEM_BUS_ADDRESS=env.bus.address)
    started = time.perf_counter()
    subprocess.run(["dbus-send", "--system", "--print-reply", "--dest=org.freedesktop.DBus",
                    "/org/freedesktop/DBus", "org.freedesktop.DBus.GetId"],
                   env=environment, check=True, stdout=subprocess.DEVNULL)
    return time.perf_counter() - started


def run(options):
    with benchlib.world(start_daemon=False) as env:
        starts = [one_start(env) for _ in range(options.starts)]
        floors = [one_floor(env) for _ in range(options.starts)]
    value = benchlib.median(starts) * 1e3
    return [benchlib.row(FIGURE + ", p50 of %d" % len(starts), value, "ms", FLOOR + ", p50",
                         benchlib.median(floors) * 1e3, budget="<= %g ms" % BUDGET_MS, met=value <= BUDGET_MS,
                         p90=benchlib.percentile(starts, 0.9) * 1e3, samples=len(starts))]
