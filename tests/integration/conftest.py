import json
import os
import subprocess

import pytest

import corvo_env
from helpers import daemon, finish


@pytest.fixture
def env():
    """A running daemon with its stand-ins, checked by finish() at the end."""
    with daemon() as e:
        yield e


@pytest.fixture
def world():
    """Bus, host root and stand-ins; the test starts the daemon. One still running at the end
    is checked by finish(); one the test stopped left no sanitizer report."""
    with corvo_env.Environment(start_daemon=False) as e:
        yield e
        if e.daemon.process is not None:
            finish(e)
        assert not e.daemon.sanitizer_reports(), e.daemon.log()[-20000:]


def build_option(name):
    out = subprocess.run(["meson", "introspect", "--buildoptions", corvo_env.build_dir()],
                         check=True, capture_output=True, text=True).stdout
    return next(o["value"] for o in json.loads(out) if o["name"] == name)


@pytest.fixture(scope="session")
def tree(tmp_path_factory):
    """`meson install` into a temporary DESTDIR, once; returns a function mapping an install
    directory option to its path there."""
    destdir = tmp_path_factory.mktemp("destdir")
    subprocess.run(["meson", "install", "-C", corvo_env.build_dir(), "--no-rebuild", "--destdir", str(destdir)],
                   check=True, capture_output=True, text=True)
    prefix = build_option("prefix")

    def installed(option, *parts):
        folder = build_option(option)
        if not os.path.isabs(folder):
            folder = os.path.join(prefix, folder)
        return os.path.join(str(destdir), folder.lstrip("/"), *parts)
    installed.destdir = str(destdir)
    return installed
