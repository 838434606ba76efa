"""The CMOS extract script under the host root (/usr/share/system/cmos_extract.sh). ExtBios
runs it with the extract file's path before it writes the file; the stand-in only records
each call (one JSON line: the arguments) and exits.

Test API: env.cmos_extract.calls() -> [[argument, ...], ...] in call order; clear()."""

import json
import os

SCRIPT = "/usr/share/system/cmos_extract.sh"

RECORDING_SCRIPT = """#!/bin/sh
# Stand-in: records its arguments and exits.
exec /usr/bin/python3 -c 'import json, sys
with open(sys.argv[1], "a") as f:
    f.write(json.dumps(sys.argv[2:]) + "\\n")' %s "$@"
"""


class CmosExtract:
    def __init__(self, env):
        self.record_file = os.path.join(env.workdir, "cmos_extract.jsonl")

    def calls(self):
        try:
            with open(self.record_file) as f:
                return [json.loads(line) for line in f if line.strip()]
        except FileNotFoundError:
            return []

    def clear(self):
        if os.path.exists(self.record_file):
            os.unlink(self.record_file)


def setup(env):
    env.cmos_extract = CmosExtract(env)
    env.root.write(SCRIPT, RECORDING_SCRIPT % env.cmos_extract.record_file, mode=0o755)
