"""The ctypes records against the C compiler's view of lumdec.h."""

import ctypes
import shutil
import subprocess

import pytest

from conftest import REPO
from lumdec import _capi


def test_records_match_the_header(tmp_path):
    compiler = shutil.which("cc") or shutil.which("gcc") or shutil.which("clang")
    if not compiler:
        pytest.skip("no C compiler")
    lines = ['#include <stddef.h>', '#include <stdio.h>', '#include "lumdec.h"',
             "int main(void) {"]
    expected = []
    for name, record in _capi.RECORDS.items():
        lines.append(f'printf("%zu\\n", sizeof({name}));')
        expected.append(ctypes.sizeof(record))
        for field, _ in record._fields_:
            lines.append(f'printf("%zu\\n", offsetof({name}, {field}));')
            expected.append(getattr(record, field).offset)
    lines.append("return 0; }")
    source = tmp_path / "records.c"
    source.write_text("\n".join(lines))
    program = tmp_path / "records"
    subprocess.run([compiler, "-I", str(REPO / "include"), str(source), "-o", str(program)],
                   check=True)
    printed = subprocess.run([str(program)], check=True, capture_output=True, text=True).stdout
    assert [int(word) for word in printed.split()] == expected
