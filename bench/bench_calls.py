"""Call overhead (p50/p99 round trip of the cheap calls beside Peer.Ping to the daemon) and
throughput of 8 parallel clients on the cheap calls beside 8 clients pinging."""
import benchlib
import clients

LATENCY_BUDGET = 1.25
THROUGHPUT_BUDGET = 0.70
CLIENTS = 8


def served_calls(caller):
    """The cheap calls the daemon answers, and a row for each one it does not serve yet."""
    served, missing = [], []
    for label, service, member, argument in benchlib.CHEAP_CALLS:
        if caller.served(service, member, argument):
            served.append((label, service, member, argument))
        else:
            missing.append(label)
    return served, missing


def latency(caller, calls, samples):
    rows = []
    for label, service, member, argument in calls:
        ping_times, call_times = [], []
        for _ in range(samples // 10):  # warm-up
            caller.ping(service)
            caller.call(service, member, argument)
        # Interleaved, so that drift of the machine's load affects both sides alike.
        for _ in range(samples):
            ping_times.append(benchlib.timed(caller.ping, service))
            call_times.append(benchlib.timed(caller.call, service, member, argument))
        for name, fraction in (("p50", 0.5), ("p99", 0.99)):
            value = benchlib.percentile(call_times, fraction) * 1e3
            floor = benchlib.percentile(ping_times, fraction) * 1e3
            is_p50 = name == "p50"
            rows.append(benchlib.row(
                "call %s: %s" % (name, label), value, "ms", "Peer.Ping %s" % name, floor,
                budget="<= %.2f x Ping" % LATENCY_BUDGET if is_p50 else "",
                met=(value <= LATENCY_BUDGET * floor) if is_p50 else None, samples=samples))
    return rows


def throughput(address, calls, seconds, rounds=3):
    targets = [(service, member, argument) for _, service, member, argument in calls]
    rates, ping_rates = [], []
    # Alternating rounds, so that other load on the machine weighs on both sides alike.
    for _ in range(rounds):
        made, wall = clients.run(address, targets, CLIENTS, seconds=seconds)
        rates.append(made / wall)
        pinged, ping_wall = clients.run(address, ["ping"], CLIENTS, seconds=seconds)
        ping_rates.append(pinged / ping_wall)
    rate, ping_rate = benchlib.median(rates), benchlib.median(ping_rates)
    return benchlib.row("throughput, %d clients, cheap calls" % CLIENTS, rate, "calls/s",
                        "Peer.Ping, %d clients" % CLIENTS, ping_rate,
                        budget=">= %d%% of Ping" % round(THROUGHPUT_BUDGET * 100),
                        met=rate >= THROUGHPUT_BUDGET * ping_rate, seconds=seconds, rounds=rounds)


def run(options):
    with benchlib.world() as env:
        caller = benchlib.Caller(env.bus.address)
        try:
            calls, missing = served_calls(caller)
            rows = [benchlib.skipped("call p50: %s" % label, benchlib.NOT_SERVED, "Peer.Ping p50",
                                     "<= %.2f x Ping" % LATENCY_BUDGET) for label in missing]
            rows += latency(caller, calls, options.samples)
        finally:
            caller.close()
        if calls:
            rows.append(throughput(env.bus.address, calls, options.seconds))
        else:
            rows.append(benchlib.skipped("throughput, %d clients, cheap calls" % CLIENTS, benchlib.NOT_SERVED,
                                         "Peer.Ping, %d clients" % CLIENTS))
    return rows
