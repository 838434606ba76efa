"""SetTerminal, ConfigBoardSerialPort and SetUsbUhidDriver over the bus, and the stored power
button and USB redirection strings re-applied at start-up."""
import os

import pytest

from helpers import FAIL, LOADER, SUCCESS, call, running


class TestSetTerminal:
    @pytest.mark.parametrize("value,state", [("yes", "NONE"), ("no", "S5"), ("nonsense", "S5"), ("YES", "NONE")])
    def test_power_button_is_applied_and_stored(self, env, value, state):
        assert call(env, "SetTerminal", {"DisablePowerButton": value}) == SUCCESS
        assert env.recorder.calls("sysctl") == [["sysctl", "hw.acpi.power_button_state=" + state]]
        assert env.peers.get("termsetting", "dispowerbutton") == value

    def test_value_cut_inside_a_character_reaches_the_store_as_text(self, env):
        # 64-byte field: "yes!" and 29 two-byte characters fill 62 bytes, the 30th would be
        # cut in half; the store takes only whole characters.
        assert call(env, "SetTerminal", {"DisablePowerButton": "yes!" + "\u00e9" * 40}) == SUCCESS
        assert env.peers.get("termsetting", "dispowerbutton") == "yes!" + "\u00e9" * 29

    @pytest.mark.parametrize("params,restart", [({"DisablePowerButton": "maybe", "DisableRestart": "yes"}, "yes"),
                                                ({"DisableRestart": "no"}, "no"), ("{DisablePowerButton", None)])
    def test_without_a_power_button_value_only_restart_is_stored_and_it_fails(self, env, params, restart):
        assert call(env, "SetTerminal", params) == FAIL
        assert env.recorder.calls() == []
        assert env.peers.dump() == ({} if restart is None else {("termsetting", "disrestart"): restart})


class TestConfigBoardSerialPort:
    def test_change_then_the_same_value_again_is_refused(self, env):
        call(env, "ConfigBoardSerialPort", {"BoardSerialPortEnable": True})
        assert call(env, "ConfigBoardSerialPort", {"BoardSerialPortEnable": False}) == SUCCESS
        assert env.root.loader_conf == 'kern.ttyS.enablement="false"\n'
        assert env.peers.get("com", "disable_board_serial") == "false"
        assert call(env, "ConfigBoardSerialPort", {"BoardSerialPortEnable": False}) == FAIL
        assert "on_handle_config_board_serial_port: same value (false)\n" in env.daemon.output()
        assert env.root.loader_conf == 'kern.ttyS.enablement="false"\n'

    @pytest.mark.parametrize("params", ["not json", {}, {"Other": True}, None])
    def test_request_without_a_value_or_file_writes_and_stores_nothing(self, env, params):
        if params is None:
            env.root.write(LOADER + "/blocker", "")  # a folder where the file belongs
            params = {"BoardSerialPortEnable": True}
        assert call(env, "ConfigBoardSerialPort", params) == FAIL
        assert not os.path.isfile(env.root(LOADER))
        assert env.peers.get("com", "disable_board_serial") is None


class TestSetUsbUhidDriver:
    @pytest.mark.parametrize("params,devices", [({"uhid": ""}, ""), ({}, ""),
                                                ({"uhid": "0x1234:0x5678,0x0a0b:0x0c0d"}, "0x1234:0x5678,0x0a0b:0x0c0d")])
    def test_list_reaches_file_and_kernel(self, env, params, devices):
        env.root.write("/boot/loader.conf.local", 'hw.usb.uhid_device_driver.uhid="old"\n')
        assert call(env, "SetUsbUhidDriver", params) == SUCCESS
        assert env.root.loader_conf == 'hw.usb.uhid_device_driver.uhid="%s"\n' % devices
        assert env.recorder.calls("sysctl") == [["sysctl", "hw.usb.uhid_driver_devices_string={%s}" % devices]]

    @pytest.mark.parametrize("params", [{"uhid": '0x1"2'}, {"uhid": "0x1\n0x2"}, {"uhid": "0x1\r"}, "[", "[]"])
    def test_list_the_file_cannot_hold_or_unparsable_request_is_refused_whole(self, env, params):
        env.root.write("/boot/loader.conf.local", 'hw.usb.uhid_device_driver.uhid="old"\n')
        assert call(env, "SetUsbUhidDriver", params) == FAIL
        assert env.root.loader_conf == 'hw.usb.uhid_device_driver.uhid="old"\n'
        assert env.recorder.calls() == []


REDIRECT = "1,0,1,{0x12345678,0x0,0x3}"
LOCAL = "0,0,1,{0x0,0x080650,0x1}"


@pytest.mark.parametrize("store,commands", [
    ({("termsetting", "dispowerbutton"): "yes", ("usbiflocal", "flo_interfacestring"): LOCAL,
      ("usbifredirect", "fre_interfacestring"): REDIRECT},
     ["hw.acpi.power_button_state=NONE", "hw.usb.usbfs_redirect_string=" + REDIRECT,
      "hw.usb.usbfs_redirect_string=" + LOCAL]),
    ({("termsetting", "dispowerbutton"): "maybe", ("usbiflocal", "flo_interfacestring"): LOCAL},
     ["hw.usb.usbfs_redirect_string=" + LOCAL]),
    ({}, []),
])
def test_stored_settings_are_applied_at_start_redirect_before_local(store, commands):
    with running(store=store) as env:
        assert env.recorder.calls() == [["sysctl", c] for c in commands]
        if REDIRECT in store.values():
            assert 'usbif command = sysctl hw.usb.usbfs_redirect_string="%s"' % REDIRECT in env.daemon.log()


def test_hostile_stored_text_stays_one_argument_at_start(tmp_path):
    marker = str(tmp_path / "ran")
    hostile = '1,0,0"; touch %s; echo "\nkern.evil=1 $(touch %s)' % (marker, marker)
    store = {("termsetting", "dispowerbutton"): "yes; touch " + marker, ("usbifredirect", "fre_interfacestring"): hostile,
             ("usbiflocal", "flo_interfacestring"): "`touch %s`" % marker}
    with running(store=store) as env:
        assert env.recorder.calls() == [["sysctl", "hw.acpi.power_button_state=NONE"],
                                        ["sysctl", "hw.usb.usbfs_redirect_string=" + hostile],
                                        ["sysctl", "hw.usb.usbfs_redirect_string=`touch %s`" % marker]]
        assert not os.path.exists(marker)
        # Nothing of it reaches a host file, and the log shows it on one line.
        assert env.root.loader_conf == "" and env.root.sysctl_conf == ""
        assert "\\nkern.evil=1" in env.daemon.log() and "\nkern.evil" not in env.daemon.log()


def test_settings_made_over_the_bus_come_back_after_a_restart(world):
    world.daemon.start()
    call(world, "SetTerminal", {"DisablePowerButton": "no"})
    call(world, "UsbRedConfigure", {"usbifstring": "0x080650", "usbredenable": "yes"})
    world.daemon.stop()
    world.recorder.clear()
    world.daemon.start()
    assert world.recorder.calls("sysctl") == [
        ["sysctl", "hw.acpi.power_button_state=S5"],
        ["sysctl", "hw.usb.usbfs_redirect_string=1,0,1,{0x0,0x080650,0x1}"],
    ]
