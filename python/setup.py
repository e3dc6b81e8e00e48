"""Builds the module with the project's own CMake tree, offline:
pip install --no-build-isolation python/, or
python3 -m build --no-isolation --wheel python/ (from the top of the clone).

The wheel holds the package dwxvmm (the compiled _dwxvmm, its stub and
py.typed) and the two libraries in dwxvmm.libs/ beside it, where the
module's rpath finds them. The version is the CMake project's.
"""
import os
import pathlib
import re
import shutil
import subprocess
import sys

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

ROOT = pathlib.Path(__file__).resolve().parent.parent
VERSION = re.search(r'project\(dwxvmm VERSION ([0-9.]+)',
                    (ROOT / 'CMakeLists.txt').read_text()).group(1)


class CMakeBuild(build_ext):
    def build_extension(self, ext):
        build = pathlib.Path(self.build_temp).resolve() / 'cmake'
        stage = build / 'stage'
        generator = ['-G', 'Ninja'] if shutil.which('ninja') else []
        subprocess.run(['cmake', '-S', str(ROOT), '-B', str(build), *generator,
                        '-DCMAKE_BUILD_TYPE=Release', '-DBUILD_TESTING=OFF',
                        '-DDWXVMM_PYTHON=ON',
                        f'-DPython_EXECUTABLE={sys.executable}',
                        '-DCMAKE_INSTALL_LIBDIR:PATH=dwxvmm.libs',
                        '-DDWXVMM_PYTHON_INSTALL_DIR:PATH=.'], check=True)
        subprocess.run(['cmake', '--build', str(build), '-j',
                        str(os.cpu_count() or 1), '--target', 'dwxvmm_python'],
                       check=True)
        shutil.rmtree(stage, ignore_errors=True)
        for component in ('python', 'libraries'):
            subprocess.run(['cmake', '--install', str(build), '--prefix',
                            str(stage), '--component', component],
                           check=True, stdout=subprocess.DEVNULL)
        module = pathlib.Path(self.get_ext_fullpath(ext.name)).resolve()
        module.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(next(stage.glob('dwxvmm/_dwxvmm.*.so')), module)
        libs = module.parent.parent / 'dwxvmm.libs'
        libs.mkdir(exist_ok=True)
        for name in ('libdwxvmm.so.1', 'libdwxfiles.so.1'):  # no symlinks
            shutil.copyfile(stage / 'dwxvmm.libs' / name, libs / name)


setup(version=VERSION, packages=['dwxvmm'],
      package_data={'dwxvmm': ['__init__.pyi', 'py.typed']},
      ext_modules=[Extension('dwxvmm._dwxvmm', sources=[])],
      cmdclass={'build_ext': CMakeBuild})
