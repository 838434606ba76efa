"""The boot-loader file as every settings handler leaves it: one line per tunable, other
lines kept, long values cut with their closing quote, never seen half-written."""
import os
import re
import threading

from helpers import SUCCESS, call

FOREIGN = ('# boot configuration of this terminal\n'
           '# usb.whitelist.class="do not touch this comment"\n'
           'usb.whitelistXclass="1"\n'
           'kern.ttyS.enablementX="keep"\n'
           'autoboot_delay="2"\n')

ALL_HANDLERS = [
    ("SetTerminal", {"DisablePowerButton": "yes", "DisableRestart": "no"}),
    ("ConfigBoardSerialPort", {"BoardSerialPortEnable": True}),
    ("SetUsbUhidDriver", {"uhid": "0x1234:0x5678"}),
    ("UsbConfigure", {"EnableUDiskReadOnly": "yes", "USBWhiteListClass": "HID", "USBWhiteListVIDPID": "0x1:0x2"}),
    ("UsbRedConfigure", {"usbifstring": "0x12345678,NoDriver", "usbredenable": "yes"}),
    ("VusbProperty", {"usbRedirect": True}),
]


def test_same_tunable_twice_leaves_one_line_with_the_second_value(env):
    call(env, "SetUsbUhidDriver", {"uhid": "first"})
    call(env, "SetUsbUhidDriver", {"uhid": "second"})
    assert env.root.loader_conf == 'hw.usb.uhid_device_driver.uhid="second"\n'


def test_long_value_is_cut_to_the_line_limit_with_its_closing_quote(env):
    devices = "d" * 1100
    assert call(env, "SetUsbUhidDriver", {"uhid": devices}) == SUCCESS
    (line,) = env.root.loader_conf.splitlines()
    assert len(line) == 1023
    assert line.startswith('hw.usb.uhid_device_driver.uhid="d') and line.endswith('d"')
    assert "length error, truncated!" in env.daemon.log()
    # The running kernel gets the whole list.
    assert env.recorder.calls("sysctl") == [["sysctl", "hw.usb.uhid_driver_devices_string={%s}" % devices]]


def test_unrelated_lines_and_comments_survive_every_handler(env):
    env.root.write("/boot/loader.conf.local", FOREIGN)
    for method, params in ALL_HANDLERS:
        call(env, method, params)
        assert env.root.loader_conf.startswith(FOREIGN), method
    # Each handler's own tunables are there once.
    text = env.root.loader_conf
    for name in ("kern.ttyS.enablement", "hw.usb.uhid_device_driver.uhid", "usb.whitelist.class",
                 "usb.whitelist.vidpid", "hw.usb.product.redirect", "usbRedirect"):
        assert len(re.findall("^%s=" % re.escape(name), text, re.M)) == 1, name


def test_file_mode_is_kept(env):
    env.root.write("/boot/loader.conf.local", FOREIGN, mode=0o600)
    call(env, "VusbProperty", {"excludeAudio": True})
    assert os.stat(env.root("/boot/loader.conf.local")).st_mode & 0o777 == 0o600


def test_file_is_never_seen_half_written(env):
    # A reader polls the file while VusbProperty flips its five switches back and forth.
    env.root.write("/boot/loader.conf.local", FOREIGN)
    path = env.root("/boot/loader.conf.local")
    switches = ["usbRedirect", "excludePrinter", "excludeDisk", "excludeVideo", "excludeAudio"]
    call(env, "VusbProperty", {})
    bad = []
    done = threading.Event()

    def watch():
        seen = 0
        while not done.is_set() or seen == 0:
            with open(path) as f:
                text = f.read()
            seen += 1
            if not text.startswith(FOREIGN) or not text.endswith("\n") or \
                    any(len(re.findall("^%s=\"[01]\"$" % s, text, re.M)) != 1 for s in switches):
                bad.append(text)

    watcher = threading.Thread(target=watch)
    watcher.start()
    try:
        for i in range(60):
            assert call(env, "VusbProperty", {s: bool((i >> n) & 1) for n, s in enumerate(switches)}) == SUCCESS
    finally:
        done.set()
        watcher.join()
    assert bad == []
