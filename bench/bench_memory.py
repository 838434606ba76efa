"""Memory: resident set of the daemon idle after start-up and after 10k and 100k mixed
calls, beside the resident set of the bus daemon it sits on."""
import time

import benchlib
import clients

IDLE_BUDGET_MIB = 6.0
GROWTH_BUDGET = 0.05
CLIENTS = 8
# Beyond the cheap calls: replies built from lists, empty requests, one SMI exchange.
MORE_CALLS = [
    ("settings", "GetCameraInfo", ""),
    ("headset", "SetHeadset", "{}"),
    ("thirdapps", "EnableUCPlugins", "[]"),
    ("bios", "GetBios", '["DeviceKORACMOSAudio"]'),
]


def rss_mib(pid):
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1]) / 1024.0
    return None


def mixed_calls(caller, has_bios):
    calls = [(service, member, argument) for _, service, member, argument in benchlib.CHEAP_CALLS]
    calls += [c for c in MORE_CALLS if has_bios or c[0] != "bios"]
    return [c for c in calls if caller.served(*c)]


def run(options):
    small, large = options.calls_small, options.calls_large
    with benchlib.world() as env:
        pid, bus_pid = env.daemon.process.pid, env.bus.process.pid
        time.sleep(0.5)  # let start-up work settle
        idle, bus_idle = rss_mib(pid), rss_mib(bus_pid)
        caller = benchlib.Caller(env.bus.address)
        try:
            calls = mixed_calls(caller, benchlib.stand_in(env, "bios") is not None)
        finally:
            caller.close()
        rows = [benchlib.row("RSS idle after start-up", idle, "MiB", "dbus-daemon RSS", bus_idle,
                             budget="<= %g MiB" % IDLE_BUDGET_MIB, met=idle <= IDLE_BUDGET_MIB)]
        if not calls:
            return rows + [benchlib.skipped("RSS after %d mixed calls" % n, benchlib.NOT_SERVED, "dbus-daemon RSS")
                           for n in (small, large)]
        clients.run(env.bus.address, calls, CLIENTS, total=small)
        after_small, bus_small = rss_mib(pid), rss_mib(bus_pid)
        clients.run(env.bus.address, calls, CLIENTS, total=large - small)
        after_large, bus_large = rss_mib(pid), rss_mib(bus_pid)
    growth = (after_large - after_small) / after_small
    mix = ", ".join(member for _, member, _ in calls)
    rows.append(benchlib.row("RSS after %d mixed calls" % small, after_small, "MiB", "dbus-daemon RSS", bus_small,
                             mix=mix))
    rows.append(benchlib.row("RSS after %d mixed calls" % large, after_large, "MiB", "dbus-daemon RSS", bus_large,
                             budget="growth from %d <= %d%%" % (small, round(GROWTH_BUDGET * 100)),
                             met=growth <= GROWTH_BUDGET, growth=growth, mix=mix))
    return rows
