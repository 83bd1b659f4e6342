"""Exceptions and warnings of the package, one per kind of library failure."""

from . import _capi


class Error(Exception):
    """A failure reported by the library; str() is its message.

    status is the library's status code (a negative int)."""

    def __init__(self, message, status):
        super().__init__(message)
        self.status = status


class ReadError(Error):
    """The source cannot be opened, read or seeked."""


class FormatError(Error):
    """Neither an ADTS stream nor an MP4 file, or a container damaged beyond use."""


class UnsupportedError(Error):
    """A stream or track the decoder cannot decode."""


class DamagedError(Error):
    """A damaged frame, with strict=True (otherwise it is concealed and warned of)."""


class NoTrackError(Error, LookupError):
    """The file has no audio track of that number."""


class ArgumentError(Error, ValueError):
    """A value the library refuses, e.g. a track number out of range."""


class DamageWarning(UserWarning):
    """Damage concealed while decoding, in the library's words."""


_BY_STATUS = {
    _capi.AAC_ERR_IO: ReadError,
    _capi.AAC_ERR_FORMAT: FormatError,
    _capi.AAC_ERR_BAD_STREAM: UnsupportedError,
    _capi.AAC_ERR_UNSUPPORTED: UnsupportedError,
    _capi.AAC_ERR_CORRUPT_FRAME: DamagedError,
    _capi.AAC_ERR_NO_TRACK: NoTrackError,
    _capi.AAC_ERR_ARGUMENT: ArgumentError,
}


def from_status(status, message):
    if status == _capi.AAC_ERR_NO_MEMORY:
        return MemoryError(message or "lumdec: out of memory")
    cls = _BY_STATUS.get(status, Error)
    return cls(message or f"lumdec: status {status & 0xFFFFFFFF:#010x}", status)
