"""One open track: the handle of the file interface behind a Python object."""

import ctypes
import io
import os
import threading
import warnings

import numpy as np

from . import _capi, _errors
from ._info import describe
from ._capi import lib, text as _text

# Samples per channel of one read call: large enough that a whole file is a
# handful of calls, small enough that frames x channels x 4 bytes stays far
# inside the library's 32-bit counts.
_CALL_BYTES = 1 << 30

DEFAULT_BLOCK = 65536


class _HostIo:
    """aac_file_open_io hooks over a binary file object.

    An exception raised by the object is kept and re-raised by the call that
    led to it; the library only sees a failed read or seek."""

    def __init__(self, fileobj):
        self.fileobj = fileobj
        self.failure = None
        seekable = getattr(fileobj, "seekable", lambda: False)()
        self.record = _capi.FileIo(
            read=_capi.IO_READ(self._read),
            seek=_capi.IO_SEEK(self._seek) if seekable else _capi.IO_SEEK(),
            size=_capi.IO_SIZE(self._size) if seekable else _capi.IO_SIZE(),
        )

    def _read(self, _opaque, buffer, size):
        try:
            target = (ctypes.c_char * size).from_address(buffer)
            readinto = getattr(self.fileobj, "readinto", None)
            if readinto is not None:
                return readinto(memoryview(target).cast("B")) or 0
            data = self.fileobj.read(size)
            ctypes.memmove(target, data, len(data))
            return len(data)
        except BaseException as exc:  # noqa: B036 - handed back after the call
            self.failure = exc
            return -1

    def _seek(self, _opaque, offset):
        try:
            self.fileobj.seek(offset, io.SEEK_SET)
            return 0
        except BaseException as exc:  # noqa: B036
            self.failure = exc
            return -1

    def _size(self, _opaque):
        try:
            here = self.fileobj.tell()
            end = self.fileobj.seek(0, io.SEEK_END)
            self.fileobj.seek(here, io.SEEK_SET)
            return end
        except BaseException as exc:  # noqa: B036
            self.failure = exc
            return -1


class Reader:
    """A decoding of one audio track, read in blocks of shape (n, channels).

    Made by lumdec.open(); iterating yields float32 arrays of `block`
    samples per channel (the last one shorter) in WAV channel order.  Use it
    as a context manager or close() it.  Calls on one Reader are serialised;
    separate Readers decode in parallel (the GIL is released while the
    library works)."""

    def __init__(self, source, track=1, *, block=DEFAULT_BLOCK, gain=1.0, strict=False,
                 core_only=False):
        if block <= 0:
            raise ValueError("block must be positive")
        self.block = int(block)
        self._lock = threading.Lock()
        self._io = None
        self._reported = 0
        self.warnings = []
        config = _capi.FileConfig(gain=gain, strict=int(bool(strict)),
                                  core_only=int(bool(core_only)))
        handle = ctypes.c_void_p()
        status = lib.aac_file_create(ctypes.byref(handle), ctypes.byref(config))
        if status != _capi.AAC_OK:
            raise _errors.from_status(status, _text(lib.aac_file_error(None)))
        self._handle = handle
        try:
            self._check(self._open(source, int(track)))
            self._info = self._fetch_info()
        except BaseException:
            self.close()
            raise

    def _open(self, source, track):
        if isinstance(source, (str, os.PathLike)):
            return lib.aac_file_open_path(self._handle, os.fsencode(source), track)
        if hasattr(source, "read"):
            self._io = _HostIo(source)
            return lib.aac_file_open_io(self._handle, ctypes.byref(self._io.record), track)
        try:
            data = np.frombuffer(memoryview(source).cast("B"), dtype=np.uint8)
        except TypeError:
            raise TypeError("source must be a path, a bytes-like object or a binary "
                            f"file object, not {type(source).__name__}") from None
        return lib.aac_file_open_memory(self._handle, data.ctypes.data, data.size, track)

    def _check(self, status):
        if status >= 0:
            return status
        failure = self._io.failure if self._io else None
        error = _errors.from_status(status, _text(lib.aac_file_error(self._handle)))
        if failure is not None:
            self._io.failure = None
            raise error from failure
        raise error

    def _fetch_info(self):
        record = _capi.FileInfo()
        self._check(lib.aac_file_get_info(self._handle, ctypes.byref(record)))
        return record

    def _live(self):
        if not self._handle:
            raise ValueError("I/O operation on a closed lumdec reader")
        return self._handle

    # What is open -------------------------------------------------------

    @property
    def sample_rate(self):
        return self._info.sample_rate

    @property
    def channels(self):
        return self._info.channels

    @property
    def length(self):
        """Samples per channel the whole decoding delivers, or None if unknown."""
        return self._info.length if self._info.length >= 0 else None

    def scan(self):
        """Counts an ADTS stream's frames so that length is known (a seekable
        source only); the decoding starts over from the first sample."""
        with self._lock:
            self._check(lib.aac_file_scan(self._live()))
            self._info = self._fetch_info()

    def info(self):
        """The description of lumdec.info() for the open track."""
        with self._lock:
            return describe(self._live(), self._info)

    @property
    def stats(self):
        record = _capi.FileStats()
        with self._lock:
            self._check(lib.aac_file_get_stats(self._live(), ctypes.byref(record)))
        return {"frames": record.frames, "lost_frames": record.lost_frames,
                "samples": record.samples, "warnings": record.warnings}

    # Reading ------------------------------------------------------------

    def _check_decodable(self):
        if not self._info.decodable:
            raise _errors.UnsupportedError(_text(self._info.unsupported) or "not decodable",
                                           _capi.AAC_ERR_BAD_STREAM)

    def readinto(self, out):
        """Decodes into out, a C-contiguous float32 array of shape (n,
        channels); returns the samples per channel written, 0 at the end."""
        self._check_decodable()
        if (not isinstance(out, np.ndarray) or out.dtype != np.float32 or out.ndim != 2
                or out.shape[1] != self.channels or not out.flags.c_contiguous
                or not out.flags.writeable):
            raise ValueError(f"out must be a writable C-contiguous float32 array of shape "
                             f"(n, {self.channels})")
        limit = max(1, _CALL_BYTES // (4 * self.channels))
        address = out.ctypes.data
        stride = 4 * self.channels
        done = 0
        with self._lock:
            handle = self._live()
            while done < out.shape[0]:
                want = min(out.shape[0] - done, limit)
                got = self._check(lib.aac_file_read(handle, address + done * stride, want,
                                                    _capi.AAC_READ_INTERLEAVED))
                if got == 0:
                    break
                done += got
            self._report_warnings()
        return done

    def read(self, frames=-1):
        """Up to `frames` samples per channel (all that is left when
        negative) as a new (n, channels) array; empty at the end."""
        self._check_decodable()
        if frames >= 0:
            out = np.empty((frames, self.channels), np.float32)
            return out[:self.readinto(out)]
        # A scan starts the decoding over, so it is only done before the first read.
        delivered = self.stats["samples"]
        if self.length is None and delivered == 0 and (self._io is None or self._io.record.seek):
            self.scan()
        pieces = []
        remaining = self.length - delivered if self.length is not None else 0
        size = max(remaining, 0) or self.block
        while True:
            out = np.empty((size, self.channels), np.float32)
            got = self.readinto(out)
            if got == 0:
                break
            pieces.append(out if got == size else out[:got])
            size = self.block
        if len(pieces) == 1:
            return pieces[0]
        if not pieces:
            return np.empty((0, self.channels), np.float32)
        return np.concatenate(pieces)

    def __iter__(self):
        while True:
            block = self.read(self.block)
            if block.shape[0] == 0:
                return
            yield block

    def _report_warnings(self):
        while True:
            message = lib.aac_file_warning(self._handle, self._reported)
            if message is None:
                return
            self._reported += 1
            text = _text(message)
            self.warnings.append(text)
            warnings.warn(text, _errors.DamageWarning, stacklevel=4)

    # Closing ------------------------------------------------------------

    def close(self):
        with self._lock:
            if self._handle:
                lib.aac_file_close(self._handle)
                self._handle = None

    @property
    def closed(self):
        return not self._handle

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def __del__(self):
        if getattr(self, "_handle", None):
            self.close()
