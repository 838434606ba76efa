"""Memory: the daemon's own anonymous memory (RssAnon: heap, stacks, data; not the pages of
the shared libraries, which every GLib program on the terminal shares) idle after start-up
and after 10k and 100k mixed calls, each beside the daemon's total resident set."""
import time

import benchlib
import clients

IDLE_BUDGET_MIB = 1.0
GROWTH_BUDGET = 0.05
CLIENTS = 8
# Beyond the cheap calls: replies built from lists, empty requests, one SMI exchange.
MORE_CALLS = [
    ("settings", "GetCameraInfo", ""),
    ("headset", "SetHeadset", "{}"),
    ("thirdapps", "EnableUCPlugins", "[]"),
    ("bios", "GetBios", '["DeviceKORACMOSAudio"]'),
]


def memory_mib(pid):
    """(RssAnon, VmRSS) in MiB."""
    fields = {}
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            name, _, value = line.partition(":")
            fields[name] = int(value.split()[0]) / 1024.0 if value.strip().endswith("kB") else None
    return fields["RssAnon"], fields["VmRSS"]


def mixed_calls(caller, has_bios):
    calls = [(service, member, argument) for _, service, member, argument in benchlib.CHEAP_CALLS]
    calls += [c for c in MORE_CALLS if has_bios or c[0] != "bios"]
    return [c for c in calls if caller.served(*c)]


def run(options):
    small, large = options.calls_small, options.calls_large
    with benchlib.world() as env:
        pid = env.daemon.process.pid
        time.sleep(0.5)  # let start-up work settle
        idle, idle_total = memory_mib(pid)
        caller = benchlib.Caller(env.bus.address)
        try:
            calls = mixed_calls(caller, benchlib.stand_in(env, "bios") is not None)
        finally:
            caller.close()
        rows = [benchlib.row("RssAnon idle after start-up", idle, "MiB", "total RSS", idle_total,
                             budget="<= %g MiB" % IDLE_BUDGET_MIB, met=idle <= IDLE_BUDGET_MIB)]
        if not calls:
            return rows + [benchlib.skipped("RssAnon after %d mixed calls" % n, benchlib.NOT_SERVED, "total RSS")
                           for n in (small, large)]
        clients.run(env.bus.address, calls, CLIENTS, total=small)
        after_small, total_small = memory_mib(pid)
        clients.run(env.bus.address, calls, CLIENTS, total=large - small)
        after_large, total_large = memory_mib(pid)
    # The allocator's own working set moves the small anonymous figure by tens of KiB; growth
    # is judged on the whole resident set, as before.
    growth = (total_large - total_small) / total_small
    mix = ", ".join(member for _, member, _ in calls)
    rows.append(benchlib.row("RssAnon after %d mixed calls" % small, after_small, "MiB", "total RSS", total_small,
                             mix=mix))
    rows.append(benchlib.row("RssAnon after %d mixed calls" % large, after_large, "MiB", "total RSS", total_large,
                             budget="RSS growth from %d <= %d%%" % (small, round(GROWTH_BUDGET * 100)),
                             met=growth <= GROWTH_BUDGET, growth=growth, mix=mix))
    return rows
