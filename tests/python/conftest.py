# The module under test: the build tree's (PYTHONPATH, as ctest sets it), or another copy named
# by VRQ66208A_MODULE_DIR (CI points it at the unpacked Debian package).
import os
import sys

import pytest

_module_dir = os.environ.get("VRQ66208A_MODULE_DIR")
if _module_dir:
    sys.path.insert(0, _module_dir)

import vrq66208a as vrq  # noqa: E402


@pytest.fixture
def chip():
    with vrq.open(simulate=True) as opened:
        yield opened


def sim_chip(**options):
    """A chip on a fresh simulated board, with options as open() takes them."""
    return vrq.open(simulate=True, **options)
