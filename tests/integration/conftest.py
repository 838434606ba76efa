import os
import sys

import pytest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools"))

import corvo_env  # noqa: E402
from helpers import finish  # noqa: E402


@pytest.fixture
def env():
    """A running daemon with its stand-ins; sanitizer reports fail the test."""
    with corvo_env.Environment() as e:
        yield e
        finish(e)


@pytest.fixture
def world():
    """Bus, host root and stand-ins without a daemon; the test starts it."""
    with corvo_env.Environment(start_daemon=False) as e:
        yield e
        if e.daemon.process is not None:
            e.daemon.stop()
        assert not e.daemon.sanitizer_reports(), e.daemon.log()[-20000:]
