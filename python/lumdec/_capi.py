"""The file section of lumdec.h, mirrored in ctypes.

Every record keeps the field order and types of the header; the layout test
in tests/python compiles the header and compares sizes and offsets, since a
record that drifts from its C twin fails silently.  Functions are called
through ctypes.CDLL, which releases the GIL for the length of each call.
"""

import ctypes
import os
import sys
from ctypes import (POINTER, Structure, c_char_p, c_double, c_float, c_int32, c_int64,
                    c_uint32, c_void_p)

AAC_OK = 0
AAC_ERR_UNSUPPORTED = -2147483648
AAC_ERR_NO_MEMORY = -2147483647 + 1
AAC_ERR_CORRUPT_FRAME = -2147483647 + 2
AAC_ERR_BAD_STREAM = -2147483647 + 3
AAC_ERR_IO = -2147483647 + 4
AAC_ERR_FORMAT = -2147483647 + 5
AAC_ERR_ARGUMENT = -2147483647 + 6
AAC_ERR_NO_TRACK = -2147483647 + 7

AAC_CONTAINER_ADTS = 1
AAC_CONTAINER_MP4 = 2

AAC_READ_INTERLEAVED = 0
AAC_READ_PLANAR = 1
AAC_READ_DECODER_ORDER = 2


class FileConfig(Structure):
    _fields_ = [
        ("gain", c_float),
        ("strict", c_int32),
        ("core_only", c_int32),
        ("reserved", c_int32 * 5),
    ]


IO_READ = ctypes.CFUNCTYPE(c_int64, c_void_p, c_void_p, c_int32)
IO_SEEK = ctypes.CFUNCTYPE(c_int32, c_void_p, c_int64)
IO_SIZE = ctypes.CFUNCTYPE(c_int64, c_void_p)


class FileIo(Structure):
    _fields_ = [
        ("read", IO_READ),
        ("seek", IO_SEEK),
        ("size", IO_SIZE),
        ("opaque", c_void_p),
    ]


class FileInfo(Structure):
    _fields_ = [
        ("frames", c_int64),
        ("length", c_int64),
        ("payload_bytes", c_int64),
        ("edit_start", c_int64),
        ("edit_length", c_int64),
        ("lead_silence", c_int64),
        ("encoder_delay", c_int64),
        ("container", c_int32),
        ("object_type", c_int32),
        ("core_sample_rate", c_int32),
        ("sample_rate", c_int32),
        ("channels", c_int32),
        ("layout", c_int32),
        ("channel_mask", c_uint32),
        ("samples_per_block", c_int32),
        ("track", c_int32),
        ("track_count", c_int32),
        ("edit_list", c_int32),
        ("decodable", c_int32),
        ("container_name", c_char_p),
        ("codec_name", c_char_p),
        ("layout_name", c_char_p),
        ("speakers", c_char_p),
        ("unsupported", c_char_p),
        ("title", c_char_p),
        ("artist", c_char_p),
        ("album", c_char_p),
        ("encoder", c_char_p),
    ]


class FileTrack(Structure):
    _fields_ = [
        ("seconds", c_double),
        ("frames", c_int64),
        ("id", c_int32),
        ("object_type", c_int32),
        ("sample_rate", c_int32),
        ("channels", c_int32),
        ("codec_name", c_char_p),
    ]


class FileStats(Structure):
    _fields_ = [
        ("frames", c_int64),
        ("lost_frames", c_int64),
        ("samples", c_int64),
        ("warnings", c_int32),
        ("reserved", c_int32),
    ]


RECORDS = {
    "aac_file_config": FileConfig,
    "aac_file_io": FileIo,
    "aac_file_info": FileInfo,
    "aac_file_track": FileTrack,
    "aac_file_stats": FileStats,
}

_handle = c_void_p
_PROTOTYPES = {
    "aac_file_create": (c_int32, [POINTER(_handle), POINTER(FileConfig)]),
    "aac_file_close": (None, [_handle]),
    "aac_file_open_path": (c_int32, [_handle, c_char_p, c_int32]),
    "aac_file_open_memory": (c_int32, [_handle, c_void_p, c_int64, c_int32]),
    "aac_file_open_io": (c_int32, [_handle, POINTER(FileIo), c_int32]),
    "aac_file_get_info": (c_int32, [_handle, POINTER(FileInfo)]),
    "aac_file_get_track": (c_int32, [_handle, c_int32, POINTER(FileTrack)]),
    "aac_file_get_tag": (c_int32, [_handle, c_int32, POINTER(c_char_p), POINTER(c_char_p)]),
    "aac_file_scan": (c_int32, [_handle]),
    "aac_file_read": (c_int32, [_handle, c_void_p, c_int32, c_int32]),
    "aac_file_get_stats": (c_int32, [_handle, POINTER(FileStats)]),
    "aac_file_progress": (c_double, [_handle]),
    "aac_file_error": (c_char_p, [_handle]),
    "aac_file_warning": (c_char_p, [_handle, c_int32]),
}


def text(value):
    """A string the library returned, as str ("" for null)."""
    return value.decode("utf-8", "replace") if value else ""


def _library_path():
    """The library bundled beside this module, or $LUMDEC_LIBRARY."""
    override = os.environ.get("LUMDEC_LIBRARY")
    if override:
        return override
    name = "lumdec01.dll" if sys.platform == "win32" else "liblumdec.so"
    return os.path.join(os.path.dirname(os.path.abspath(__file__)), name)


def _load():
    path = _library_path()
    try:
        lib = ctypes.CDLL(path)
    except OSError as exc:
        raise ImportError(f"lumdec: cannot load the decoding library {path}: {exc}") from exc
    for name, (restype, argtypes) in _PROTOTYPES.items():
        function = getattr(lib, name)
        function.restype = restype
        function.argtypes = argtypes
    return lib


lib = _load()
