"""SetHeadset on com.corvo.headset: the Jabra and EPOS companion apps are enabled and
disabled by renaming their program folders, get their configuration file copied in and are
started in the background."""
import json
import os

import pytest

import corvo_env
from helpers import declined

JABRA_ROOT = "/compat/linux/apps/Jabra"
GN = JABRA_ROOT + "/usr/local/gn"
GN_BK = JABRA_ROOT + "/usr/local/gn_bk"
JABRA_INI = "/opt/jabra/Jabra.ini"
EPOS_ROOT = "/compat/linux/apps/Epos_Connect"
SBIN = EPOS_ROOT + "/usr/sbin"
SBIN_BK = EPOS_ROOT + "/usr/sbin_bk"
EPOS_CONFIG = EPOS_ROOT + "/etc/epos-connect/config.txt"

SUCCESS = '{"result":"Success"}'
FAILED = '{"result":"FAILED"}'


def set_headset(env, text=None, **members):
    return env.call("headset", "SetHeadset", json.dumps(members) if text is None else text)


def source_file(env, name, text):
    path = os.path.join(env.workdir, name)
    with open(path, "w") as f:
        f.write(text)
    return path


def move(env, fixed_from, fixed_to):
    os.rename(env.root(fixed_from), env.root(fixed_to))


def started(env):
    """Applications the daemon started, by the log lines it wrote before starting them."""
    return [line for line in env.daemon.log().splitlines() if "Try to execute" in line and line.endswith(" &")]


def zombie_children(pid):
    zombies = []
    for entry in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open("/proc/%s/stat" % entry) as f:
                fields = f.read().rsplit(")", 1)[1].split()
        except OSError:
            continue
        if fields[0] == "Z" and int(fields[1]) == pid:
            zombies.append(int(entry))
    return zombies


class TestEnableAndDisable:
    def test_disabled_jabra_gets_no_config_until_enabled_again(self, env):
        assert set_headset(env, jabraEnable=0) == SUCCESS
        assert env.apps.exists(GN_BK) and not env.apps.exists(GN)
        ini = source_file(env, "jabra.ini", "[jabra]\nring=1\n")
        assert set_headset(env, jabraConfigFile=ini) == SUCCESS
        assert env.recorder.calls("cp") == [] and started(env) == []
        assert env.root.read(JABRA_INI) is None

        assert set_headset(env, jabraEnable=1, jabraConfigFile=ini) == SUCCESS
        assert env.apps.exists(GN) and not env.apps.exists(GN_BK)
        assert env.recorder.calls("cp") == [["cp", "--", ini, env.root(JABRA_INI)]]
        assert env.root.read(JABRA_INI) == "[jabra]\nring=1\n"
        assert env.apps.wait_for_calls("jdu.sh", 1) == [["jdu.sh"]]
        assert started(env) == ["D headset: Try to execute %s &" % env.root(GN + "/jdu.sh")]
        assert "final result: Success" in env.daemon.log()
        # A restarted daemon has forgotten the disabled state: only the folder is renamed.
        assert set_headset(env, jabraEnable=0) == SUCCESS
        env.daemon.stop()
        env.daemon.start()
        assert set_headset(env, jabraConfigFile=ini) == SUCCESS
        assert env.root.read(JABRA_INI) == "[jabra]\nring=1\n" and env.apps.exists(GN_BK)
        assert len(env.recorder.calls("cp")) == 2

    @pytest.mark.parametrize("already_off", [False, True])
    def test_disabling_epos_stops_it_before_renaming(self, env, already_off):
        if already_off:
            move(env, SBIN, SBIN_BK)
        assert set_headset(env, eposEnable=0) == SUCCESS
        assert env.recorder.calls("pkill") == ([] if already_off else [["pkill", "-f", "epos-connect"]])
        assert env.apps.exists(SBIN_BK) and not env.apps.exists(SBIN)
        assert ("epos dis file exist" in env.daemon.log()) == already_off

    def test_enabling_epos_with_config_renames_copies_restarts(self, env):
        move(env, SBIN, SBIN_BK)
        config = source_file(env, "epos.txt", "volume=7\n")
        assert set_headset(env, eposEnable=1, eposConfigFile=config) == SUCCESS
        assert env.apps.exists(SBIN) and not env.apps.exists(SBIN_BK)
        assert env.root.read(EPOS_CONFIG) == "volume=7\n"
        assert env.recorder.calls() == [["cp", "--", config, env.root(EPOS_CONFIG)],
                                        ["pkill", "-f", "epos-connect"]]
        assert env.apps.wait_for_calls("epos-connect", 1) == [["epos-connect"]]

    @pytest.mark.parametrize("jabra,epos,logged", [(1, 1, ["jabra enable file exist", "epos enable file exist"]),
                                                   (165, 165, [])])
    def test_enabled_apps_or_the_absent_marker_change_nothing(self, env, jabra, epos, logged):
        assert set_headset(env, jabraEnable=jabra, eposEnable=epos) == SUCCESS
        assert all(text in env.daemon.log() for text in logged)
        assert "set input value err" not in env.daemon.log()
        assert env.apps.exists(GN) and env.apps.exists(SBIN) and env.recorder.calls() == []

    @pytest.mark.parametrize("enable, prepare, message", [
        (1, "no-root", "jabra file not exist"),
        (0, "no-root", "jabra file not exist"),
        (1, "no-folder", "jabra enable err"),
        (0, "no-folder", "jabra dis err"),
        (1, "both-folders", "jabra rename err"),
        (2, None, "jabra set input value err"),
        (-1, None, "jabra set input value err"),
        # Read as a number these would be 0 and silently disable the application.
        ("0", None, "jabra set input value err"),
        (None, None, "jabra set input value err"),
        ({"x": 0}, None, "jabra set input value err"),
    ])
    def test_jabra_failure_leaves_epos_request_carried_out(self, env, enable, prepare, message):
        if prepare == "no-root":
            move(env, JABRA_ROOT, "/compat/linux/apps/Jabra.old")
        elif prepare == "no-folder":
            move(env, GN, JABRA_ROOT + "/usr/local/other")
        elif prepare == "both-folders":
            os.makedirs(env.root(GN_BK))  # the enabled one is not empty: renaming back fails
        assert set_headset(env, jabraEnable=enable, eposEnable=0) == FAILED
        log = env.daemon.log()
        assert message in log and "final result: FAILED" in log
        assert "epos rename err" not in log
        assert env.apps.exists(SBIN_BK) and not env.apps.exists(SBIN)
        if prepare is None:
            assert env.apps.exists(GN) and not env.apps.exists(GN_BK)

    def test_missing_epos_root_fails_epos_alone(self, env):
        move(env, EPOS_ROOT, "/compat/linux/apps/Epos.old")
        assert set_headset(env, jabraEnable=0, eposEnable=1) == FAILED
        assert "epos file not exist" in env.daemon.log()
        assert env.apps.exists(GN_BK)


class TestConfigurationPaths:
    def test_both_apps_configured_and_started_without_leaving_zombies(self, env):
        jabra = source_file(env, "j.ini", "j\n")
        epos = source_file(env, "e.txt", "e\n")
        assert set_headset(env, jabraConfigFile=jabra, eposConfigFile=epos) == SUCCESS
        assert env.root.read(JABRA_INI) == "j\n" and env.root.read(EPOS_CONFIG) == "e\n"
        assert env.apps.wait_for_calls("epos-connect", 1)
        log = env.daemon.log()
        assert "jabra config file is %s" % jabra in log
        assert "epos execute result: Fail" in log
        for _ in range(2):
            assert set_headset(env, jabraConfigFile=jabra) == SUCCESS
        env.apps.wait_for_calls("jdu.sh", 3)
        pid = env.daemon.process.pid
        assert corvo_env.wait_until(lambda: zombie_children(pid) == [], 15), zombie_children(pid)

    @pytest.mark.parametrize("name", ["back`touch CANARY`tick.ini", "line\nfeed.ini", "two words.ini"])
    def test_odd_file_name_is_copied_as_that_literal_file(self, env, name):
        path = source_file(env, name, "literal\n")
        assert set_headset(env, jabraConfigFile=path) == SUCCESS
        assert env.root.read(JABRA_INI) == "literal\n"
        assert env.recorder.calls("cp") == [["cp", "--", path, env.root(JABRA_INI)]]
        assert env.apps.wait_for_calls("jdu.sh", 1) == [["jdu.sh"]]
        daemon_cwd = os.readlink("/proc/%d/cwd" % env.daemon.process.pid)
        assert not os.path.exists(os.path.join(daemon_cwd, "CANARY"))
        assert env.apps.script_calls() == [["jdu.sh"]]

    def test_missing_config_file_does_not_fail_the_call(self, env):
        assert set_headset(env, jabraConfigFile="/no/such/file.ini") == SUCCESS
        assert env.recorder.calls("cp") == [["cp", "--", "/no/such/file.ini", env.root(JABRA_INI)]]
        assert env.root.read(JABRA_INI) is None

    @pytest.mark.parametrize("length,reply", [(99, SUCCESS), (120, FAILED)])
    def test_path_of_99_bytes_is_installed_and_a_longer_one_not_cut_into_another(self, env, length, reply):
        path = os.path.join(env.workdir, "c" * (length - len(env.workdir) - 1))
        source_file(env, os.path.basename(path), "whole\n")
        if length > 99:
            source_file(env, os.path.basename(path[:99]), "cut\n")
        assert set_headset(env, jabraConfigFile=path) == reply
        assert env.root.read(JABRA_INI) == ("whole\n" if reply == SUCCESS else None)
        assert len(env.recorder.calls("cp")) == (reply == SUCCESS)
        assert (reply == FAILED) == ("length error, truncated!" in env.daemon.log())

    def test_text_that_is_not_json_does_nothing(self, env):
        assert set_headset(env, text="jabraEnable=0") == SUCCESS
        assert env.apps.exists(GN) and env.recorder.calls() == []


class TestDeclinedPaths:
    @pytest.mark.parametrize("char", list("|;&$><'\\!#"))
    def test_forbidden_character_declines_and_changes_nothing(self, env, char):
        canary = os.path.join(env.workdir, "canary")
        config = source_file(env, "ok.txt", "x\n")
        bad = "/tmp/$(touch %s).ini" % canary if char == "$" else "/tmp/a%sb" % char
        error = declined(env, "headset", "SetHeadset", {"jabraEnable": 0, "eposEnable": 0, "eposConfigFile": bad,
                                                        "jabraConfigFile": config})
        assert error.get_dbus_message() == "Method SetHeadset is not implemented on interface com.corvo.headset"
        assert env.apps.exists(GN) and env.apps.exists(SBIN) and not os.path.exists(canary)
        assert env.recorder.calls() == [] and env.root.read(JABRA_INI) is None
        assert "$(epos_invalid)" in env.daemon.log()
        # The rejected disable request set no flag: a config-only request still installs.
        assert set_headset(env, jabraConfigFile=config) == SUCCESS
        assert env.root.read(JABRA_INI) == "x\n"

    @pytest.mark.parametrize("jabra,epos,reported,not_reported", [
        # '|' comes before '#' in the check order, so the EPOS path is the one reported.
        ("/tmp/a#b", "/tmp/a|b", "$(epos_invalid)", "$(jabra_invalid)"),
        ("/tmp/a;b", "/tmp/a;c", "$(jabra_invalid)", "$(epos_invalid)"),
    ])
    def test_characters_are_checked_in_order_across_both_paths(self, env, jabra, epos, reported, not_reported):
        declined(env, "headset", "SetHeadset", {"jabraConfigFile": jabra, "eposConfigFile": epos})
        log = env.daemon.log()
        assert reported in log and not_reported not in log
