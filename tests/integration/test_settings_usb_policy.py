"""UsbConfigure: USB device lists in the boot-loader file and read-only USB disks."""
import pytest

from helpers import FAIL, LOADER, SUCCESS, call, running

OLD_LISTS = ('# USB policy\n'
             'usb.whitelist.vidpid="0x1111:0x2222"\n'
             'usb.whitelist.class="HID"\n'
             'usb.blacklist.vidpid="0x3333:0x4444"\n'
             'usb.blacklist.class="Audio"\n'
             'usbRedirect="1"\n')
KEPT = '# USB policy\nusbRedirect="1"\n'
IGNORED = "Admin Policy USB Config, Black list ignored"


@pytest.mark.parametrize("params,written,logged,not_logged", [
    ({"USBWhiteListClass": "MASS_STORAGE,foo,0x080650"}, 'usb.whitelist.class="MASS_STORAGE,0x080650"\n', None, None),
    ({"USBBlackListClass": "0x03,0x0701"}, 'usb.blacklist.class="0x030200,0x070100"\n', None, IGNORED),
    ({"USBBlackListClass": "foo,bar"}, "", "$(sdl_invalid_input)", None),
    ({"USBWhiteListVIDPID": "0x0951:0x1666", "USBBlackListClass": "HID", "USBBlackListVIDPID": "0x1234:0x5678"},
     'usb.whitelist.vidpid="0x0951:0x1666"\n', IGNORED, None),
    ({"USBBlackListClass": "Printer", "USBBlackListVIDPID": "0x1234:0x5678"},
     'usb.blacklist.vidpid="0x1234:0x5678"\nusb.blacklist.class="Printer"\n', None, IGNORED),
    ({}, "", None, None),
    ({"USBWhiteListVIDPID": '0x1"; rm', "USBWhiteListClass": "HID"}, 'usb.whitelist.class="HID"\n', None, None),
])
def test_lists_replace_the_old_four_in_slot_order(env, params, written, logged, not_logged):
    env.root.write(LOADER, OLD_LISTS)
    assert call(env, "UsbConfigure", params) == SUCCESS
    assert env.root.loader_conf == KEPT + written
    assert logged is None or logged in env.daemon.log()
    assert not_logged is None or not_logged not in env.daemon.log()


def test_long_class_list_fits_its_line_without_a_cut_entry(env):
    assert call(env, "UsbConfigure", {"USBWhiteListClass": ",".join(["0x01"] * 200)}) == SUCCESS
    (line,) = env.root.loader_conf.splitlines()
    assert len(line) <= 1023 and line.endswith('"')
    assert set(line[len('usb.whitelist.class="'):-1].split(",")) == {"0x010200"}
    assert "length error, truncated" not in env.daemon.log()


@pytest.mark.parametrize("params", ["USBWhiteListClass=HID", "[]", '"HID"'])
def test_request_that_is_not_an_object_leaves_the_lists(env, params):
    env.root.write(LOADER, OLD_LISTS)
    assert call(env, "UsbConfigure", params) == FAIL
    assert env.root.loader_conf == OLD_LISTS


@pytest.mark.parametrize("value,mode", [("YES", "ro"), ("true", "rw")])
def test_changed_read_only_switch_remounts_stores_and_rewrites_lists(env, value, mode):
    env.root.write(LOADER, OLD_LISTS)
    assert call(env, "UsbConfigure", {"EnableUDiskReadOnly": value}) == SUCCESS
    assert env.peers.remounts() == [mode]
    assert env.peers.get("usbconfiguring", "udiskreadonly") == value
    assert env.root.loader_conf == KEPT
    assert "UDiskReadOnly get str %s from UI" % value in env.daemon.log()


def test_same_read_only_switch_in_any_case_changes_nothing_at_all():
    with running(store={("usbconfiguring", "udiskreadonly"): "yes"}) as env:
        env.root.write(LOADER, OLD_LISTS)
        for requested in ("yes", "YES", "Yes"):
            assert call(env, "UsbConfigure", {"EnableUDiskReadOnly": requested, "USBWhiteListClass": "Video"}) \
                == SUCCESS
        assert env.root.loader_conf == OLD_LISTS
        assert env.peers.remounts() == []
        assert env.peers.get("usbconfiguring", "udiskreadonly") == "yes"
        assert "on_handle_admin_policy_usb_configure: same value (yes)" in env.daemon.log()
