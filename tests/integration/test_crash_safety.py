"""The daemon killed (SIGKILL) at random moments while it rewrites the boot-loader file:
after every kill the file holds only whole, well-formed lines, the other lines survive, and
each tunable being changed holds the value it had before the write in flight or the one
that write sets, never nothing and never an older one.

CORVO_LONG_TESTS=1 runs many more rounds."""
import os
import random
import re
import signal
import threading
import time

import dbus

import corvo_env

LONG = os.environ.get("CORVO_LONG_TESTS") == "1"
ROUNDS = 2000 if LONG else 300

FOREIGN = '# boot configuration of this terminal\nautoboot_delay="2"\n\nkern.vty="vt"\n'
LINE = re.compile(r'^(\s*(#.*)?|[A-Za-z0-9_.-]+="[^"\n]*")$')
VIDPID = "usb.whitelist.vidpid"
FLAG = "crash.test.flag"


def vidpid(counter):
    return "0x1234:0x%04x" % (counter & 0xffff)


def values(text):
    """{tunable: [values in file order]} of the file's entries."""
    found = {}
    for line in text.split("\n")[:-1]:
        assert LINE.match(line), line
        if "=" in line and not line.lstrip().startswith("#"):
            name, _, value = line.partition("=")
            found.setdefault(name, []).append(value.strip('"'))
    return found


class Writer(threading.Thread):
    """Sends UsbConfigure (a white list carrying a counter) and UpdateLoaderConf (a flag
    flipping between 0 and 1) in turn until the daemon is gone. Keeps, per tunable, the last
    value a reply confirmed and the value of the request in flight."""

    def __init__(self, address, counter, flag):
        super().__init__(daemon=True)
        self.connection = dbus.bus.BusConnection(address)
        self.confirmed = {VIDPID: vidpid(counter), FLAG: str(flag)}
        self.in_flight = {}
        self.counter = counter
        self.flag = flag
        self.writes = 0

    def call(self, method, argument):
        name, path, interface = corvo_env.SERVICES["settings"]
        return str(self.connection.call_blocking(name, path, interface, method, "s", [argument], timeout=30))

    def run(self):
        try:
            while True:
                self.counter += 1
                value = vidpid(self.counter)
                self.in_flight = {VIDPID: value}
                reply = self.call("UsbConfigure", '{"USBWhiteListVIDPID": "%s"}' % value)
                assert reply == '{"Result":"Success"}', reply
                self.confirmed[VIDPID] = value
                self.writes += 1
                self.flag ^= 1
                self.in_flight = {FLAG: str(self.flag)}
                reply = self.call("UpdateLoaderConf", "%s=%d" % (FLAG, self.flag))
                assert reply == '{"Result":"Success"}', reply
                self.confirmed[FLAG] = str(self.flag)
                self.writes += 1
        except dbus.exceptions.DBusException:
            pass  # the daemon is gone
        finally:
            self.connection.close()


def test_every_kill_leaves_whole_lines_and_old_or_new_values(world):
    env = world
    rng = random.Random(20240611)
    counter, flag = 0, 0
    env.root.write("/boot/loader.conf.local", FOREIGN + '%s="%s"\n%s="%d"\n' % (VIDPID, vidpid(counter), FLAG, flag))
    total_writes = 0
    killed_mid_write = 0
    for round_number in range(ROUNDS):
        env.daemon.start()
        writer = Writer(env.bus.address, counter, flag)
        writer.start()
        # From right at the first request to well into the stream, and anywhere inside a write.
        target = rng.randint(0, 6)
        corvo_env.wait_until(lambda: writer.writes >= target, timeout=30, step=0.0005)
        time.sleep(rng.random() * 0.004)
        env.daemon.process.send_signal(signal.SIGKILL)
        code = env.daemon.stop()
        assert code == -signal.SIGKILL, (round_number, code, env.daemon.log()[-3000:])
        writer.join(60)
        assert not writer.is_alive(), "a client call outlived the daemon"

        text = env.root.loader_conf
        assert text.startswith(FOREIGN), (round_number, text)
        assert text.endswith("\n"), (round_number, text)
        found = values(text)
        for tunable in (VIDPID, FLAG):
            allowed = {writer.confirmed[tunable], writer.in_flight.get(tunable, writer.confirmed[tunable])}
            assert len(found.get(tunable, [])) == 1, (round_number, tunable, text)
            assert found[tunable][0] in allowed, (round_number, tunable, found[tunable], allowed)
            if found[tunable][0] != writer.confirmed[tunable]:
                killed_mid_write += 1
        # The next round starts from what the file holds.
        counter = int(found[VIDPID][0].split(":0x")[1], 16)
        flag = int(found[FLAG][0])
        total_writes += writer.writes
    killed_leftovers = len(os.listdir(env.root("/boot"))) - 1
    print("\nkill rounds survived: %d, confirmed writes: %d, kills that landed mid-write with the new value "
          "already in place: %d, temporary files left by the last kill: %d" % (ROUNDS, total_writes,
                                                                            killed_mid_write, killed_leftovers))
    # The next write clears whatever temporary files the kills left behind.
    env.daemon.start()
    assert env.call("settings", "UpdateLoaderConf", "%s=1" % FLAG) == '{"Result":"Success"}'
    assert os.listdir(env.root("/boot")) == ["loader.conf.local"]
    assert values(env.root.loader_conf)[FLAG] == ["1"]
