"""UsbConfigure: USB device lists in the boot-loader file and read-only USB disks."""
import pytest

from test_settings_terminal import FAIL, SUCCESS, call

import corvo_env

OLD_LISTS = ('# USB policy\n'
             'usb.whitelist.vidpid="0x1111:0x2222"\n'
             'usb.whitelist.class="HID"\n'
             'usb.blacklist.vidpid="0x3333:0x4444"\n'
             'usb.blacklist.class="Audio"\n'
             'usbRedirect="1"\n')
KEPT = '# USB policy\nusbRedirect="1"\n'


def lines(env):
    return env.root.loader_conf.splitlines()


class TestClassLists:
    def test_white_class_list_keeps_names_and_valid_codes(self, env):
        assert call(env, "UsbConfigure", {"USBWhiteListClass": "MASS_STORAGE,foo,0x080650"}) == SUCCESS
        assert lines(env) == ['usb.whitelist.class="MASS_STORAGE,0x080650"']

    def test_black_class_codes_are_completed(self, env):
        assert call(env, "UsbConfigure", {"USBBlackListClass": "0x03,0x0701"}) == SUCCESS
        assert lines(env) == ['usb.blacklist.class="0x030200,0x070100"']

    def test_list_without_valid_class_writes_no_line(self, env):
        env.root.write("/boot/loader.conf.local", OLD_LISTS)
        assert call(env, "UsbConfigure", {"USBBlackListClass": "foo,bar"}) == SUCCESS
        assert env.root.loader_conf == KEPT
        assert "$(sdl_invalid_input)" in env.daemon.log()

    def test_long_class_list_fits_its_line_without_a_cut_entry(self, env):
        assert call(env, "UsbConfigure", {"USBWhiteListClass": ",".join(["0x01"] * 200)}) == SUCCESS
        (line,) = lines(env)
        assert len(line) <= 1023 and line.endswith('"')
        value = line[len('usb.whitelist.class="'):-1]
        assert set(value.split(",")) == {"0x010200"}
        assert "length error, truncated" not in env.daemon.log()


class TestWhiteAndBlack:
    def test_white_list_excludes_black_lists(self, env):
        params = {"USBWhiteListVIDPID": "0x0951:0x1666", "USBBlackListClass": "HID",
                  "USBBlackListVIDPID": "0x1234:0x5678"}
        assert call(env, "UsbConfigure", params) == SUCCESS
        assert lines(env) == ['usb.whitelist.vidpid="0x0951:0x1666"']
        assert "Admin Policy USB Config, Black list ignored" in env.daemon.log()

    def test_black_lists_alone_are_written_in_slot_order(self, env):
        env.root.write("/boot/loader.conf.local", OLD_LISTS)
        params = {"USBBlackListClass": "Printer", "USBBlackListVIDPID": "0x1234:0x5678"}
        assert call(env, "UsbConfigure", params) == SUCCESS
        assert env.root.loader_conf == KEPT + 'usb.blacklist.vidpid="0x1234:0x5678"\nusb.blacklist.class="Printer"\n'
        assert "Black list ignored" not in env.daemon.log()

    def test_request_without_lists_removes_all_four(self, env):
        env.root.write("/boot/loader.conf.local", OLD_LISTS)
        assert call(env, "UsbConfigure", {}) == SUCCESS
        assert env.root.loader_conf == KEPT

    def test_list_the_file_cannot_hold_is_skipped_and_others_go_on(self, env):
        params = {"USBWhiteListVIDPID": '0x1"; rm', "USBWhiteListClass": "HID"}
        assert call(env, "UsbConfigure", params) == SUCCESS
        assert lines(env) == ['usb.whitelist.class="HID"']

    @pytest.mark.parametrize("params", ["USBWhiteListClass=HID", "[]", '"HID"'])
    def test_request_that_is_not_an_object_leaves_the_lists(self, env, params):
        env.root.write("/boot/loader.conf.local", OLD_LISTS)
        assert call(env, "UsbConfigure", params) == FAIL
        assert env.root.loader_conf == OLD_LISTS


class TestReadOnly:
    def test_changed_switch_remounts_stores_and_rewrites_lists(self, env):
        env.root.write("/boot/loader.conf.local", OLD_LISTS)
        assert call(env, "UsbConfigure", {"EnableUDiskReadOnly": "YES"}) == SUCCESS
        assert env.peers.remounts() == ["ro"]
        assert env.peers.get("usbconfiguring", "udiskreadonly") == "YES"
        assert env.root.loader_conf == KEPT
        assert "UDiskReadOnly get str YES from UI" in env.daemon.log()

    def test_true_counts_as_read_write(self, env):
        assert call(env, "UsbConfigure", {"EnableUDiskReadOnly": "true"}) == SUCCESS
        assert env.peers.remounts() == ["rw"]

    @pytest.mark.parametrize("requested", ["yes", "YES", "Yes"])
    def test_same_switch_in_any_case_changes_nothing_at_all(self, requested):
        with corvo_env.Environment(store={("usbconfiguring", "udiskreadonly"): "yes"}) as env:
            env.root.write("/boot/loader.conf.local", OLD_LISTS)
            params = {"EnableUDiskReadOnly": requested, "USBWhiteListClass": "Video"}
            assert call(env, "UsbConfigure", params) == SUCCESS
            assert env.root.loader_conf == OLD_LISTS
            assert env.peers.remounts() == []
            assert env.peers.get("usbconfiguring", "udiskreadonly") == "yes"
            assert "on_handle_admin_policy_usb_configure: same value (yes)" in env.daemon.log()
            env.daemon.stop()
            assert not env.daemon.sanitizer_reports()

    def test_failed_remount_is_not_stored_but_lists_are_written(self, env):
        env.peers.remount_answer("Failed")
        params = {"EnableUDiskReadOnly": "yes", "USBWhiteListClass": "HID"}
        assert call(env, "UsbConfigure", params) == SUCCESS
        assert env.peers.remounts() == ["ro"]
        assert env.peers.get("usbconfiguring", "udiskreadonly") is None
        assert lines(env) == ['usb.whitelist.class="HID"']

    def test_store_gone_still_writes_lists(self, env):
        env.peers.stop()
        assert call(env, "UsbConfigure", {"EnableUDiskReadOnly": "no", "USBBlackListClass": "Hub"}) == SUCCESS
        assert lines(env) == ['usb.blacklist.class="Hub"']
