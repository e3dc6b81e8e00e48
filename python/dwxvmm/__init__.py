"""Firmware images in a sparse 32-bit memory (the compiled _dwxvmm)."""
# A package rather than a bare extension so that a type checker finds the
# stub of an installed wheel (py.typed). Every name of the compiled module
# is this package's, under the name users have always imported.
from . import _dwxvmm

__doc__ = _dwxvmm.__doc__
for _name, _value in vars(_dwxvmm).items():
    if not _name.startswith("__") or _name == "__version__":
        if getattr(_value, "__module__", None) == _dwxvmm.__name__:
            _value.__module__ = __name__
        globals()[_name] = _value
del _name, _value
