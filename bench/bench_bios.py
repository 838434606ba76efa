"""BIOS read: GetBios "[]" on a K50AIO through the FUSE simulator, per call and per SMI
exchange, beside one bare exchange on the same request file (open, write the 177-byte
record, rewind, read, close) made from here."""
import os

import benchlib

FIGURE = "GetBios [] on %s" % benchlib.MODEL
SMI_FILE = "/compat/linux/sys/devices/platform/smbase/smi_request"
# A token read of token 0x22 in the general request form, padded to its record size.
BARE_REQUEST = b"appwrite 0 0 22 0 0 0\n".ljust(177, b"\0")


def exchanges_so_far(env):
    """Requests the simulator has received, from its own log when it offers one, else from
    the daemon's log (one "output0 is" line per answered exchange)."""
    simulator = benchlib.stand_in(env, "bios")
    for name in ("requests", "request_log", "log"):
        entries = getattr(simulator, name, None)
        if callable(entries):
            entries = entries()
        if isinstance(entries, (list, tuple)):
            return len(entries)
    return env.daemon.log().count("bios: output0 is")


def bare_exchange(path):
    with open(path, "r+b", buffering=0) as f:
        f.write(BARE_REQUEST)
        f.seek(0)
        f.read(256)


def run(options):
    with benchlib.world() as env:
        smi_path = env.root(SMI_FILE)
        if benchlib.stand_in(env, "bios") is None or not os.path.exists(smi_path):
            return [benchlib.skipped(FIGURE + ", per call", benchlib.NO_STAND_IN, "bare SMI exchange")]
        caller = benchlib.Caller(env.bus.address)
        try:
            if not caller.served("bios", "GetBios", "[]"):
                return [benchlib.skipped(FIGURE + ", per call", benchlib.NOT_SERVED, "bare SMI exchange")]
            before = exchanges_so_far(env)
            call_times = [benchlib.timed(caller.call, "bios", "GetBios", "[]") for _ in range(options.bios_reads)]
            exchanges = (exchanges_so_far(env) - before) / len(call_times)
        finally:
            caller.close()
        bare_times = [benchlib.timed(bare_exchange, smi_path) for _ in range(options.bios_reads * 10)]

    per_call = benchlib.median(call_times) * 1e3
    bare = benchlib.median(bare_times) * 1e3
    per_exchange = per_call / exchanges if exchanges else None
    return [
        benchlib.row(FIGURE + ", per call, p50", per_call, "ms", "bare SMI exchange x %g" % exchanges,
                     bare * exchanges if exchanges else None, budget="(no budget)",
                     exchanges_per_call=exchanges, samples=len(call_times)),
        benchlib.row(FIGURE + ", per SMI exchange", per_exchange, "ms", "bare SMI exchange, p50", bare,
                     budget="(no budget)"),
    ]
