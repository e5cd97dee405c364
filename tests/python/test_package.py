# The module as installed: documented, typed, and the one under test where CI says which.
import os
import pathlib
import pydoc

import vrq66208a as vrq


def test_the_interface_explains_itself():
    text = pydoc.render_doc(vrq.open, renderer=pydoc.plaintext)
    assert "simulate" in text and "BoardError" in text
    package = pathlib.Path(vrq.__file__).parent
    assert (package / "py.typed").exists() and (package / "_native.pyi").exists()


def test_the_module_comes_from_where_ci_unpacked_it():
    wanted = os.environ.get("VRQ66208A_MODULE_DIR")
    if wanted:
        assert pathlib.Path(vrq.__file__).resolve().is_relative_to(pathlib.Path(wanted).resolve())
