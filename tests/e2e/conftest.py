import os
import tempfile
from pathlib import Path

import pytest

from rig import Rig, WineSession

REPO = Path(__file__).resolve().parents[2]


@pytest.fixture(scope="session")
def wine_session():
    """One Wine prefix, Xvfb and persistent wineserver for the whole test run. The program is
    taken from VESK_BUILD_DIR (default build/windows)."""
    build_dir = Path(os.environ.get("VESK_BUILD_DIR", REPO / "build" / "windows"))
    session = WineSession(build_dir, Path(tempfile.mkdtemp(prefix="vesk-e2e-")))
    try:
        session.start()
        yield session
    finally:
        session.stop()


@pytest.fixture
def rig(wine_session, tmp_path):
    r = Rig(wine_session, tmp_path)
    yield r
    r.close()
