"""BIOS platform layer with the real daemon: start-up work and the fresh-install setup as the
BIOS simulator sees them through the real request file (FUSE), and UpdateBios."""
import json
import os

import pytest

from helpers import bios_world, declined
from helpers import bios_write as write

PROPERTIES = "appwrite a 3 0 0 0 0\n"
SECURE_BOOT_READ = "appwrite 0 0 34f 0 0 0\n"

# A BIOS without admin password on a fresh install: the factory password is installed and
# verified, then every write carries the key of that verification.
INSTALL = [PROPERTIES, PROPERTIES, "appwrite a 5 20  Lodestar", PROPERTIES, "appwrite a 4 20 Lodestar",
           SECURE_BOOT_READ, SECURE_BOOT_READ, write(0x34F, 1), write(0x109, 0), write(0x6E, 1), write(0x138, 1)]


def fresh(value="true"):
    return {("sys", "freshinstall"): value}


class TestStartUp:
    @pytest.mark.parametrize("store,state,notice", [
        (None, {}, "$(bios_secureboot_dis)"), (fresh("FALSE"), {}, "$(bios_secureboot_dis)"),
        (fresh("false"), {}, "$(bios_secureboot_dis)"), (None, {"settings": {"SecureBoot": 1}}, "$(bios_secureboot_en)"),
    ])
    def test_without_fresh_install_only_the_secure_boot_state_is_read(self, store, state, notice):
        with bios_world(model="K50AIO", store=store, bios_state=state) as env:
            assert env.bios.requests() == [SECURE_BOOT_READ]
            log = env.daemon.log()
            assert "N system: " + notice in log
            assert "D system: register com.corvo.bios, bus-name-id: " in log
            assert os.path.isdir(env.root("/mnt/bios"))

    @pytest.mark.parametrize("model,value,wake", [("K50AIO", "", 0x147), ("K50AIO", "true", 0x147),
                                                  ("Lumen 83", "true", 0x446), (None, "true", 0x147)])
    def test_fresh_install_sets_up_a_bios_without_password(self, model, value, wake):
        # Dock models wake from the dock, the others (and an unknown model) on USB.
        with bios_world(model=model, store=fresh(value)) as env:
            assert env.bios.requests() == INSTALL + [write(wake, 1), SECURE_BOOT_READ]
            state = env.bios.state()
            assert state["password"] == "Lodestar" and state["settings"]["SecureBoot"] == 1
            # The driver receives each form as its fixed-size record.
            sizes = {text.split(" ")[1] + text.split(" ")[2]: size for text, size in env.bios.records()}
            assert sizes == {"a3": 177, "a5": 321, "a4": 193, "00": 177, "10": 177}
            assert "N system: $(bios_secureboot_en)" in env.daemon.log()
            assert model or "D bios: can not get product name" in env.daemon.log()

    def test_fresh_install_switches_deep_sleep_off_on_its_models(self):
        with bios_world(model="K10X", store=fresh(), bios_state={"password": "Lodestar"}) as env:
            writes = [r for r in env.bios.requests() if r.startswith("appwrite 1 ")]
            assert writes == [write(0x34F, 1), write(0x109, 0), write(0x6E, 1), write(0x138, 1),
                              write(0xF6, 0), write(0x147, 1)]

    def test_another_admin_password_leaves_the_bios_alone(self):
        with bios_world(model="K50AIO", store=fresh(), bios_state={"password": "site password"}) as env:
            assert env.bios.requests() == [PROPERTIES, "appwrite a 4 20 Lodestar", SECURE_BOOT_READ]
            assert "N system: $(password_not_change)" in env.daemon.log()
            assert env.bios.state()["password"] == "site password"

    def test_secure_boot_already_on_is_not_written(self):
        state = {"password": "Lodestar", "settings": {"SecureBoot": 1}}
        with bios_world(model="K50AIO", store=fresh(), bios_state=state) as env:
            assert not [r for r in env.bios.requests() if r.startswith("appwrite 1 0 34f")]

    def test_failures_of_the_driver_file_are_logged_and_the_service_still_starts(self):
        with bios_world(model="K50AIO", start=False) as env:
            env.bios.fault("bad_header")
            env.daemon.start()
            assert env.bios.requests() == [SECURE_BOOT_READ]
            log = env.daemon.log()
            assert "D bios: read header error" in log and "N system: $(bios_secureboot_dis)" in log

    def test_mount_point_that_cannot_be_made_ends_the_daemon(self):
        with bios_world(model="K50AIO", store=fresh(), start=False) as env:
            os.rmdir(env.root("/mnt"))
            env.root.write("/mnt", "not a folder")
            env.daemon.start(wait=False)
            assert env.daemon.process.wait(30) == 160
            env.daemon.stop()
            assert "D bios: mkdir failed /mnt/bios" in env.daemon.log()
            assert env.bios.requests() == []
            assert not env.bus.has_owner("com.corvo.bios")


def test_update_bios_replies_failed_and_a_missing_mount_point_declines():
    with bios_world(model="K50AIO") as env:
        assert env.call("bios", "UpdateBios") == '{"result":"FAILED", "message": ""}'
        assert os.path.isdir(env.root("/mnt/bios")) and not os.path.ismount(env.root("/mnt/bios"))
        os.rmdir(env.root("/mnt/bios"))
        os.rmdir(env.root("/mnt"))
        env.root.write("/mnt", "")
        declined(env, "bios", "UpdateBios", None)
        assert "D bios: mkdir failed /mnt/bios" in env.daemon.log()
        # The service keeps serving.
        os.unlink(env.root("/mnt"))
        os.mkdir(env.root("/mnt"))
        assert env.call("bios", "UpdateBios") == '{"result":"FAILED", "message": ""}'


class TestSimulatorFile:
    """The simulator as the driver's file: what a write asks is what the next read answers."""

    def test_write_rewind_read(self):
        with bios_world(model="K20", start=False, bios_state={"settings": {"Audio": 1}}) as env:
            fd = os.open(env.root("/compat/linux/sys/devices/platform/smbase/smi_request"), os.O_RDWR)
            try:
                for request, answer in ((b"appwrite 0 0 22 0 0 0\n", b"appread 0 1 0\n"),
                                        (b"appwrite 1 0 23 0 0 0\n", b"appread 0 0 0\n")):  # wrong key: refused
                    os.lseek(fd, 0, os.SEEK_SET)
                    os.write(fd, request.ljust(177, b"\0"))
                    os.lseek(fd, 0, os.SEEK_SET)
                    assert os.read(fd, 256) == answer
            finally:
                os.close(fd)
            assert env.bios.setting("Audio") == 0
            assert env.bios.records() == [("appwrite 0 0 22 0 0 0\n", 177), ("appwrite 1 0 23 0 0 0\n", 177)]
            env.bios.clear_log()
            assert env.bios.requests() == []

    def test_state_round_trips_through_a_seed_file(self, tmp_path):
        saved = str(tmp_path / "state.json")
        with bios_world(model="K20", start=False) as env:
            env.bios.seed({"password": "x", "asset_tag": "1234", "settings": {"Fastboot": 2}})
            env.bios.fault("status", token=0x22, status=7, times=1)
            env.bios.dump(saved)
            with pytest.raises(OSError):
                env.bios.seed({"settings": {"NoSuchSetting": 1}})
            assert env.bios.setting("Fastboot") == 2
        with bios_world(model="K20", start=False) as env:
            with open(saved) as f:
                env.bios.seed(json.load(f))
            state = env.bios.state()
            assert state["password"] == "x" and state["asset_tag"] == "1234"
            assert state["faults"][0]["token"] == 0x22 and state["faults"][0]["times"] == 1
