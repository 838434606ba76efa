"""Sysctl, SysctlGeneric, EEEConfigure, GKeyConfigure, RKeyConfigure and UpdateLoaderConf
over the bus, with a recording sysctl, the stand-in store and a throwaway host root."""
import os

import pytest

from helpers import FAIL, LOADER, SUCCESS, SYSCTL, call, running

UNRELATED = '# boot settings\nkern.vty="vt"\nhw.re.eee_enable_other="1"\n'


def sysctl(env):
    return env.recorder.calls("sysctl")


class TestSysctl:
    @pytest.mark.parametrize("params,command", [
        ({"CPUCStateLowest": "c1"}, "hw.acpi.cpu.cx_lowest=C1"), ({"CPUCStateLowest": "C1E"}, "hw.acpi.cpu.cx_lowest=C1"),
        ({"CPUCStateLowest": "cmax"}, "hw.acpi.cpu.cx_lowest=Cmax"),
        ({"CPUCStateLowest": "CMAX3"}, "hw.acpi.cpu.cx_lowest=Cmax"),
        ({"hw_usb_setting": "no_shutdown_wait=1"}, "hw.usb.no_shutdown_wait=1"),
        ({"hw_usb_setting": "no_shutdown_wait=0"}, "hw.usb.no_shutdown_wait=0"),
        ({"ForceKernelCoreDump": "Yes"}, "debug.kdb.panic=1"),
        # The first member present decides alone.
        ({"CPUCStateLowest": "C1", "EnableUserCoreDump": "yes", "hw_usb_setting": "no_shutdown_wait=1"},
         "hw.acpi.cpu.cx_lowest=C1"),
    ])
    def test_accepted_value_runs_one_command(self, env, params, command):
        assert call(env, "Sysctl", params) == SUCCESS
        assert env.recorder.calls() == [["sysctl", command]]
        assert env.root.sysctl_conf == ""

    @pytest.mark.parametrize("params", [
        {"CPUCStateLowest": "C2"}, {"hw_usb_setting": "no_shutdown_wait=2"}, {"hw_usb_setting": "shutdown"},
        {"ForceKernelCoreDump": "no"}, {"EnableRe0ASPM": "maybe"}, {"Unknown": "yes"}, {"CPUCStateLowest": 1},
        {}, [], "{CPUCStateLowest",
    ])
    def test_refused_requests_run_and_store_nothing(self, env, params):
        assert call(env, "Sysctl", params) == FAIL
        assert env.recorder.calls() == []
        assert env.peers.dump() == {}
        assert env.root.loader_conf == "" and env.root.sysctl_conf == ""

    def test_text_after_the_usb_switch_is_never_a_command(self, env):
        # Values are read into 31 characters, so the canary name is short; a shell would
        # create it in the daemon's working folder.
        canary = os.path.join(os.readlink("/proc/%d/cwd" % env.daemon.process.pid), "C")
        assert not os.path.exists(canary)
        for text in ("no_shutdown_wait=1; touch C", "no_shutdown_wait=1`touch C`", "no_shutdown_wait=1$(touch C)"):
            env.recorder.clear()
            assert call(env, "Sysctl", {"hw_usb_setting": text}) == SUCCESS
            assert sysctl(env) == [["sysctl", "hw.usb." + text]]
        assert not os.path.exists(canary)

    def test_user_core_dump_sets_the_kernel_and_the_sysctl_file(self, env):
        env.root.write(SYSCTL, "# host\nkern.maxfiles=1000\n")
        assert call(env, "Sysctl", {"EnableUserCoreDump": "YES"}) == SUCCESS
        assert env.root.sysctl_conf == "# host\nkern.maxfiles=1000\nkern.coredump=1\n"
        assert call(env, "Sysctl", {"EnableUserCoreDump": "None"}) == SUCCESS
        assert sysctl(env) == [["sysctl", "kern.coredump=1"], ["sysctl", "kern.coredump=0"]]
        assert env.root.sysctl_conf == "# host\nkern.maxfiles=1000\nkern.coredump=0\n"

    @pytest.mark.parametrize("output,answer", [("kern.coredump: 1\n", "1"), ("kern.coredump: 0\n", "0"), ("", "0")])
    def test_any_other_core_dump_value_asks_the_kernel(self, env, output, answer):
        env.recorder.answer("sysctl", output)
        assert call(env, "Sysctl", {"EnableUserCoreDump": "?"}) == '{"Result":"%s"}' % answer
        assert sysctl(env) == [["sysctl", "kern.coredump"]]
        assert env.root.sysctl_conf == ""

    @pytest.mark.parametrize("value,aspm,switch,saved,tunable", [("yes", 2, 3, "true", "1"), ("No", 0, 7, "false", "0")])
    def test_adapter_audio_and_power_saving_in_order(self, env, value, aspm, switch, saved, tunable):
        env.root.write(LOADER, UNRELATED)
        assert call(env, "Sysctl", {"EnableRe0ASPM": value}) == SUCCESS
        assert sysctl(env) == [["sysctl", "dev.re.0.aspm_control=%d" % aspm],
                               ["sysctl", "dev.hdac.0.rtswitch=%d" % switch]]
        assert env.peers.get("power", "most_save") == saved
        assert env.root.loader_conf == UNRELATED + 'hw.devpmostsave="%s"\n' % tunable

    def test_power_saving_is_stored_only_once_its_tunable_is_written(self, env):
        os.makedirs(env.root(LOADER))  # a folder where the file should be: it cannot be replaced
        assert call(env, "Sysctl", {"EnableRe0ASPM": "yes"}) == SUCCESS
        assert env.peers.get("power", "most_save") is None
        os.rmdir(env.root(LOADER))
        assert call(env, "Sysctl", {"EnableRe0ASPM": "yes"}) == SUCCESS
        assert env.peers.get("power", "most_save") == "true"
        assert env.root.loader_conf == 'hw.devpmostsave="1"\n'


class TestSysctlGeneric:
    REQUEST = {"sysctl": "v4l2_not_allowed", "boolkey": True}

    def test_stores_writes_and_sets_then_repeats_as_nothing(self, env):
        assert call(env, "SysctlGeneric", self.REQUEST) == SUCCESS
        assert env.peers.get("sysctl", "v4l2_not_allowed") == "1"
        assert env.root.sysctl_conf == "hw.usb.v4l2.v4l2_not_allowed=1\n"
        assert sysctl(env) == [["sysctl", "hw.usb.v4l2.v4l2_not_allowed=1"]]
        env.recorder.clear()
        assert call(env, "SysctlGeneric", self.REQUEST) == SUCCESS
        assert sysctl(env) == []
        assert "sysctl_generic_bool_type: same value (1)\n" in env.daemon.log()
        assert call(env, "SysctlGeneric", {"sysctl": "v4l2_not_allowed"}) == SUCCESS
        assert env.peers.get("sysctl", "v4l2_not_allowed") == "0"
        assert env.root.sysctl_conf == "hw.usb.v4l2.v4l2_not_allowed=0\n"
        assert sysctl(env) == [["sysctl", "hw.usb.v4l2.v4l2_not_allowed=0"]]

    def test_unwritable_sysctl_file_fails_sets_the_kernel_and_is_retried(self, env):
        os.makedirs(env.root(SYSCTL))
        assert call(env, "SysctlGeneric", self.REQUEST) == FAIL
        assert sysctl(env) == [["sysctl", "hw.usb.v4l2.v4l2_not_allowed=1"]]
        assert env.peers.get("sysctl", "v4l2_not_allowed") is None
        os.rmdir(env.root(SYSCTL))
        assert call(env, "SysctlGeneric", self.REQUEST) == SUCCESS
        assert env.root.sysctl_conf == "hw.usb.v4l2.v4l2_not_allowed=1\n"
        assert env.peers.get("sysctl", "v4l2_not_allowed") == "1"

    @pytest.mark.parametrize("params", [{"sysctl": "nosuch", "boolkey": True}, {"sysctl": "V4L2_NOT_ALLOWED"},
                                        {"boolkey": True}, "not json"])
    def test_unknown_entry_fails_and_changes_nothing(self, env, params):
        assert call(env, "SysctlGeneric", params) == FAIL
        assert env.recorder.calls() == []
        assert env.peers.dump() == {}
        assert env.root.sysctl_conf == ""


@pytest.mark.parametrize("method,module,key,tunable", [
    ("EEEConfigure", "power", "energyefficientethernet", "hw.re.eee_enable"),
    ("GKeyConfigure", "shortcut", "resetkeyenable", "system_reset_key_enable"),
    ("RKeyConfigure", "shortcut", "recoverkeyenable", "system_recover_key_enable"),
])
class TestPlainBooleans:
    def test_value_is_stored_and_written_unless_same_in_any_case_or_empty(self, env, method, module, key, tunable):
        env.root.write(LOADER, UNRELATED + tunable + '="0"\n')
        assert call(env, method, "TRUE") == SUCCESS
        assert env.peers.get(module, key) == "TRUE"
        assert env.root.loader_conf == UNRELATED + tunable + '="1"\n'
        env.root.write(LOADER, "# untouched\n")
        for same in ("true", ""):
            assert call(env, method, same) == SUCCESS
            assert env.root.loader_conf == "# untouched\n"
            assert env.peers.get(module, key) == "TRUE"
        handler = {"EEEConfigure": "eee", "GKeyConfigure": "gkey", "RKeyConfigure": "rkey"}[method]
        assert "on_handle_admin_policy_%s_configure: same value (TRUE)\n" % handler in env.daemon.log()
        assert call(env, method, "off") == SUCCESS
        assert env.peers.get(module, key) == "off"
        assert env.root.loader_conf == '# untouched\n' + tunable + '="0"\n'
        assert env.recorder.calls() == [], "takes effect at the next boot only"

    def test_unwritable_loader_file_fails_and_stores_nothing(self, env, method, module, key, tunable):
        os.makedirs(env.root(LOADER))  # a folder where the file should be: it cannot be replaced
        assert call(env, method, "true") == FAIL
        assert env.peers.get(module, key) is None
        os.rmdir(env.root(LOADER))
        assert call(env, method, "true") == SUCCESS, "a later request is not taken as unchanged"
        assert env.root.loader_conf == tunable + '="1"\n'


def test_stored_value_from_before_counts_as_same():
    with running(store={("power", "energyefficientethernet"): "True"}) as env:
        assert call(env, "EEEConfigure", "TRUE") == SUCCESS
        assert env.root.loader_conf == ""


class TestUpdateLoaderConf:
    @pytest.mark.parametrize("param,value,number", [("foo.bar=5", "1", 5), ("foo.bar=abc", "0", 0),
                                                     ("foo.bar=-1", "1", -1), ("foo.bar=0", "0", 0),
                                                     ("foo.bar= 7x=2", "1", 7)])
    def test_number_chooses_one_or_zero(self, env, param, value, number):
        env.root.write(LOADER, UNRELATED + 'foo.bar="9"\n')
        assert call(env, "UpdateLoaderConf", param) == SUCCESS
        assert env.root.loader_conf == UNRELATED + 'foo.bar="%s"\n' % value
        assert "update_loader_conf: %s\n key foo.bar, rd %d\n" % (param, number) in env.daemon.output()

    @pytest.mark.parametrize("param,reply", [("foo.bar", SUCCESS), ("", SUCCESS)] + [
        (name, FAIL) for name in ("a/d;x=1", "'=1", "a\nb=1", "=1", "a b=1", '"q"=1', "$(touch X)=1", "x" * 1100 + "=1")])
    def test_without_equals_or_with_a_name_the_file_cannot_hold_nothing_changes(self, env, param, reply):
        env.root.write(LOADER, UNRELATED)
        before = os.stat(env.root(LOADER))
        assert call(env, "UpdateLoaderConf", param) == reply
        assert env.root.loader_conf == UNRELATED
        assert os.stat(env.root(LOADER)).st_ino == before.st_ino, "the file was not replaced"
        assert not os.path.exists(os.path.join(env.workdir, "X"))
