import os

import pytest

if os.environ.get("ORVANE_SANITIZE"):
    # The module would load a sanitizer-built library into an uninstrumented
    # interpreter.
    print("SKIPPED: sanitizer build (%s); the Python tests run in the default build"
          % os.environ["ORVANE_SANITIZE"])
    collect_ignore_glob = ["test_*.py"]


@pytest.fixture
def sample():
    return os.environ.get("ORVANE_SAMPLE") or os.path.join(
        os.path.dirname(__file__), "..", "..", "data", "sample.nmea")
