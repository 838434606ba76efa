"""com.corvo.bios with the real daemon and the BIOS simulator behind the real request file
(FUSE): start-up and fresh install as the BIOS ends up, replies of GetBios, SetBios and
ExtBios, the extract/restore round trip on every model, passwords kept out of the log, the
request file failing, and UpdateBios. Which requests each setting sends is the unit tests'."""
import json
import os
import random
import shutil
import stat
import tempfile

import pytest

from helpers import call, daemon, declined

PASSWORD = "Sesame42"
SECURE_BOOT_READ = "appwrite 0 0 34f 0 0 0\n"
FAILED_EMPTY = '{"result":"FAILED", "message": {}}'
MODELS = ["K10", "K10X", "K20", "K30AIO", "K30MTC", "K40AIO", "K50AIO", "K60AIO", "Vantor 70", "Lumen 81",
          "Lumen 82", "Lumen 83", "Lumen 84"]


def k(suffix):
    return "DeviceKORACMOS" + suffix


def get_bios(env, keys):
    return json.loads(call(env, "GetBios", keys, "bios"), object_pairs_hook=list)


def set_bios(env, settings):
    return json.loads(call(env, "SetBios", settings, "bios"))["result"]


@pytest.fixture
def short_dir():
    """A folder whose paths stay within the 55 characters an extract path may have."""
    folder = tempfile.mkdtemp(prefix="cmos-", dir="/tmp")
    yield folder
    shutil.rmtree(folder, ignore_errors=True)


def file_text(path):
    with open(path, "rb") as f:
        data = f.read()
    assert len(data) == 1024
    text, _, rest = data.partition(b"\0")
    assert rest == b"\0" * len(rest)
    return text.decode()


class TestStartUp:
    @pytest.mark.parametrize("fresh,state,notice", [(None, {}, "$(bios_secureboot_dis)"),
                                                    ("FALSE", {}, "$(bios_secureboot_dis)"),
                                                    (None, {"settings": {"SecureBoot": 1}}, "$(bios_secureboot_en)")])
    def test_without_fresh_install_only_the_secure_boot_state_is_read(self, fresh, state, notice):
        store = {("sys", "freshinstall"): fresh} if fresh else None
        with daemon(model="K50AIO", store=store, bios_state=state) as env:
            assert env.bios.requests() == [SECURE_BOOT_READ]
            assert "N system: " + notice in env.daemon.log()
            assert os.path.isdir(env.root("/mnt/bios"))

    @pytest.mark.parametrize("password,installed", [(None, "Lodestar"), ("Lodestar", "Lodestar"),
                                                    ("site password", "site password")])
    def test_fresh_install_ends_with_the_factory_password_and_secure_boot(self, password, installed):
        state = {"password": password, "settings": {"USBBootSupport": 1, "DeepSleep": 2}}
        with daemon(model="K10X", store={("sys", "freshinstall"): "true"}, bios_state=state) as env:
            settings = env.bios.state()["settings"]
            assert env.bios.state()["password"] == installed
            # Another site's password leaves the BIOS alone.
            done = installed == "Lodestar"
            assert (settings["SecureBoot"], settings["USBBootSupport"], settings["DeepSleep"]) == \
                ((1, 0, 0) if done else (0, 1, 2))
            assert ("N system: $(password_not_change)" in env.daemon.log()) != done
            # The driver reads each request form as its fixed-size record.
            assert {size for _, size in env.bios.records()} == ({177, 193, 321} if password is None else {177, 193})

    def test_mount_point_that_cannot_be_made_ends_the_daemon(self):
        with daemon(model="K50AIO", bios_state={}, started=False) as env:
            os.rmdir(env.root("/mnt"))
            env.root.write("/mnt", "not a folder")
            env.daemon.start(wait=False)
            assert env.daemon.process.wait(30) == 160
            assert "D bios: mkdir failed /mnt/bios" in env.daemon.log()
            assert env.bios.requests() == [] and not env.bus.has_owner("com.corvo.bios")
            os.unlink(env.root("/mnt"))
            os.mkdir(env.root("/mnt"))
            env.daemon.start()


class TestRequests:
    def test_default_list_arrives_whole_even_when_the_message_is_full(self):
        state = {"settings": {"AutoPower": 3, "AutoOnSaturday": 1, "DeepSleep": 2}, "asset_tag": 'a"b\\c'}
        with daemon(model="K50AIO", bios_state=state) as env:
            reply = get_bios(env, "[]")
            message = dict(dict(reply)["message"])
            assert dict(reply)["result"] == "Success"
            assert message["autoonSaturday"] == "Yes" and message[k("Assettag")] == 'a"b\\c'
            assert "D bios: space is not long enough" in env.daemon.log()
            assert call(env, "GetBios", '["BiosChangeReboot"]', "bios") == \
                '{"result":"Success", "message": {"BiosChangeReboot":0}}'

    def test_a_change_is_read_back_and_a_wrong_password_changes_nothing(self):
        with daemon(model="K10", bios_state={"password": PASSWORD}) as env:
            keys = [k("Audio"), k("ACRecovery")]
            assert set_bios(env, {k("CurrentPassword"): "guess", k("Audio"): 1}) == "FAILED"
            assert set_bios(env, {k("CurrentPassword"): PASSWORD, k("Audio"): 1, k("ACRecovery"): "LastState"}) \
                == "Success"
            assert dict(get_bios(env, keys))["message"] == [(k("Audio"), "Yes"), (k("ACRecovery"), "LastState")]
            assert set_bios(env, "Audio: 1") == "FAILED"  # no JSON: no password either

    def test_passwords_never_reach_the_log_and_long_ones_are_refused_whole(self):
        too_long = "L0ng" * 16  # 64 characters: one more than the field holds
        with daemon(model="K10", bios_state={"password": PASSWORD}) as env:
            env.bios.clear_log()
            # Too long, or holding what the request's blank-separated fields cannot carry.
            for member, password in [(m, p) for m in ("CurrentPassword", "NewPassword")
                                     for p in (too_long, "Cur Pw", "Tab\t7", "Esc\x1b7")]:
                assert set_bios(env, {k(member): password, k("Audio"): 1}) == "FAILED"
            assert env.bios.requests() == []
            assert set_bios(env, {k("CurrentPassword"): PASSWORD, k("NewPassword"): "Other7"}) == "Success"
            assert env.bios.state()["password"] == "Other7"
            for text in (env.daemon.log(), env.daemon.output()):
                assert too_long[:8] not in text and PASSWORD not in text and "Other7" not in text

    @pytest.mark.parametrize("kind,audio", [("bad_header", "err"), ("read_error", "err"), ("short", "No")])
    def test_a_failing_request_file_shows_in_the_member_and_the_daemon_serves_on(self, kind, audio):
        with daemon(model="K50AIO", bios_state={}) as env:
            env.bios.fault(kind=kind)
            assert call(env, "GetBios", [k("Audio"), k("Assettag")], "bios") == \
                '{"result":"Success", "message": {"DeviceKORACMOSAudio":"%s","DeviceKORACMOSAssettag": ""}}' % audio
            env.bios.clear_faults()
            assert dict(get_bios(env, [k("Audio")]))["message"] == [(k("Audio"), "No")]

    def test_without_the_request_file(self):
        with daemon(model="K50AIO", bios_state={}, started=False) as env:
            env.bios.stop()
            env.daemon.start()
            assert "smi request write open file fail" in env.daemon.log()
            assert dict(get_bios(env, [k("Audio")]))["result"] == "FAILED"

    def test_update_bios_replies_failed_and_a_missing_mount_point_declines(self):
        with daemon(model="K50AIO", bios_state={}) as env:
            assert call(env, "UpdateBios", None, "bios") == '{"result":"FAILED", "message": ""}'
            shutil.rmtree(env.root("/mnt"))
            env.root.write("/mnt", "")
            declined(env, "bios", "UpdateBios", None)
            assert "D bios: mkdir failed /mnt/bios" in env.daemon.log()


class TestExtractAndRestore:
    def test_extract_file_runs_the_script_and_holds_the_reply(self, short_dir):
        path = os.path.join(short_dir, "c" * (54 - len(short_dir)))  # 55 characters, the longest
        with daemon(model="K10X", bios_state={}) as env:
            reply = json.loads(call(env, "ExtBios", {k("ExtractFilePath"): path}, "bios"))
            assert reply["result"] == "Success" and json.loads(file_text(path)) == reply["message"]
            assert env.cmos_extract.calls() == [[path]]
            assert call(env, "ExtBios", {k("ExtractFilePath"): path + "x"}, "bios") == FAILED_EMPTY
            assert call(env, "SetBios", {k("RestoreFilePath"): path + "x"}, "bios") == '{"result":"FAILED"}'
            assert not os.path.exists(path + "x") and env.cmos_extract.calls() == [[path]]
            # Keys of its own make a reply without a file.
            assert call(env, "ExtBios", [k("Audio"), k("USBRearPort")], "bios") == \
                '{"result":"Success", "message": {"DeviceKORACMOSAudio": 0,"DeviceKORACMOSUSBRearPort": 0}}'
            assert env.cmos_extract.calls() == [[path]]

    @pytest.mark.parametrize("model", MODELS)
    def test_round_trip(self, short_dir, model):
        rng = random.Random(model)
        path = os.path.join(short_dir, "cmos.bin")
        with daemon(model=model, bios_state={"password": PASSWORD, "asset_tag": "TAG-7"}) as env:
            choices = {"ACRecovery": (0, 1, 2), "AutoPower": (0, 1, 2, 3), "WakeOnLan": (0, 5, 7),
                       "MACPASSConfigure": (0, 1, 2), "DeepSleep": (0, 2, 4), "Fastboot": (0, 1, 2),
                       "ExtendedBIOSPostTime": (0, 1, 2), "PXEBootSupport": (1, 2),
                       "AutoOnHour": tuple(int(str(n), 16) for n in range(24)),
                       "AutoOnMinute": tuple(int(str(n), 16) for n in range(60))}
            fixed = {"AHCI", "WakeOnDock", "SFPNic"}
            names = [n for n in env.bios.state()["settings"] if n not in fixed]
            original = {n: rng.choice(choices.get(n, (0, 1))) for n in names}
            env.bios.seed({"settings": original})
            assert json.loads(call(env, "ExtBios", {k("ExtractFilePath"): path}, "bios"))["result"] == "Success"
            saved = file_text(path)
            # Every setting elsewhere; secure boot can only come back on.
            other = {n: rng.choice([v for v in choices.get(n, (0, 1)) if v != original[n]]) for n in names}
            env.bios.seed({"settings": dict(other, SecureBoot=0)})
            assert set_bios(env, {k("RestoreFilePath"): path, k("RestorePassword"): PASSWORD}) == "Success"
            call(env, "ExtBios", {k("ExtractFilePath"): path}, "bios")
            assert file_text(path) == saved
            assert env.bios.state()["asset_tag"] == "TAG-7"

    @pytest.mark.parametrize("planted", ["link", "fifo", "foreign"])
    def test_extract_replaces_what_a_user_planted_at_the_path(self, short_dir, planted):
        path, victim = os.path.join(short_dir, "cmos.bin"), os.path.join(short_dir, "victim")
        with open(victim, "w") as f:
            f.write("keep\n")
        {"link": lambda: os.symlink(victim, path), "fifo": lambda: os.mkfifo(path),
         "foreign": lambda: (shutil.copy(victim, path), os.chown(path, 65534, 65534), os.chmod(path, 0o666))}[planted]()
        with daemon(model="K20", bios_state={}) as env:
            reply = json.loads(env.call("bios", "ExtBios", json.dumps({k("ExtractFilePath"): path}), timeout=20))
            info = os.lstat(path)
            assert (info.st_uid, stat.S_ISREG(info.st_mode), info.st_mode & 0o022) == (0, True, 0)
            assert json.loads(file_text(path)) == reply["message"] and open(victim).read() == "keep\n"
            assert env.cmos_extract.calls() == [[path]]

    @pytest.mark.parametrize("uid,mode", [(65534, 0o644), (0, 0o664)])
    def test_restore_takes_only_roots_own_file(self, short_dir, uid, mode):
        path = os.path.join(short_dir, "cmos.bin")
        with open(path, "w") as f:
            f.write('{"%s": 1}' % k("Audio"))
        os.chown(path, uid, 0)
        os.chmod(path, mode)
        with daemon(model="K20", bios_state={}) as env:
            assert set_bios(env, {k("RestoreFilePath"): path}) == "FAILED" and env.bios.setting("Audio") == 0

    def test_restore_never_sets_a_password_from_the_file(self, short_dir):
        path = os.path.join(short_dir, "cmos.bin")
        with open(path, "w") as f:
            json.dump({k("NewPassword"): "Evil1", "devicekoracmosCurrentPassword": "Evil1", k("Audio"): 1}, f)
        with daemon(model="K20", bios_state={"password": PASSWORD}) as env:
            assert set_bios(env, {k("RestoreFilePath"): path, k("RestorePassword"): PASSWORD}) == "Success"
            assert env.bios.state()["password"] == PASSWORD and env.bios.setting("Audio") == 1
            for key in (k("NewPassword"), "devicekoracmosCurrentPassword"):
                assert "cmos file member %s skipped" % key in env.daemon.log()

    def test_restore_leaves_what_the_extract_could_not_read(self, short_dir):
        path = os.path.join(short_dir, "cmos.bin")
        with daemon(model="K20", bios_state={"settings": {"Audio": 1, "AdminLock": 1}}) as env:
            env.bios.fault("status", token=0x22, status=4)
            call(env, "ExtBios", {k("ExtractFilePath"): path}, "bios")
            assert json.loads(file_text(path))[k("Audio")] == "err"
            env.bios.clear_faults()
            env.bios.seed({"settings": {"Audio": 1, "AdminLock": 0}})
            assert set_bios(env, {k("RestoreFilePath"): path}) == "Success"
            assert env.bios.setting("Audio") == 1 and env.bios.setting("AdminLock") == 1
            assert k("Audio") + " skipped: not read when extracted" in env.daemon.log()
