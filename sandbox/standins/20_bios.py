"""The BIOS stand-in: the product name the machine reports, and the BIOS simulator
(sandbox/biossim, corvo-biossim) mounted as the driver's folder holding smi_request.

setup(env) writes a product name for env.model (a model identifier such as "K50AIO" becomes
a product name that is detected as that model; any other text is written as it is; None
writes nothing), mounts the simulator at the request file's folder under the host root,
seeded for that model, and attaches env.bios (a Bios object, below). Nothing is mounted when
corvo-biossim is not built or /dev/fuse is missing; env.bios then stays None."""

import json
import os
import shutil
import subprocess

import corvo_env

SMI_FOLDER = "/compat/linux/sys/devices/platform/smbase"

# A product name for each model identifier, spelled as the machines report it.
PRODUCT_NAMES = {
    "K10": "Kora K10 Thin Client",
    "K10X": "Kora K10 Extended Thin Client",
    "K20": "Kora K20 Thin Client",
    "K30AIO": "Kora K30 AIO",
    "K30MTC": "Kora K30 Mini Thin Client",
    "K40AIO": "Kora K40 AIO",
    "K50AIO": "Kora AIO K50",
    "K60AIO": "Kora AIO K60",
    "Vantor 70": "Kora VanTor 70",
    "Lumen 81": "Kora L81",
    "Lumen 82": "Kora L82",
    "Lumen 83": "Kora L83",
    "Lumen 84": "Kora L84",
}


def product_name(model):
    return PRODUCT_NAMES.get(model, model)


def unavailable_reason():
    """Why the simulator cannot run here, or None."""
    if not os.path.exists(corvo_env.built("sandbox", "biossim", "corvo-biossim")):
        return "corvo-biossim is not built"
    if not os.path.exists("/dev/fuse"):
        return "/dev/fuse is missing"
    if not shutil.which("fusermount3"):
        return "fusermount3 is missing"
    return None


class Bios:
    """Test API of the BIOS simulator.

    requests() -> the request texts received, in order; records() -> [(text, bytes written)];
    clear_log(). state() -> the whole state as a dict; setting(name) -> value;
    seed({...}) merges a state (for example {"settings": {"SecureBoot": 1}, "password": "x",
    "password_rules": {"min": 1, "max": 32, "ascii": True, "alnum": False}, "security_key": 7,
    "asset_tag": "1234"}); fault(kind="status", token=, cls=, select=, status=, after=, times=)
    adds a fault (kinds: status, bad_header, long_field, short, read_error, write_error);
    clear_faults(); dump(path) writes the state to a file that --seed accepts."""

    def __init__(self, folder, binary, seed_path, log_path):
        self.folder = folder
        self.binary = binary
        self.seed_path = seed_path
        self.log_path = log_path
        self.process = None

    def _file(self, name):
        return os.path.join(self.folder, name)

    def start(self, timeout=10):
        os.makedirs(self.folder, exist_ok=True)
        with open(self.log_path, "ab") as log:
            self.process = subprocess.Popen([self.binary, "--seed", self.seed_path, self.folder],
                                            stdout=log, stderr=log)
        mounted = corvo_env.wait_until(
            lambda: self.process.poll() is not None or os.path.exists(self._file("sim_state")), timeout)
        if not mounted or self.process.poll() is not None:
            self.stop()
            raise RuntimeError("corvo-biossim did not mount; log:\n" + self.log())

    def stop(self, timeout=10):
        if self.process is None:
            return
        if self.process.poll() is None:
            subprocess.run(["fusermount3", "-u", "-z", self.folder], stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL)
            try:
                self.process.wait(timeout)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self.process = None

    def log(self):
        return corvo_env.read_text(self.log_path)

    # -- log of requests
    def records(self):
        with open(self._file("sim_log")) as f:
            return [(r["text"], r["size"]) for r in json.load(f)]

    def requests(self):
        return [text for text, _ in self.records()]

    def clear_log(self):
        with open(self._file("sim_log"), "w") as f:
            f.write("clear")

    # -- state
    def state(self):
        with open(self._file("sim_state")) as f:
            return json.load(f)

    def setting(self, name):
        return self.state()["settings"][name]

    def seed(self, state):
        with open(self._file("sim_state"), "w") as f:
            f.write(json.dumps(state))

    def fault(self, kind="status", token=None, cls=None, select=None, status=None, after=None, times=None):
        fault = {"kind": kind}
        for name, value in (("token", token), ("class", cls), ("select", select), ("status", status),
                            ("after", after), ("times", times)):
            if value is not None:
                fault[name] = value
        self.seed({"faults": self.state()["faults"] + [fault]})

    def clear_faults(self):
        self.seed({"faults": []})

    def dump(self, path):
        state = self.state()
        with open(path, "w") as f:
            json.dump(state, f, indent=2)


def setup(env):
    if env.model is not None:
        env.root.write("/sys/class/dmi/id/product_name", product_name(env.model) + "\n")
    if unavailable_reason():
        return
    seed_path = os.path.join(env.workdir, "biossim-seed.json")
    with open(seed_path, "w") as f:
        json.dump({"model": env.model or ""}, f)
    bios = Bios(env.root(SMI_FOLDER), corvo_env.built("sandbox", "biossim", "corvo-biossim"), seed_path,
                os.path.join(env.workdir, "biossim.log"))
    bios.start()
    env.on_close(bios.stop)
    env.bios = bios
