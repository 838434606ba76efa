"""Caller text full of shell and sed metacharacters stays data: no command is ever run by
it, and the boot-loader file keeps one well-formed line per entry."""
import json
import os
import re

import pytest

from helpers import call

FOREIGN = '# comment\nautoboot_delay="2"\n'
WELL_FORMED = re.compile(r'^(#.*|[A-Za-z0-9_.-]+="[^"\n]*")$')

STRING_MEMBERS = [
    ("SetTerminal", "DisablePowerButton"),
    ("SetTerminal", "DisableRestart"),
    ("ConfigBoardSerialPort", "BoardSerialPortEnable"),
    ("SetUsbUhidDriver", "uhid"),
    ("UsbConfigure", "EnableUDiskReadOnly"),
    ("UsbConfigure", "USBWhiteListVIDPID"),
    ("UsbConfigure", "USBWhiteListClass"),
    ("UsbConfigure", "USBBlackListVIDPID"),
    ("UsbConfigure", "USBBlackListClass"),
    ("UsbRedConfigure", "usbifstring"),
    ("UsbRedConfigure", "usbredenable"),
    ("VusbProperty", "usbRedirect"),
]


def payloads(canary):
    touch = "touch " + canary
    return [
        "$(%s)" % touch,
        "`%s`" % touch,
        "x; %s" % touch,
        "yes'; %s; '" % touch,
        'yes"; %s; "' % touch,
        "no\n%s\n" % touch,
        "x/d\n$a\\\nevil=\"1\"\n/",
        "/.*/d",
        "0x12345678,NoDriver$(%s) 0x0807`%s`" % (touch, touch),
        "0x00000000010100\"; %s; echo \"" % touch,
        "a=\"b\"\nc",
    ]


@pytest.mark.parametrize("method,member", STRING_MEMBERS)
def test_metacharacters_stay_data(env, method, member):
    canary = os.path.join(env.workdir, "canary")
    env.root.write("/boot/loader.conf.local", FOREIGN)
    for payload in payloads(canary):
        reply = call(env, method, {member: payload})
        assert json.loads(reply)["Result"] in ("Success", "Fail")
        assert not os.path.exists(canary), payload
        text = env.root.loader_conf
        assert text.startswith(FOREIGN), payload
        assert text.endswith("\n")
        for line in text.splitlines():
            assert WELL_FORMED.match(line), (payload, line)
    # Whatever reached a program reached it as one argument after the variable name.
    for argv in env.recorder.calls():
        assert argv[0] == "sysctl" and len(argv) == 2, argv
    assert env.daemon.alive()
