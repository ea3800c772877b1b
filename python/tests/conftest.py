import os

import pytest


@pytest.fixture
def sample():
    return os.environ.get("ORVANE_SAMPLE") or os.path.join(
        os.path.dirname(__file__), "..", "..", "data", "sample.nmea")
