"""Faults of the peers and of the host: the configuration store absent, vanishing, refusing
or slow; the device service failing a remount; the SMI request file missing or answering
badly; host files missing, unwritable, or folders where files should be. Each time the
daemon answers as the method says, logs what went wrong, and serves the next call."""
import json
import os
import shutil
import subprocess

import pytest

import corvo_env
from helpers import FAIL, LOADER, SUCCESS, SYSCTL, call, finish, skip_without_bios


def keeps_serving(env):
    """A follow-up call that needs only the daemon and a host program."""
    env.recorder.clear()
    assert call(env, "Sysctl", {"CPUCStateLowest": "C1"}) == SUCCESS
    assert env.recorder.calls("sysctl") == [["sysctl", "hw.acpi.cpu.cx_lowest=C1"]]
    assert env.daemon.alive()


class TestConfigurationStore:
    def test_absent_at_start_up_then_arriving(self, world):
        world.peers.set("termsetting", "dispowerbutton", "yes")
        world.peers.stop()
        world.daemon.start()
        # Start-up restore could not read the store: nothing was applied, nothing crashed.
        assert world.recorder.calls("sysctl") == []
        assert "Error getting sys config" in world.daemon.log()
        # Without the store the setting is applied but cannot be kept.
        assert call(world, "SetTerminal", {"DisablePowerButton": "no"}) == SUCCESS
        assert ["sysctl", "hw.acpi.power_button_state=S5"] in world.recorder.calls("sysctl")
        assert "Error setting sys config" in world.daemon.log()
        world.peers.start()
        assert call(world, "SetTerminal", {"DisablePowerButton": "no", "DisableRestart": "yes"}) == SUCCESS
        assert world.peers.get("termsetting", "dispowerbutton") == "no"
        assert world.peers.get("termsetting", "disrestart") == "yes"
        keeps_serving(world)
        finish(world)

    def test_vanishing_between_calls_and_coming_back(self, env):
        assert call(env, "ConfigBoardSerialPort", {"BoardSerialPortEnable": True}) == SUCCESS
        env.peers.stop()
        assert call(env, "ConfigBoardSerialPort", {"BoardSerialPortEnable": False}) == SUCCESS
        assert 'kern.ttyS.enablement="false"' in env.root.loader_conf
        assert "Error setting sys config" in env.daemon.log()
        env.peers.start()
        # The store still holds the value from before it went away, and the same-value rule
        # compares with the store; the client reconnects and later changes are kept again.
        assert call(env, "ConfigBoardSerialPort", {"BoardSerialPortEnable": True}) == FAIL
        assert call(env, "ConfigBoardSerialPort", {"BoardSerialPortEnable": False}) == SUCCESS
        assert env.peers.get("com", "disable_board_serial") == "false"
        assert call(env, "ConfigBoardSerialPort", {"BoardSerialPortEnable": True}) == SUCCESS
        assert env.peers.get("com", "disable_board_serial") == "true"
        assert 'kern.ttyS.enablement="true"' in env.root.loader_conf
        keeps_serving(env)

    def test_refusing(self, env):
        env.peers.refuse()
        assert call(env, "SysctlGeneric", {"sysctl": "v4l2_not_allowed", "boolkey": True}) in (SUCCESS, FAIL)
        assert call(env, "SetAppStatus", {"name": "HID", "status": True}, "thirdapps").startswith("{")
        assert env.peers.get("sysctl", "v4l2_not_allowed") is None
        assert "Error" in env.daemon.log()
        env.peers.refuse(False)
        assert call(env, "SysctlGeneric", {"sysctl": "v4l2_not_allowed", "boolkey": True}) == SUCCESS
        keeps_serving(env)

    def test_answering_slowly_is_waited_for(self, env):
        env.peers.delay(1500)
        assert call(env, "SetTerminal", {"DisablePowerButton": "yes", "DisableRestart": "no"}) == SUCCESS
        assert env.peers.get("termsetting", "dispowerbutton") == "yes"
        assert env.peers.get("termsetting", "disrestart") == "no"
        env.peers.delay(0)
        keeps_serving(env)


class TestDeviceService:
    def test_failed_remount_is_not_stored_and_the_next_one_is(self, env):
        env.peers.remount_answer("Failed: device busy")
        assert call(env, "UsbConfigure", {"EnableUDiskReadOnly": "yes", "USBWhiteListClass": "HID"}) == SUCCESS
        assert env.peers.get("usbconfiguring", "udiskreadonly") is None
        assert env.root.loader_conf == 'usb.whitelist.class="HID"\n'
        env.peers.remount_answer("Success")
        assert call(env, "UsbConfigure", {"EnableUDiskReadOnly": "yes"}) == SUCCESS
        assert env.peers.remounts() == ["ro", "ro"]
        assert env.peers.get("usbconfiguring", "udiskreadonly") == "yes"
        keeps_serving(env)

    def test_device_service_gone(self, env):
        env.peers.stop()
        assert call(env, "UsbConfigure", {"EnableUDiskReadOnly": "no", "USBBlackListClass": "Hub"}) == SUCCESS
        assert "Error remount usbdisks" in env.daemon.log() or "Error connecting udev" in env.daemon.output()
        assert env.root.loader_conf == 'usb.blacklist.class="Hub"\n'
        env.peers.start()
        keeps_serving(env)


def get_bios(env, keys):
    return json.loads(call(env, "GetBios", keys, "bios"))["result"]


class TestSmiFile:
    def test_missing_request_file(self):
        with corvo_env.Environment(model="K50AIO", start_daemon=False) as env:
            if env.bios is not None:
                env.bios.stop()
            env.daemon.start()
            assert "smi request write open file fail" in env.daemon.log()
            assert get_bios(env, ["DeviceKORACMOSAudio"]) == "FAILED"
            assert env.call("bios", "UpdateBios") == '{"result":"FAILED", "message": ""}'
            keeps_serving(env)
            finish(env)

    @pytest.mark.parametrize("kind,logged", [("bad_header", "read header error"),
                                             ("read_error", "smi read file error is"),
                                             ("write_error", "smi write file error is"),
                                             ("short", None), ("long_field", "length error, truncated!")])
    def test_faulty_answers_at_start_up_and_later(self, kind, logged):
        skip_without_bios()
        with corvo_env.Environment(model="K50AIO", start_daemon=False) as env:
            env.bios.fault(kind=kind)
            env.daemon.start()
            assert logged is None or logged in env.daemon.log()
            assert get_bios(env, ["DeviceKORACMOSAudio", "DeviceKORACMOSAssettag"]) in ("Success", "FAILED")
            env.bios.clear_faults()
            assert get_bios(env, ["DeviceKORACMOSAudio"]) == "Success"
            keeps_serving(env)
            finish(env)


def read_only_bind(folder):
    """Makes `folder` read-only for root too, with a read-only bind mount over itself.
    Returns an undo function, or None where this machine does not allow it."""
    if shutil.which("mount") is None:
        return None
    if subprocess.run(["mount", "--bind", folder, folder], capture_output=True).returncode != 0:
        return None
    if subprocess.run(["mount", "-o", "remount,bind,ro", folder], capture_output=True).returncode != 0:
        subprocess.run(["umount", folder], capture_output=True)
        return None
    return lambda: subprocess.run(["umount", folder], capture_output=True, check=True)


class TestHostFiles:
    def test_missing_loader_file_is_created(self, env):
        assert not os.path.exists(env.root(LOADER))
        assert call(env, "UpdateLoaderConf", "fault.test=1") == SUCCESS
        assert env.root.loader_conf == 'fault.test="1"\n'

    def test_missing_boot_folder(self, env):
        shutil.rmtree(env.root("/boot"))
        assert call(env, "ConfigBoardSerialPort", {"BoardSerialPortEnable": True}) == FAIL
        assert "loader.conf.local" in env.daemon.log()
        # Not stored: the same request is not refused as unchanged once the file can be written.
        assert env.peers.get("com", "disable_board_serial") is None
        os.makedirs(env.root("/boot"))
        assert call(env, "ConfigBoardSerialPort", {"BoardSerialPortEnable": True}) == SUCCESS
        assert env.root.loader_conf == 'kern.ttyS.enablement="true"\n'
        keeps_serving(env)

    @pytest.mark.parametrize("fixed_path", [LOADER, SYSCTL])
    def test_folder_where_the_file_should_be(self, env, fixed_path):
        os.makedirs(env.root(fixed_path))
        assert call(env, "UpdateLoaderConf", "fault.test=1") == (FAIL if fixed_path == LOADER else SUCCESS)
        reply = call(env, "Sysctl", {"EnableUserCoreDump": "yes"})
        assert reply in (SUCCESS, FAIL)
        assert "read error" in env.daemon.log()
        assert os.path.isdir(env.root(fixed_path))
        os.rmdir(env.root(fixed_path))
        assert call(env, "UpdateLoaderConf", "fault.test=0") == SUCCESS
        assert call(env, "Sysctl", {"EnableUserCoreDump": "yes"}) == SUCCESS
        assert "kern.coredump=1\n" in env.root.sysctl_conf
        keeps_serving(env)

    def test_read_only_boot_folder(self, env):
        env.root.write(LOADER, 'autoboot_delay="2"\n')
        undo = read_only_bind(env.root("/boot"))
        if undo is None:
            pytest.skip("read-only bind mounts are not allowed here")
        try:
            assert call(env, "UpdateLoaderConf", "fault.test=1") == FAIL
            assert call(env, "SetUsbUhidDriver", {"uhid": "0x1234:0x5678"}) == FAIL
            assert "write error" in env.daemon.log() or "open error" in env.daemon.log()
            assert env.root.loader_conf == 'autoboot_delay="2"\n'
        finally:
            undo()
        assert call(env, "UpdateLoaderConf", "fault.test=1") == SUCCESS
        assert env.root.loader_conf == 'autoboot_delay="2"\nfault.test="1"\n'
        keeps_serving(env)

    def test_unreadable_loader_file_is_left_alone(self, env):
        # A folder cannot be read as a file even by root: the edit is refused, not guessed.
        os.makedirs(env.root(LOADER))
        with open(os.path.join(env.root(LOADER), "inside"), "w") as f:
            f.write("x")
        assert call(env, "VusbProperty", {"usbRedirect": True}) in (SUCCESS, FAIL)
        assert os.listdir(env.root(LOADER)) == ["inside"]
        keeps_serving(env)
