"""The stand-in peer service (sandbox/peerd, corvo-peerd): the configuration store
com.corvo.config and the device service com.corvo.udev on the environment's bus.

setup(env) seeds env.initial_store ({(module, key): text}, schema "system"), starts the
stand-in before the daemon and attaches env.peers (a Peers object, below). Nothing happens
when corvo-peerd is not built."""

import os
import re
import signal
import subprocess
import urllib.parse

import corvo_env

NAMES = ("com.corvo.config", "com.corvo.udev", "com.corvo.peertest")
CONTROL = ("com.corvo.peertest", "/com/corvo/peertest", "com.corvo.peertest")
SCHEMA = "system"


def _name(text):
    return urllib.parse.quote(text, safe="-._~")


def _unescape_value(text):
    def one(match):
        code = match.group(1)
        return {"\\": "\\", "n": "\n", "r": "\r", "t": "\t"}.get(code) or chr(int(code[1:], 16))
    return re.sub(r"\\(\\|n|r|t|x[0-9a-f]{2})", one, text)


class Peers:
    """Test API of the stand-in peer service.

    Store:   get(module, key) -> text or None, set(module, key, value), unset(module, key),
             dump() -> {(module, key): text} (schema "system"; dump(None) gives every schema
             as {(schema, module, key): text}). These work whether the stand-in runs or not.
    Device:  remounts() -> ["ro", "rw", ...] in the order requested.
    Faults (while it runs; a started stand-in has none): refuse(on=True), remount_answer(text),
             delay(ms).
    Life:    stop() makes it vanish (the next client call fails at the transport level),
             start() brings it back with the same stored keys; running.
    Also:    requests() -> ["config GetKey", "udev RemountUsbdisks", ...] received since the
             start or clear_requests(); log() -> its standard error."""

    def __init__(self, binary, bus, state_dir):
        self.binary = binary
        self.bus = bus
        self.state_dir = state_dir
        self.process = None
        self.log_path = os.path.join(state_dir, "peerd.log")
        os.makedirs(state_dir, exist_ok=True)

    # -- life
    @property
    def running(self):
        return self.process is not None and self.process.poll() is None

    def start(self, timeout=10):
        if self.running:
            return
        env = dict(os.environ, DBUS_SYSTEM_BUS_ADDRESS=self.bus.address)
        env.setdefault("ASAN_OPTIONS", "detect_leaks=1:abort_on_error=0:exitcode=99")
        with open(self.log_path, "ab") as log:
            self.process = subprocess.Popen([self.binary, "--state-dir", self.state_dir], env=env,
                                            stdout=log, stderr=log)

        def owned():
            return self.process.poll() is not None or all(self.bus.has_owner(n) for n in NAMES)
        if not corvo_env.wait_until(owned, timeout) or self.process.poll() is not None:
            self.stop()
            raise RuntimeError("corvo-peerd did not own its names; log:\n" + self.log())

    def stop(self, timeout=10):
        """Ends the stand-in and waits until its names are gone from the bus."""
        if self.process is None:
            return None
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
        try:
            code = self.process.wait(timeout)
        except subprocess.TimeoutExpired:
            self.process.kill()
            code = self.process.wait()
        self.process = None
        corvo_env.wait_until(lambda: not any(self.bus.has_owner(n) for n in NAMES), timeout)
        return code

    def close(self):
        try:
            self.stop()
        except Exception:
            pass

    def log(self):
        return corvo_env.read_text(self.log_path)

    # -- store (through the key file, with the stand-in's own --seed/--dump)
    def _run(self, *args):
        result = subprocess.run([self.binary, "--state-dir", self.state_dir] + list(args),
                                capture_output=True, timeout=30)
        if result.returncode != 0:
            raise RuntimeError("corvo-peerd %s: %s" % (" ".join(args), result.stderr.decode("utf-8", "replace")))
        return result.stdout.decode("utf-8")

    def seed(self, values, schema=SCHEMA):
        """Stores many values at once: {(module, key): text}."""
        items = ["%s/%s/%s=%s" % (_name(schema), _name(m), _name(k), v) for (m, k), v in values.items()]
        if items:
            self._run("--seed", *items)

    def set(self, module, key, value, schema=SCHEMA):
        self.seed({(module, key): value}, schema)

    def unset(self, module, key, schema=SCHEMA):
        self._run("--seed", "%s/%s/%s" % (_name(schema), _name(module), _name(key)))

    def dump(self, schema=SCHEMA):
        stored = {}
        for line in self._run("--dump").splitlines():
            path, _, value = line.partition("=")
            s, m, k = (urllib.parse.unquote(part) for part in path.split("/"))
            value = _unescape_value(value)
            if schema is None:
                stored[(s, m, k)] = value
            elif s == schema:
                stored[(m, k)] = value
        return stored

    def get(self, module, key, schema=SCHEMA):
        return self.dump(schema).get((module, key))

    # -- device
    def remounts(self):
        try:
            with open(os.path.join(self.state_dir, "remounts.log")) as f:
                return f.read().split()
        except FileNotFoundError:
            return []

    # -- faults and requests (control interface)
    def _control(self, method, signature="", args=()):
        if not self.running:
            raise RuntimeError("corvo-peerd is not running")
        name, path, interface = CONTROL
        return self.bus.connection.call_blocking(name, path, interface, method, signature, list(args))

    def refuse(self, on=True):
        self._control("Refuse", "b", [bool(on)])

    def remount_answer(self, text):
        self._control("RemountAnswer", "s", [text])

    def delay(self, ms):
        self._control("Delay", "u", [int(ms)])

    def requests(self):
        return [str(r) for r in self._control("Requests")]

    def clear_requests(self):
        self._control("ClearRequests")


def setup(env):
    binary = corvo_env.built("sandbox", "peerd", "corvo-peerd")
    if not os.path.exists(binary):
        return
    peers = Peers(binary, env.bus, os.path.join(env.workdir, "peers"))
    env.on_close(peers.close)
    peers.seed(env.initial_store)
    peers.start()
    env.peers = peers
