"""A throwaway world for corvo-settingsd: a private system-like bus with the project's bus
policy, a host root folder, recording stand-ins for host programs, the stand-in peer
services and the daemon itself. Used by the sandbox command and the integration tests."""

import json
import os
import shutil
import signal
import subprocess
import tempfile
import time

import dbus

SANDBOX_DIR = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
PROJECT_DIR = os.path.dirname(SANDBOX_DIR)

SERVICES = {
    "settings": ("com.corvo.settings", "/com/corvo/settings", "com.corvo.settings"),
    "bios": ("com.corvo.bios", "/com/corvo/bios", "com.corvo.bios"),
    "headset": ("com.corvo.headset", "/com/corvo/headset", "com.corvo.headset"),
    "thirdapps": ("com.corvo.thirdapps", "/com/corvo/thirdapps", "com.corvo.thirdapps"),
}
NAMES = [v[0] for v in SERVICES.values()]

SANITIZER_MARKS = ("ERROR: AddressSanitizer", "ERROR: LeakSanitizer", "runtime error:", "SUMMARY: UndefinedBehaviorSanitizer")

BUS_CONFIG = """<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-BUS Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>system</type>
  <listen>unix:path={socket}</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="*"/>
    <deny own="*"/>
    <deny send_type="method_call"/>
    <allow send_type="signal"/>
    <allow send_requested_reply="true" send_type="method_return"/>
    <allow send_requested_reply="true" send_type="error"/>
    <allow receive_type="method_call"/>
    <allow receive_type="method_return"/>
    <allow receive_type="error"/>
    <allow receive_type="signal"/>
    <allow send_destination="org.freedesktop.DBus" send_interface="org.freedesktop.DBus"/>
    <allow send_destination="org.freedesktop.DBus" send_interface="org.freedesktop.DBus.Introspectable"/>
    <allow send_destination="org.freedesktop.DBus" send_interface="org.freedesktop.DBus.Properties"/>
    <deny send_destination="org.freedesktop.DBus" send_interface="org.freedesktop.DBus" send_member="UpdateActivationEnvironment"/>
    <deny send_destination="org.freedesktop.DBus" send_interface="org.freedesktop.DBus.Debug.Stats"/>
  </policy>
  <include>{project_policy}</include>
  {extra_includes}
  <limit name="max_replies_per_connection">50000</limit>
  <limit name="max_connections_per_user">1000</limit>
</busconfig>
"""


def build_dir():
    return os.environ.get("CORVO_BUILD_DIR", os.path.join(PROJECT_DIR, "build"))


def built(*parts):
    return os.path.join(build_dir(), *parts)


def read_text(path):
    """The text of a log or output file, undecodable bytes replaced; "" while it does not exist."""
    try:
        with open(path, "rb") as f:
            return f.read().decode("utf-8", "replace")
    except FileNotFoundError:
        return ""


def wait_until(predicate, timeout=10.0, step=0.01):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if predicate():
            return True
        time.sleep(step)
    return predicate()


class Bus:
    """A private dbus-daemon configured like a system bus, with the project's policy."""

    def __init__(self, workdir, extra_policies=(), user_policy_file=None):
        self.workdir = workdir
        self.socket = os.path.join(workdir, "system_bus_socket")
        self.address = "unix:path=" + self.socket
        includes = [os.path.join(SANDBOX_DIR, "bus-policy-peers.conf")] + list(extra_policies)
        config = BUS_CONFIG.format(
            socket=self.socket,
            project_policy=user_policy_file or os.path.join(PROJECT_DIR, "data", "com.corvo.settingsd.conf"),
            extra_includes="\n  ".join("<include>%s</include>" % p for p in includes),
        )
        self.config_path = os.path.join(workdir, "bus.conf")
        with open(self.config_path, "w") as f:
            f.write(config)
        self.process = subprocess.Popen(
            ["dbus-daemon", "--config-file=" + self.config_path, "--nofork", "--nopidfile", "--nosyslog"],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if not wait_until(lambda: os.path.exists(self.socket), 10):
            raise RuntimeError("dbus-daemon did not start")
        self._connection = None

    @property
    def connection(self):
        if self._connection is None:
            self._connection = dbus.bus.BusConnection(self.address)
        return self._connection

    def has_owner(self, name):
        return bool(self.connection.name_has_owner(name))

    def stop(self):
        if self._connection is not None:
            self._connection.close()
            self._connection = None
        if self.process.poll() is None:
            self.process.terminate()
            self.process.wait(10)


class HostRoot:
    """The folder that stands for / of the host."""

    FOLDERS = ["boot", "etc", "compat/linux", "mnt", "sys/class/dmi/id", "usr/bin", "dev", "tmp"]

    def __init__(self, path):
        self.path = path
        for folder in self.FOLDERS:
            os.makedirs(os.path.join(path, folder), exist_ok=True)

    def __call__(self, fixed_path):
        """The real path of a fixed host path."""
        return os.path.join(self.path, os.path.normpath(fixed_path).lstrip("/"))

    def read(self, fixed_path, default=None):
        try:
            with open(self(fixed_path), "rb") as f:
                return f.read().decode("utf-8", "surrogateescape")
        except FileNotFoundError:
            return default

    def write(self, fixed_path, text, mode=None):
        path = self(fixed_path)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "w") as f:
            f.write(text)
        if mode is not None:
            os.chmod(path, mode)

    @property
    def loader_conf(self):
        return self.read("/boot/loader.conf.local", "")

    @property
    def sysctl_conf(self):
        return self.read("/etc/sysctl.conf.local", "")


class Recorder:
    """Recording stand-ins for host programs named without a path (sysctl, pkill, ...)."""

    def __init__(self, workdir, passthrough=("cp",)):
        self.bin = os.path.join(workdir, "bin")
        self.dir = os.path.join(workdir, "record")
        self.file = os.path.join(self.dir, "calls.jsonl")
        os.makedirs(self.bin, exist_ok=True)
        os.makedirs(self.dir, exist_ok=True)
        recorder = os.path.join(SANDBOX_DIR, "fake-bin", "recorder")
        for program in ("sysctl", "pkill") + tuple(passthrough):
            os.symlink(recorder, os.path.join(self.bin, program))
        self.passthrough = " ".join(passthrough)

    def env(self):
        return {"CORVO_RECORD_FILE": self.file, "CORVO_RECORD_DIR": self.dir,
                "CORVO_RECORD_PASSTHROUGH": self.passthrough}

    def calls(self, program=None):
        try:
            with open(self.file) as f:
                calls = [json.loads(line)["argv"] for line in f if line.strip()]
        except FileNotFoundError:
            return []
        return [c for c in calls if program is None or c[0] == program]

    def clear(self):
        if os.path.exists(self.file):
            os.unlink(self.file)

    def watch(self, program, *paths):
        """Each later call of `program` notes which of `paths` exist at that moment."""
        with open(os.path.join(self.dir, program + ".watch"), "w") as f:
            f.write("".join(path + "\n" for path in paths))

    def present(self, program):
        """Per call of `program`, the watched paths that existed (see watch)."""
        if not os.path.exists(self.file):
            return []
        with open(self.file) as f:
            entries = [json.loads(line) for line in f if line.strip()]
        return [e.get("present") for e in entries if e["argv"][0] == program]

    def answer(self, program, text, status=0):
        """What the recorded `program` prints, and its exit status, from now on."""
        with open(os.path.join(self.dir, program + ".out"), "w") as f:
            f.write(text)
        with open(os.path.join(self.dir, program + ".status"), "w") as f:
            f.write(str(status))


class Daemon:
    """The real corvo-settingsd binary, started on the given bus under the host root."""

    def __init__(self, workdir, bus, root, recorder=None, extra_env=None):
        self.workdir = workdir
        self.bus = bus
        self.root = root
        self.recorder = recorder
        self.extra_env = dict(extra_env or {})
        self.process = None
        self.lock_path = os.path.join(workdir, "corvo-settingsd.lock")
        self.stdout_path = os.path.join(workdir, "daemon.stdout")
        self.stderr_path = os.path.join(workdir, "daemon.stderr")
        self.returncode = None

    def env(self):
        env = dict(os.environ)
        env["DBUS_SYSTEM_BUS_ADDRESS"] = self.bus.address
        env["CORVO_HOST_ROOT"] = self.root.path
        if self.recorder:
            env["PATH"] = self.recorder.bin + os.pathsep + env.get("PATH", "/usr/bin:/bin")
            env.update(self.recorder.env())
        env.setdefault("ASAN_OPTIONS", "detect_leaks=1:abort_on_error=0:exitcode=99")
        env.setdefault("UBSAN_OPTIONS", "print_stacktrace=1:halt_on_error=1:exitcode=98")
        env.update(self.extra_env)
        return env

    def start(self, args=None, wait=True):
        args = [self.lock_path] if args is None else args
        self.stdout = open(self.stdout_path, "ab")
        self.stderr = open(self.stderr_path, "ab")
        # CORVO_DAEMON_WRAPPER runs the daemon under a tool, e.g. "valgrind --tool=callgrind".
        wrapper = os.environ.get("CORVO_DAEMON_WRAPPER", "").split()
        self.process = subprocess.Popen(wrapper + [built("src", "corvo-settingsd")] + list(args), env=self.env(),
                                        stdout=self.stdout, stderr=self.stderr)
        if wait and not self.wait_for_names():
            raise RuntimeError("daemon did not own its names; log:\n" + self.log())
        return self

    def wait_for_names(self, timeout=15):
        """Waits until the four names are owned and their objects answer (the daemon exports
        each object before it requests the name, so an owned name normally answers at once)."""
        def exported(service):
            name, path, interface = SERVICES[service]
            try:
                self.bus.connection.call_blocking(name, path, "org.freedesktop.DBus.Properties", "GetAll", "s",
                                                  [interface], timeout=5)
                return True
            except dbus.exceptions.DBusException:
                return False

        def ready():
            if self.process.poll() is not None:
                return True
            return all(self.bus.has_owner(n) for n in NAMES) and all(exported(s) for s in SERVICES)
        return wait_until(ready, timeout) and self.process.poll() is None

    def stop(self, sig=signal.SIGTERM, timeout=20):
        if self.process is None:
            return self.returncode
        if self.process.poll() is None:
            self.process.send_signal(sig)
        try:
            self.returncode = self.process.wait(timeout)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.returncode = self.process.wait()
        self.stdout.close()
        self.stderr.close()
        self.process = None
        return self.returncode

    def alive(self):
        return self.process is not None and self.process.poll() is None

    def log(self):
        return read_text(self.stderr_path)

    def output(self):
        return read_text(self.stdout_path)

    def sanitizer_reports(self):
        text = self.log()
        return [mark for mark in SANITIZER_MARKS if mark in text]


class Environment:
    """Bus + host root + recorder + stand-ins + daemon, torn down on exit whatever happens.

    store: values the configuration store holds at start, {(module, key): text} (schema
    "system"). model: the product name the machine reports to the BIOS service (None: the
    product-name file is absent). bus_includes: further configuration files of the bus.
    Stand-ins for the peers and the BIOS are started when they are built (sandbox/standins/)."""

    def __init__(self, workdir=None, start_daemon=True, store=None, model=None, daemon_env=None,
                 keep=False, bus_includes=()):
        self.own_workdir = workdir is None
        self.workdir = workdir or tempfile.mkdtemp(prefix="corvo-env-")
        self.keep = keep
        self.start_daemon = start_daemon
        self.initial_store = store or {}
        self.model = model
        self.daemon_env = daemon_env or {}
        self.bus_includes = bus_includes
        self.bus = None
        self.daemon = None
        self.peers = None
        self.bios = None

    def __enter__(self):
        try:
            self.bus = Bus(self.workdir, self.bus_includes)
            self.root = HostRoot(os.path.join(self.workdir, "root"))
            self.recorder = Recorder(self.workdir)
            self._start_stand_ins()
            self.daemon = Daemon(self.workdir, self.bus, self.root, self.recorder, self.daemon_env)
            if self.start_daemon:
                self.daemon.start()
        except BaseException:
            self.close()
            raise
        return self

    def __exit__(self, *exc):
        self.close()
        return False

    # Stand-ins: every module in sandbox/standins/ has setup(env), called in name order before
    # the daemon starts; it starts its stand-in when that is built and registers its
    # teardown with env.on_close.
    def _start_stand_ins(self):
        for module in stand_in_modules():
            module.setup(self)

    def close(self):
        if self.daemon is not None:
            self.daemon.stop()
        for stop in reversed(getattr(self, "_stops", [])):
            try:
                stop()
            except Exception:
                pass
        if self.bus is not None:
            self.bus.stop()
        if self.own_workdir and not self.keep:
            shutil.rmtree(self.workdir, ignore_errors=True)

    def on_close(self, stop):
        self.__dict__.setdefault("_stops", []).append(stop)

    # Calls.
    def proxy(self, service):
        name, path, _ = SERVICES[service]
        return self.bus.connection.get_object(name, path, introspect=False)

    def call(self, service, method, *args, timeout=60):
        name, path, interface = SERVICES[service]
        signature = "s" * len(args)
        reply = self.bus.connection.call_blocking(name, path, interface, method, signature, list(args),
                                                  timeout=timeout)
        return str(reply)

    def nobody_connection(self):
        """A connection to this world's bus as uid 65534: the bus takes a client's credentials
        from its socket when it connects, so the connection is opened with that effective uid."""
        os.chmod(self.workdir, 0o755)
        os.setegid(65534)
        os.seteuid(65534)
        try:
            return dbus.bus.BusConnection(self.bus.address)
        finally:
            os.seteuid(0)
            os.setegid(0)

    def corvoctl(self, *args, input=None, cwd=None, prefix=()):
        """Runs the built corvoctl on this world's bus, after the `prefix` command (such as
        setpriv); returns the finished process (stdout and stderr as text)."""
        env = dict(os.environ, DBUS_SYSTEM_BUS_ADDRESS=self.bus.address)
        return subprocess.run(list(prefix) + [built("src", "ctl", "corvoctl")] + list(args), env=env, input=input,
                              cwd=cwd, capture_output=True, text=True, timeout=120)

    def get_property(self, service, prop):
        name, path, interface = SERVICES[service]
        return self.bus.connection.call_blocking(name, path, "org.freedesktop.DBus.Properties", "Get", "ss",
                                                 [interface, prop])

    def answers(self, service):
        """True when `service` answers a read of its version property."""
        try:
            self.get_property(service, "version")
            return True
        except dbus.DBusException:
            return False

    def get_all(self, service):
        name, path, interface = SERVICES[service]
        return self.bus.connection.call_blocking(name, path, "org.freedesktop.DBus.Properties", "GetAll", "s",
                                                 [interface])


def stand_in_modules():
    import glob
    import importlib.util
    modules = []
    for path in sorted(glob.glob(os.path.join(SANDBOX_DIR, "standins", "*.py"))):
        name = "corvo_standin_" + os.path.basename(path)[:-3]
        spec = importlib.util.spec_from_file_location(name, path)
        module = importlib.util.module_from_spec(spec)
        spec.loader.exec_module(module)
        modules.append(module)
    return modules
