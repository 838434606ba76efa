"""The daemon as a system service: options, notices to a service manager, journal lines,
bus activation, the installed service-manager files, and the audit trail."""
import glob
import json
import os
import re
import resource
import signal
import socket
import subprocess
import time

import dbus
import dbus.lowlevel
import pytest

import corvo_env
from conftest import build_option
from helpers import call, declined

DAEMON = corvo_env.built("src", "corvo-settingsd")


def installed_daemon():
    return os.path.join(build_option("prefix"), build_option("sbindir"), "corvo-settingsd")


def run_option(option, folder):
    result = subprocess.run([DAEMON] + option.split(" "), cwd=folder, capture_output=True, text=True, timeout=30)
    assert os.listdir(folder) == [], "%s made a file" % option
    return result.returncode, result.stdout, result.stderr


def test_options_are_answered_before_any_lock(tmp_path):
    code, usage, err = run_option("--help", tmp_path)
    assert (code, err) == (0, "") and "--version" in usage
    project = json.loads(subprocess.run(["meson", "introspect", "--projectinfo", corvo_env.build_dir()],
                                        check=True, capture_output=True, text=True).stdout)
    assert run_option("--version", tmp_path) == (0, "corvo-settingsd %s\n" % project["version"], "")
    for option in ("-x", "--", "-", "--help=1", "--version=", "--help lockfile", "-- -x"):
        assert run_option(option, tmp_path) == (161, "", usage)


def notices_until(receiver, state):
    notices = [receiver.recv(256).decode()]
    while not notices[-1].startswith(state):
        notices.append(receiver.recv(256).decode())
    return notices


@pytest.mark.parametrize("abstract", [False, True])
def test_ready_once_all_four_names_are_served_watchdog_pings_and_stopping(world, abstract):
    receiver = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
    address = "\0corvo-notify-%d" % os.getpid() if abstract else os.path.join(world.workdir, "notify")
    receiver.bind(address)
    receiver.settimeout(30)
    world.daemon.extra_env.update(NOTIFY_SOCKET=address.replace("\0", "@"), WATCHDOG_USEC="2000000")
    held = "com.corvo.settings"  # the daemon waits in the queue for it; the other three are served
    world.bus.connection.request_name(held)
    world.daemon.start(wait=False)
    pings = [(receiver.recv(256), time.monotonic()) for _ in range(3)]
    assert [ping for ping, _ in pings] == [b"WATCHDOG=1"] * 3
    # Every half interval, 1 s: a ping every full 2 s would leave the manager no margin.
    assert all(0.5 < later - earlier < 1.6 for (_, earlier), (_, later) in zip(pings, pings[1:]))
    world.bus.connection.release_name(held)
    notices = notices_until(receiver, "READY=1")
    assert set(notices[:-1]) <= {"WATCHDOG=1"}
    assert notices[-1] == "READY=1\nMAINPID=%d" % world.daemon.process.pid
    for service in corvo_env.SERVICES:
        world.get_all(service)
    world.daemon.process.send_signal(signal.SIGTERM)
    assert set(notices_until(receiver, "STOPPING=1")[:-1]) <= {"WATCHDOG=1"}
    assert world.daemon.process.wait(30) == 160
    world.daemon.stop()


def test_a_manager_that_stops_reading_never_holds_the_daemon_and_pings_keep_their_floor(world):
    receiver, address = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM), os.path.join(world.workdir, "notify")
    receiver.bind(address)
    world.daemon.extra_env.update(NOTIFY_SOCKET=address, WATCHDOG_USEC="2")
    world.daemon.start()
    time.sleep(1)  # far more pings than the socket queue holds, were they sent every millisecond
    assert call(world, "GetCameraInfo", "") == '{"result" : "Success","message": []}'
    receiver.settimeout(5)
    deadline, pings = time.monotonic() + 1, 0
    while time.monotonic() < deadline:
        pings += receiver.recv(256) == b"WATCHDOG=1"
    assert pings <= 10 + 25  # the queue's backlog, then one ping each 50 ms


def test_a_crash_leaves_no_core_file_to_carry_passwords(world, tmp_path, monkeypatch):
    monkeypatch.chdir(tmp_path)  # where the kernel would write it
    limit = resource.getrlimit(resource.RLIMIT_CORE)
    resource.setrlimit(resource.RLIMIT_CORE, (limit[1], limit[1]))  # inherited by the daemon only
    world.daemon.start()
    resource.setrlimit(resource.RLIMIT_CORE, limit)
    world.daemon.process.send_signal(signal.SIGQUIT)
    assert world.daemon.stop() == -signal.SIGQUIT and os.listdir(tmp_path) == []


@pytest.mark.parametrize("journal", [True, False])
def test_lines_carry_their_priority_only_when_stderr_is_the_journal(world, journal):
    open(world.daemon.stderr_path, "w").close()
    stream = os.stat(world.daemon.stderr_path)
    world.daemon.extra_env["JOURNAL_STREAM"] = "%d:%d" % (stream.st_dev, stream.st_ino + (0 if journal else 1))
    world.daemon.start()
    assert world.daemon.stop() == 160
    lines = world.daemon.log().splitlines()
    assert lines
    priorities = {"E": 3, "T": 4, "N": 5, "V": 6, "D": 7}  # syslog's err, warning, notice, info, debug
    prefixes = [re.match(r"<(\d)>(\w) ", line) for line in lines]
    if journal:
        assert [int(m[1]) if m else line for m, line in zip(prefixes, lines)] == [priorities[l[3]] for l in lines]
    else:
        assert not any(prefixes)


def test_caller_text_cannot_forge_a_journal_line_on_stdout(world):
    open(world.daemon.stdout_path, "w").close()
    stream = os.stat(world.daemon.stdout_path)
    world.daemon.extra_env["JOURNAL_STREAM"] = "%d:%d" % (stream.st_dev, stream.st_ino)
    world.daemon.start()
    call(world, "UpdateLoaderConf", "x\u202e\n<5>N audit: com.corvo.bios.SetBios uid=1000 pid=1 Success\n=1")
    assert world.daemon.stop() == 160
    shown = "x\\u202e\\n<5>N audit: com.corvo.bios.SetBios uid"
    assert [line for line in world.daemon.output().splitlines() if "audit" in line or line[:3] != "<6>"] == [
        "<6>update_loader_conf: %s=1000 pid=1 Success\\n=1" % shown, "<6> key %s, rd 1000" % shown]


def test_syslog_is_reached_once_it_starts_and_again_after_a_restart(world):
    pid = world.daemon.start().process.pid  # before syslog listens
    for _ in ("started late", "restarted"):
        with socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM) as listener:
            listener.bind(world.root("/dev/log"))
            listener.settimeout(10)
            os.kill(pid, signal.SIGHUP)  # ignored, with a line at level V (info)
            records = iter(lambda: listener.recv(4096).decode(), None)
            assert next(r for r in records if "SIGHUP" in r) == \
                "<30>corvo-settingsd[%d]: settings: SIGHUP ignored: nothing to reload" % pid
        os.unlink(world.root("/dev/log"))


@pytest.mark.parametrize("first", list(corvo_env.SERVICES))
def test_first_call_to_any_name_starts_one_daemon_for_all_four(tree, tmp_path, first):
    installed = sorted(glob.glob(tree("datadir", "dbus-1", "system-services", "*.service")))
    assert [os.path.basename(p) for p in installed] == sorted(n + ".service" for n in corvo_env.NAMES)
    services = tmp_path / "services"
    services.mkdir()
    config = tmp_path / "activation.conf"
    config.write_text("<busconfig><servicedir>%s</servicedir></busconfig>" % services)
    with corvo_env.Environment(start_daemon=False, bus_includes=[str(config)]) as world:
        # Exec= runs the built daemon in this world; sanitizer reports land in files.
        variables = {k: v for k, v in world.daemon.env().items()
                     if k.startswith(("CORVO_", "DBUS_SYSTEM", "PATH", "LSAN"))}
        for sanitizer in ("ASAN_OPTIONS", "UBSAN_OPTIONS"):
            variables[sanitizer] = world.daemon.env()[sanitizer] + ":log_path=%s/sanitizer" % tmp_path
        for path in installed:
            with open(path) as f:
                entry = dict(line.split("=", 1) for line in f.read().splitlines() if "=" in line and line[0] != "#")
            assert os.path.basename(path) == entry["Name"] + ".service"
            assert (entry["User"], entry["SystemdService"]) == ("root", "corvo-settingsd.service")
            assert entry["Exec"].split()[0] == installed_daemon() and len(entry["Exec"].split()) == 2
            entry["Exec"] = "/usr/bin/env %s %s %s" % (" ".join("%s=%s" % kv for kv in variables.items()), DAEMON,
                                                       world.daemon.lock_path)
            (services / os.path.basename(path)).write_text(
                "[D-BUS Service]\n" + "".join("%s=%s\n" % kv for kv in entry.items()))

        world.get_all(first)  # the call that starts the daemon finds its object
        assert corvo_env.wait_until(lambda: all(world.bus.has_owner(n) for n in corvo_env.NAMES), 15)
        owners = {int(world.bus.connection.call_blocking("org.freedesktop.DBus", "/org/freedesktop/DBus",
                                                         "org.freedesktop.DBus", "GetConnectionUnixProcessID", "s",
                                                         [n])) for n in corvo_env.NAMES}
        assert len(owners) == 1
        pid = owners.pop()
        assert os.readlink("/proc/%d/exe" % pid) == os.path.realpath(DAEMON)
        os.kill(pid, signal.SIGTERM)
        assert corvo_env.wait_until(lambda: not os.path.exists("/proc/%d" % pid), 20)
    assert not glob.glob(str(tmp_path / "sanitizer*"))


def test_unit_verifies_clean_within_the_exposure_budget(tree, tmp_path):
    probe = tmp_path / "probe.service"
    probe.write_text("[Service]\nExecStart=/bin/true\n")
    try:
        usable = subprocess.run(["systemd-analyze", "verify", str(probe)], capture_output=True).returncode == 0
    except FileNotFoundError:
        usable = False
    if not usable:
        pytest.skip("systemd-analyze cannot run here")
    [unit] = glob.glob(os.path.join(tree.destdir, "**", "corvo-settingsd.service"), recursive=True)
    with open(unit) as f:
        text = f.read()
    assert "\nExecStart=%s " % installed_daemon() in text
    built = tmp_path / "corvo-settingsd.service"
    built.write_text(text.replace("ExecStart=" + installed_daemon(), "ExecStart=" + DAEMON))
    verify = subprocess.run(["systemd-analyze", "verify", str(built)], capture_output=True, text=True,
                            env=dict(os.environ, MANPATH=tree("mandir")))
    assert (verify.returncode, verify.stdout + verify.stderr) == (0, "")
    security = subprocess.run(["systemd-analyze", "security", "--offline=true", "--threshold=60", str(built)],
                              capture_output=True, text=True)
    assert security.returncode == 0, security.stdout[-300:]


def test_a_second_instance_started_another_way_gives_up_before_applying_anything(tree, world):
    script = tree("sysconfdir", "rc.d", "corvo_settingsd")
    assert os.access(script, os.X_OK) and subprocess.run(["sh", "-n", script]).returncode == 0
    [unit] = glob.glob(os.path.join(tree.destdir, "**", "corvo-settingsd.service"), recursive=True)
    activation = [(tree("datadir", "dbus-1", "system-services", name + ".service"), r"^Exec=\S+ (\S+)$")
                  for name in corvo_env.NAMES]
    locks = []  # each file's lock, moved into this test's folder
    for path, pattern in [(unit, r"^ExecStart=\S+ (\S+)$"), (script, r'^pidfile="(\S+)"$')] + activation:
        with open(path) as f:
            locks.append(os.path.join(world.workdir, re.search(pattern, f.read(), re.M)[1].lstrip("/")))
        os.makedirs(os.path.dirname(locks[-1]), exist_ok=True)
    world.daemon.start([locks[0]])
    for other in sorted(set(locks[1:])):
        second = subprocess.run([DAEMON, other], env=world.daemon.env(), capture_output=True, text=True, timeout=15)
        assert second.returncode == 162, second.stderr


SECRET = "Qx7-not-for-logs"


def test_audit_line_for_each_changing_call_and_none_for_reads(env):
    head = "N audit: com.corvo.%%s uid=%d pid=%d keys=%%s " % (os.getuid(), os.getpid())
    app = json.loads(call(env, "SetAppStatus", {"name": "none", "status": True}, "thirdapps"))["result"]
    camera = call(env, "SetCameraFormat", {"devicePath": "/no/such/video0", "format": "MJPG"})
    declined(env, "headset", "SetHeadset", {"jabraConfigFile": "/tmp/a;b"})
    call(env, "GetBios", "[]", "bios")
    bios = json.loads(call(env, "SetBios", {"DeviceKORACMOSCurrentPassword": SECRET,
                                             "DeviceKORACMOSNewPassword": SECRET[::-1]}, "bios"))["result"]
    log = env.daemon.log()
    assert [line for line in log.splitlines() if line.startswith("N audit: ")] == [
        head % ("thirdapps.SetAppStatus", "name,status") + app,
        head % ("settings.SetCameraFormat", "devicePath,format") + camera,
        head % ("headset.SetHeadset", "jabraConfigFile") + "declined",
        head % ("bios.SetBios", "DeviceKORACMOSCurrentPassword,DeviceKORACMOSNewPassword") + bios]
    assert SECRET not in log and SECRET[::-1] not in log


def test_a_call_whose_sender_left_before_it_was_read_is_declined_and_does_nothing(env):
    # The caller expects no reply and is gone by the time the daemon reads its call: who sent
    # it can no longer be told, so nothing is done.
    caller = dbus.bus.BusConnection(env.bus.address)
    message = dbus.lowlevel.MethodCallMessage("com.corvo.settings", "/com/corvo/settings", "com.corvo.settings",
                                              "Sysctl")
    message.append('{"CPUCStateLowest":"C1"}', signature="s")
    message.set_no_reply(True)
    sender = caller.get_unique_name()
    env.daemon.process.send_signal(signal.SIGSTOP)
    try:
        caller.send_message(message)
        caller.flush()
        caller.close()
        assert corvo_env.wait_until(lambda: not env.bus.has_owner(sender))
    finally:
        env.daemon.process.send_signal(signal.SIGCONT)
    line = "N audit: com.corvo.settings.Sysctl uid=? pid=? keys=CPUCStateLowest declined"
    assert corvo_env.wait_until(lambda: line in env.daemon.log()), env.daemon.log()[-2000:]
    assert env.recorder.calls("sysctl") == []
