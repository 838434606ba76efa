"""The configuration-store and device-service clients over a real bus, against the stand-in
peer service (tools/peerd). One peer-probe process per test keeps the clients' proxies
alive across calls, as the daemon does."""
import os
import subprocess
import urllib.parse

import pytest

import corvo_env

REFUSAL = "refused by the test stand-in"


class Probe:
    """tests/peers/peer-probe: one command in, the client's stdout and log lines and the
    "=> ..." result out."""

    def __init__(self, world, bus_address=None):
        self.stderr_path = os.path.join(world.workdir, "probe.stderr")
        env = dict(os.environ, DBUS_SYSTEM_BUS_ADDRESS=bus_address or world.bus.address)
        env.setdefault("ASAN_OPTIONS", "detect_leaks=1:abort_on_error=0:exitcode=99")
        self.stderr = open(self.stderr_path, "wb")
        self.process = subprocess.Popen([corvo_env.built("tests", "peers", "peer-probe")], env=env,
                                        stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=self.stderr,
                                        text=True, encoding="utf-8", errors="surrogateescape")

    def run(self, command):
        """(result, stdout lines, log lines) of one command."""
        self.process.stdin.write(command + "\n")
        self.process.stdin.flush()
        out, log = [], []
        while True:
            line = self.process.stdout.readline()
            if not line:
                raise AssertionError("peer-probe ended during %r:\n%s" % (command, self.errors()))
            line = line.rstrip("\n")
            if line.startswith("=> "):
                return line[3:], out, log
            if line.startswith("log: "):
                log.append(line[5:])
            else:
                out.append(line)

    def get(self, module, key, schema="system"):
        result, out, log = self.run("get %s %s %s" % (schema, module, key))
        value = None if result == "none" else urllib.parse.unquote(result[len("text "):])
        return value, out, log

    def code(self, command):
        result, out, log = self.run(command)
        return int(result), out, log

    def proxies(self):
        """(config proxy held, udev proxy held)."""
        result, _, _ = self.run("proxies")
        return tuple(part.endswith("=1") for part in result.split())

    def errors(self):
        with open(self.stderr_path, "rb") as f:
            return f.read().decode("utf-8", "replace")

    def close(self):
        self.process.stdin.close()
        code = self.process.wait(30)
        self.stderr.close()
        return code


@pytest.fixture
def store(world):
    world.peers.seed({("termsetting", "dispowerbutton"): "yes", ("sys", "freshinstall"): ""})
    return world.peers


@pytest.fixture
def probe(world, store):
    p = Probe(world)
    yield p
    assert p.close() == 0, p.errors()
    for mark in corvo_env.SANITIZER_MARKS:
        assert mark not in p.errors(), p.errors()
    assert not [m for m in corvo_env.SANITIZER_MARKS if m in world.peers.log()], world.peers.log()


def proxy_loads(peers, service):
    return peers.requests().count("%s org.freedesktop.DBus.Properties.GetAll" % service)


class TestStore:
    def test_get_returns_stored_text_including_empty_or_nothing_with_two_log_lines(self, probe):
        assert probe.get("termsetting", "dispowerbutton") == ("yes", [], [])
        assert probe.get("sys", "freshinstall") == ("", [], [])
        assert probe.get("termsetting", "disrestart") == (None, [], [
            "D settings: Error getting sys config key not found",
            "D settings:   schema: system, module: termsetting, key: disrestart",
        ])

    def test_set_stores_the_value_as_given_with_any_type_code(self, probe, store):
        assert probe.code('set system power most_save "a b=c [d] ünï"') == (0, [], [])
        assert store.get("power", "most_save") == "a b=c [d] ünï"
        assert probe.get("power", "most_save")[0] == "a b=c [d] ünï"
        assert probe.code('set system com disable_board_serial ""') == (0, [], [])
        assert store.get("com", "disable_board_serial") == ""
        for type_code in (20, 40, 64):
            assert probe.code("set system HID Status on%d %d" % (type_code, type_code)) == (0, [], [])
            assert store.get("HID", "Status") == "on%d" % type_code

    def test_ext_cmd_echo_is_accepted_and_result_discarded(self, probe, store):
        assert probe.code('ext echo A ""') == (0, [], [])
        assert probe.code("ext echo ~ ~") == (0, [], [])
        assert store.requests().count("config ExtCmd") == 2

    def test_one_proxy_is_made_on_first_use_and_kept(self, probe, store):
        store.clear_requests()
        assert probe.proxies() == (False, False)
        assert probe.code("connect") == (0, [], [])
        assert probe.proxies() == (True, False)
        assert probe.code("connect") == (0, [], [])
        probe.get("termsetting", "dispowerbutton")
        probe.code("set system m k v")
        probe.code('ext echo A ""')
        probe.get("m", "nothing")
        assert proxy_loads(store, "config") == 1
        probe.code("remount 1")
        probe.code("remount 0")
        assert proxy_loads(store, "udev") == 1

    def test_late_answer_is_waited_for(self, probe, store):
        store.delay(300)
        assert probe.get("termsetting", "dispowerbutton")[0] == "yes"
        assert probe.code("set system m k late") == (0, [], [])
        store.delay(0)
        assert store.get("m", "k") == "late"

    def test_refusals_are_reported_and_keep_the_proxy(self, probe, store):
        store.clear_requests()
        store.refuse()
        assert probe.get("termsetting", "dispowerbutton") == (None, [], [
            "D settings: Error getting sys config " + REFUSAL,
            "D settings:   schema: system, module: termsetting, key: dispowerbutton",
        ])
        assert probe.code("set system termsetting dispowerbutton no") == (-4, [
            "Error setting sys config: " + REFUSAL,
            "  schema: system, module: termsetting, key: dispowerbutton",
        ], [])
        assert probe.code('ext echo A ""') == (-4, [], ["D settings: Error ext cmd: " + REFUSAL])
        assert probe.proxies() == (True, False)
        store.refuse(False)
        assert store.get("termsetting", "dispowerbutton") == "yes"
        assert probe.code("ext unknown A B") == (-4, [], ["D settings: Error ext cmd: unknown command"])
        assert probe.get("termsetting", "dispowerbutton")[0] == "yes"
        assert proxy_loads(store, "config") == 1


def set_log(text):
    return ("-10", [], ["D settings: " + text])


@pytest.mark.parametrize("command,answer", [
    # An absent argument ("~") is reported and nothing is sent.
    ("get ~ termsetting dispowerbutton", ("none", ["Error parameter when getting key for :termsetting:dispowerbutton"], [])),
    ("get system ~ dispowerbutton", ("none", ["Error parameter when getting key for system::dispowerbutton"], [])),
    ("get system termsetting ~", ("none", ["Error parameter when getting key for system:termsetting:"], [])),
    ("get ~ ~ ~", ("none", ["Error parameter when getting key for ::"], [])),
    ("set ~ m k v", set_log("Error parameter when setting key for :m:k:v")),
    ("set system ~ k v", set_log("Error parameter when setting key for system::k:v")),
    ("set system m ~ v", set_log("Error parameter when setting key for system:m::v")),
    ("set system m k ~", set_log("Error parameter when setting key for system:m:k:")),
    ("ext ~ A B", ("-10", ["Error command"], [])),
    # Invalid UTF-8 values (checked before the type), then type codes other than 20, 40, 64.
    ] + [("set system m k %s" % value, set_log("Error setting parameter encoding for system:m:k"))
         for value in ("%ff", "ok%c3", "%c0%80", "%ed%a0%80", "%ff 99")] + [
    ("set system m k v %d" % code, ("-11", ["Error type for setting key for system:m:k"], []))
    for code in (0, 1, 21, 63, 65, 99, -64)])
def test_bad_arguments_are_refused_before_anything_is_sent(probe, store, command, answer):
    store.clear_requests()
    assert probe.run(command) == answer
    assert store.requests() == []
    assert store.get("m", "k") is None
    assert probe.proxies() == (False, False)


@pytest.mark.parametrize("answer,code", [
    ("Success", 0), ("success, done", 0), ("SUCCESSFUL", 0),
    ("Failed", -3), ("", -3), ("Succes", -3), (" Success", -3), ("done: Success", -3),
])
def test_remount_reply_must_begin_with_success(probe, store, answer, code):
    store.remount_answer(answer)
    assert probe.code("remount 1") == (code, [], [])
    assert probe.code("remount 0") == (code, [], [])
    assert store.remounts() == ["ro", "rw"]


class TestTransport:
    """A call that fails at the transport level drops the proxy; the next call connects
    afresh and reaches a restarted peer."""

    def test_store_calls_fail_while_it_is_away_and_reconnect(self, probe, store):
        assert probe.get("termsetting", "dispowerbutton")[0] == "yes"
        assert probe.code("set system m k one")[0] == 0
        assert store.stop() == 0
        value, out, log = probe.get("termsetting", "dispowerbutton")
        assert value is None and out == []
        assert len(log) == 1 and log[0].startswith("D settings: Error getting sys config attribute: ")
        assert len(log[0]) > len("D settings: Error getting sys config attribute: ")
        assert probe.proxies() == (False, False)
        code, out, log = probe.code("set system m k two")
        assert code == -3
        assert len(out) == 1 and out[0].startswith("Error setting sys config attribute: ")
        assert log == ["D settings: Error setting sys config attribute"]
        assert probe.proxies() == (False, False)
        assert probe.code('ext echo A ""') == (-3, [], ["D settings: Error command echo"])
        assert probe.proxies() == (False, False)
        store.start()
        assert store.get("m", "k") == "one"
        assert probe.get("termsetting", "dispowerbutton") == ("yes", [], [])
        assert probe.code("set system m k three") == (0, [], [])
        assert store.get("m", "k") == "three"
        assert probe.code('ext echo A ""') == (0, [], [])
        assert proxy_loads(store, "config") == 1

    def test_remount_fails_with_minus_4_and_reconnects(self, probe, store):
        assert probe.code("remount 1")[0] == 0
        assert probe.code('ext echo A ""')[0] == 0
        assert probe.proxies() == (True, True)
        store.stop()
        code, out, log = probe.code("remount 0")
        assert code == -4
        assert len(out) == 1 and out[0].startswith("Error remount usbdisks: ")
        assert log == ["D settings: Error remount usbdisks"]
        assert probe.proxies() == (True, False)
        store.start()
        assert probe.code("remount 0") == (0, [], [])
        assert store.remounts() == ["ro", "rw"]
        assert proxy_loads(store, "udev") == 1

    def test_first_use_while_store_is_away(self, probe, store):
        store.stop()
        assert probe.code("connect") == (0, [], [])
        assert probe.proxies() == (True, False)
        assert probe.get("termsetting", "dispowerbutton")[0] is None
        assert probe.proxies() == (False, False)
        store.start()
        assert probe.get("termsetting", "dispowerbutton")[0] == "yes"

    def test_no_bus_is_minus_2(self, world, store):
        probe = Probe(world, bus_address="unix:path=" + os.path.join(world.workdir, "no-bus"))
        code, out, _ = probe.code("connect")
        assert code == -2 and len(out) == 1 and out[0].startswith("Error connecting dconf: ")
        value, out, _ = probe.get("termsetting", "dispowerbutton")
        assert value is None and out[0].startswith("Error connecting dconf: ")
        assert probe.code("set system m k v")[0] == -2
        assert probe.code('ext echo A ""')[0] == -2
        code, out, _ = probe.code("remount 1")
        assert code == -2 and len(out) == 1 and out[0].startswith("Error connecting udev service: ")
        assert probe.close() == 0


class TestStandIn:
    def test_values_survive_a_restart_and_faults_do_not(self, probe, store):
        assert probe.code("set system usbconfiguring udiskreadonly yes%0ano") == (0, [], [])
        store.refuse()
        store.remount_answer("Failed")
        store.stop()
        store.start()
        assert probe.get("usbconfiguring", "udiskreadonly")[0] == "yes\nno"
        assert store.get("usbconfiguring", "udiskreadonly") == "yes\nno"
        assert [f for f in os.listdir(store.state_dir) if f.startswith("store.ini")] == ["store.ini"]
        assert probe.code("remount 1")[0] == 0

    def test_seed_dump_and_unset_keep_any_name_and_value(self, store):
        odd = {("a/b c", "k=[x]"): "line\nnext\\tab\t", ("m", "k"): "ünï"}
        store.seed(odd)
        store.set("x", "y", "z", schema="other")
        dumped = store.dump()
        assert {k: dumped[k] for k in odd} == odd
        assert store.dump(None)[("other", "x", "y")] == "z"
        store.unset("m", "k")
        assert store.get("m", "k") is None

    def test_quit_on_request_releases_the_names(self, world, store):
        store._control("Quit")
        assert store.process.wait(10) == 0
        assert corvo_env.wait_until(lambda: not world.bus.has_owner("com.corvo.config"))
        assert not world.bus.has_owner("com.corvo.udev")
