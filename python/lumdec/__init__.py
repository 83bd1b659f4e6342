"""Decoding of AAC (LC, HE-AAC, HE-AAC v2) from ADTS streams and MP4/M4A files
into numpy arrays, with no other decoder installed.

    samples, rate = lumdec.decode("song.m4a")      # float32, (samples, channels)
    lumdec.info("song.m4a")["duration"]
    with lumdec.open("long.aac") as reader:
        for block in reader:                        # (n, channels) at a time
            ...

A source is a path (str or os.PathLike), a bytes-like object holding the
whole file, or a binary file object.  Samples are full scale 1.0, in WAV
channel order (5.1: L R C LFE Ls Rs), exactly those `aacdec -f wavf` writes.
"""

from ._errors import (ArgumentError, DamagedError, DamageWarning, Error, FormatError,
                      NoTrackError, ReadError, UnsupportedError)
from ._reader import DEFAULT_BLOCK, Reader

__all__ = ["decode", "info", "open", "Reader", "Error", "ReadError", "FormatError",
           "UnsupportedError", "DamagedError", "NoTrackError", "ArgumentError",
           "DamageWarning"]
__version__ = "0.1.0"


def decode(source, track=1, *, gain=1.0, strict=False, core_only=False):
    """Decodes a whole track: (samples, sample_rate), samples a float32 array
    of shape (samples, channels).

    Concealed damage is reported as DamageWarning; strict=True raises
    DamagedError instead.  core_only=True skips SBR and PS (the AAC core at
    its own rate)."""
    with Reader(source, track, gain=gain, strict=strict, core_only=core_only) as reader:
        return reader.read(), reader.sample_rate


def info(source, track=1, *, scan=True):
    """Describes a file and one of its tracks without decoding it: a dict
    with container, codec, object_type, sample_rate, channels, frames,
    length (samples per channel), duration (seconds), tracks, tags and more.

    An ADTS stream has no index, so scan=True reads it through once to count
    its frames; with scan=False frames, length and duration are None."""
    with Reader(source, track) as reader:
        if scan and reader.length is None:
            reader.scan()
        return reader.info()


def open(source, track=1, *, block=DEFAULT_BLOCK, gain=1.0, strict=False, core_only=False):
    """A Reader over one track, yielding blocks of `block` samples per channel."""
    return Reader(source, track, block=block, gain=gain, strict=strict, core_only=core_only)
