"""Parallel bus clients, one process each (so the Python interpreter lock never serialises
them): every client opens its own connection, waits at a shared barrier, then calls in a
loop, either for a fixed time or for a fixed number of calls."""
import multiprocessing
import time

import benchlib


def _client(address, calls, seconds, count, barrier, results):
    caller = benchlib.Caller(address)
    plan = [(lambda c=c: caller.ping()) if c == "ping" else (lambda c=c: caller.call(*c)) for c in calls]
    for function in plan:  # warm the connection and the daemon's code paths
        function()
    barrier.wait()
    started = time.monotonic()
    deadline = started + seconds if seconds else None
    done = 0
    while True:
        plan[done % len(plan)]()
        done += 1
        if deadline is not None and done % len(plan) == 0 and time.monotonic() >= deadline:
            break
        if count is not None and done >= count:
            break
    results.put((done, started, time.monotonic()))
    caller.close()


def run(address, calls, clients, seconds=None, total=None):
    """Runs `clients` processes over `calls` (each ("ping") or (service, member, argument)).
    Returns (calls made, wall seconds from the first start to the last end)."""
    context = multiprocessing.get_context("spawn")
    barrier = context.Barrier(clients)
    results = context.Queue()
    share = None if total is None else -(-total // clients)
    processes = [context.Process(target=_client, args=(address, calls, seconds, share, barrier, results))
                 for _ in range(clients)]
    for process in processes:
        process.start()
    outcomes = [results.get(timeout=600) for _ in processes]
    for process in processes:
        process.join(60)
    made = sum(o[0] for o in outcomes)
    wall = max(o[2] for o in outcomes) - min(o[1] for o in outcomes)
    return made, wall
