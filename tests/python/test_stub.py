"""The stub matches the module, and help() says what each argument does."""
import inspect
import os
import re
import subprocess
import sys
from pathlib import Path

import pytest

import dwxvmm

PYTHON = Path(__file__).parents[2] / "python"


def test_stubtest_finds_no_difference():
    pytest.importorskip("mypy")
    env = dict(os.environ, MYPYPATH=str(PYTHON))
    r = subprocess.run(
        [sys.executable, "-m", "mypy.stubtest", "dwxvmm", "--allowlist",
         str(PYTHON / "stubtest-allowlist.txt")],
        env=env, capture_output=True, text=True)
    assert r.returncode == 0, r.stdout + r.stderr


def public(scope):
    for name, value in vars(scope).items():
        if not name.startswith("_") or name in (
                "__init__", "__getitem__", "__setitem__", "__contains__",
                "__len__", "__or__", "__ior__", "__eq__", "__copy__",
                "__deepcopy__"):
            yield name, value


@pytest.mark.parametrize("scope", [dwxvmm, dwxvmm.Image])
def test_every_public_name_says_what_each_argument_does(scope):
    for name, value in public(scope):
        doc = inspect.getdoc(value) if not isinstance(value, property) \
            else value.__doc__
        if isinstance(value, (str, tuple, type(None))):
            continue
        assert doc, name
        if not callable(value):
            continue
        # pybind11's first lines are the signatures; the text follows.
        lines = doc.splitlines()
        sigs = [x for x in lines if x.startswith(name + "(")]
        text = "\n".join(x for x in lines if x not in sigs)
        assert text.strip(), name
        for sig in sigs:
            for arg in re.findall(r"[(,] ?\*?,? ?(\w+):", sig):
                if arg != "self":
                    assert re.search(rf"\b{arg}\b", text), (name, arg)
