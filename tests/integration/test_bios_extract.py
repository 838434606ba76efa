"""ExtBios and the restore mode of SetBios with the real daemon and the BIOS simulator: the
extract file, the script run before it, and a round trip for every model."""
import json
import os
import random
import shutil
import tempfile

import pytest

from helpers import bios_world

PASSWORD = "Sesame42"
FAILED_EMPTY = '{"result":"FAILED", "message": {}}'


@pytest.fixture
def short_dir():
    """A folder whose paths stay within the 55 characters an extract path may have."""
    folder = tempfile.mkdtemp(prefix="cmos-", dir="/tmp")
    yield folder
    shutil.rmtree(folder, ignore_errors=True)


def extract(env, path):
    return json.loads(env.call("bios", "ExtBios", json.dumps({"DeviceKORACMOSExtractFilePath": path})))


def restore(env, path, password=""):
    para = {"DeviceKORACMOSRestoreFilePath": path, "DeviceKORACMOSRestorePassword": password}
    return json.loads(env.call("bios", "SetBios", json.dumps(para)))["result"]


def file_text(path):
    with open(path, "rb") as f:
        data = f.read()
    assert len(data) == 1024
    text, _, rest = data.partition(b"\0")
    assert rest == b"\0" * len(rest)
    return text.decode()


class TestExtBios:
    def test_extract_file_of_a_k10x(self, short_dir):
        path = os.path.join(short_dir, "cmos")
        with bios_world(model="K10X") as env:
            reply = extract(env, path)
            assert reply["result"] == "Success"
            text = file_text(path)
            members = json.loads(text, object_pairs_hook=list)
            assert json.loads(text) == reply["message"]
            names = [name for name, _ in members]
            assert len(names) == 19 and names[0] == "DeviceKORACMOSAudio" and names[-1] == "DeviceKORACMOSPXEBootSupport"
            assert env.cmos_extract.calls() == [[path]]

    def test_path_length_limit(self, short_dir):
        folder = short_dir
        at_limit = os.path.join(folder, "p" * (54 - len(folder)))
        assert len(at_limit) == 55
        with bios_world(model="K20") as env:
            assert extract(env, at_limit)["result"] == "Success"
            assert env.call("bios", "ExtBios", json.dumps({"DeviceKORACMOSExtractFilePath": at_limit + "q"})) \
                == FAILED_EMPTY
            assert not os.path.exists(at_limit + "q")
            assert env.cmos_extract.calls() == [[at_limit]]

    def test_key_array_writes_no_file(self, short_dir):
        with bios_world(model="K20", bios_state={"settings": {"Audio": 1}}) as env:
            reply = env.call("bios", "ExtBios", '["DeviceKORACMOSAudio", "DeviceKORACMOSFastboot"]')
            assert reply == '{"result":"Success", "message": {"DeviceKORACMOSAudio": 1,' \
                            '"DeviceKORACMOSFastboot": "Minimal"}}'
            assert env.call("bios", "ExtBios", '{"DeviceKORACMOSExtractFilePath": ""}') == FAILED_EMPTY
            assert env.cmos_extract.calls() == []

    @pytest.mark.parametrize("kind", ["missing", "read_only"])
    def test_restore_file_that_cannot_be_opened(self, short_dir, kind):
        # Opened for reading and writing: a file anyone may read but nobody may write fails too.
        path = os.path.join(short_dir, "absent") if kind == "missing" else "/sys/kernel/notes"
        with bios_world(model="K20") as env:
            env.bios.clear_log()
            assert restore(env, path) == "FAILED"
            assert "final result: {open cmos file err}" in env.daemon.log()
            assert env.bios.requests() == []


# Values SetBios can leave in each simulator setting; the others stay as they are.
SWITCH = (0, 1)
VALID = {
    "ACRecovery": (0, 1, 2), "AutoPower": (0, 1, 2, 3), "WakeOnLan": (0, 5, 7), "MACPASSConfigure": (0, 1, 2),
    "DeepSleep": (0, 2, 4), "Fastboot": (0, 1, 2), "ExtendedBIOSPostTime": (0, 1, 2),
    "KeyboardErrorDetection": SWITCH, "PXEBootSupport": (1, 2),
    "AutoOnHour": tuple(int(str(n), 16) for n in range(24)),
    "AutoOnMinute": tuple(int(str(n), 16) for n in range(60)),
}
FIXED = {"AHCI", "WakeOnDock", "SFPNic"}

MODELS = ["K10", "K10X", "K20", "K30AIO", "K30MTC", "K40AIO", "K50AIO", "K60AIO", "Vantor 70", "Lumen 81",
          "Lumen 82", "Lumen 83", "Lumen 84"]


def random_state(names, rng):
    return {name: rng.choice(VALID.get(name, SWITCH)) for name in names if name not in FIXED}


def scrambled(state, rng):
    other = {}
    for name, value in state.items():
        choices = [v for v in VALID.get(name, SWITCH) if v != value]
        other[name] = rng.choice(choices)
    # Secure boot is never switched off by the daemon, so it can only come back on.
    other["SecureBoot"] = 0
    return other


@pytest.mark.parametrize("model", MODELS)
def test_round_trip(short_dir, model):
    rng = random.Random(model)
    path = os.path.join(short_dir, "cmos.bin")
    with bios_world(model=model, bios_state={"password": PASSWORD, "asset_tag": "TAG-7"}) as env:
        names = list(env.bios.state()["settings"])
        original = random_state(names, rng)
        env.bios.seed({"settings": original})
        assert extract(env, path)["result"] == "Success"
        saved = file_text(path)

        env.bios.seed({"settings": scrambled(original, rng)})
        extract(env, path + ".scrambled")
        assert file_text(path + ".scrambled") != saved
        assert restore(env, path, PASSWORD) == "Success"

        assert extract(env, path)["result"] == "Success"
        assert file_text(path) == saved
        state = env.bios.state()
        assert state["password"] == PASSWORD and state["asset_tag"] == "TAG-7"
        members = json.loads(saved)
        assert len(members) >= 9, saved
        assert "space is not long enough" not in env.daemon.log()
