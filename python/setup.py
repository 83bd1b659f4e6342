"""Builds liblumdec.so with CMake from the repository around this directory
and bundles it in the package, which reaches it through ctypes.

    LUMDEC_SOURCE_DIR  the repository (default: the parent of this directory)
    LUMDEC_BUILD_DIR   CMake build directory to use; one that is already
                       configured is only asked to build the library
                       (default: build/cmake here)
    LUMDEC_LIBRARY     an existing shared library to bundle instead

Nothing is fetched: setuptools, CMake and a C++20 compiler do the work.
"""

import glob
import os
import shutil
import subprocess

from setuptools import setup
from setuptools.command.build_py import build_py
from setuptools.dist import Distribution

HERE = os.path.dirname(os.path.abspath(__file__))
LIBRARY_NAME = "liblumdec.so"


def build_library():
    source = os.environ.get("LUMDEC_SOURCE_DIR") or os.path.dirname(HERE)
    build_dir = os.environ.get("LUMDEC_BUILD_DIR") or os.path.join(HERE, "build", "cmake")
    if not os.path.exists(os.path.join(build_dir, "CMakeCache.txt")):
        generator = ["-G", "Ninja"] if shutil.which("ninja") else []
        subprocess.check_call(["cmake", "-S", source, "-B", build_dir, *generator,
                               "-DCMAKE_BUILD_TYPE=Release", "-DLUMDEC_BUILD_TESTS=OFF",
                               "-DLUMDEC_BUILD_BENCH=OFF"])
    env = dict(os.environ)
    env.setdefault("CMAKE_BUILD_PARALLEL_LEVEL", "2")
    subprocess.check_call(["cmake", "--build", build_dir, "--target", "lumdec"], env=env)
    found = sorted(glob.glob(os.path.join(build_dir, "src", LIBRARY_NAME + ".*.*.*")))
    if not found:
        raise RuntimeError(f"no {LIBRARY_NAME} built in {build_dir}/src")
    return found[-1]


class BuildPyWithLibrary(build_py):
    def run(self):
        super().run()
        library = os.environ.get("LUMDEC_LIBRARY") or build_library()
        target = os.path.join(self.build_lib, "lumdec", LIBRARY_NAME)
        self.mkpath(os.path.dirname(target))
        shutil.copyfile(library, target)


class BinaryDistribution(Distribution):
    """The wheel carries a native library: tag it for this platform."""

    def has_ext_modules(self):
        return True


setup(cmdclass={"build_py": BuildPyWithLibrary}, distclass=BinaryDistribution)
