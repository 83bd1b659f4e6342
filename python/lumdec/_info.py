"""The description lumdec.info() returns, built from the handle's records."""

import ctypes

from . import _capi
from ._capi import lib, text as _text

_CONTAINERS = {_capi.AAC_CONTAINER_ADTS: "adts", _capi.AAC_CONTAINER_MP4: "mp4"}


def _known(value):
    return value if value >= 0 else None


def _tracks(handle, count):
    tracks = []
    record = _capi.FileTrack()
    for index in range(1, count + 1):
        if lib.aac_file_get_track(handle, index, ctypes.byref(record)) != _capi.AAC_OK:
            break
        tracks.append({
            "id": record.id,
            "codec": _text(record.codec_name),
            "object_type": record.object_type,
            "sample_rate": record.sample_rate,
            "channels": record.channels,
            "frames": _known(record.frames),
            "duration": record.seconds,
        })
    return tracks


def _only_track(record, duration):
    """The track of a file that has no track records (ADTS), from its info."""
    return {"id": None, "codec": _text(record.codec_name), "object_type": record.object_type,
            "sample_rate": record.core_sample_rate, "channels": record.channels,
            "frames": _known(record.frames), "duration": duration}


def _tags(handle, record):
    tags = {}
    name, value = ctypes.c_char_p(), ctypes.c_char_p()
    index = 0
    while lib.aac_file_get_tag(handle, index, ctypes.byref(name),
                               ctypes.byref(value)) == _capi.AAC_OK:
        tags[_text(name.value)] = _text(value.value)
        index += 1
    for field in ("title", "artist", "album", "encoder"):
        text = _text(getattr(record, field))
        if text:
            tags.setdefault(field, text)
    return tags


def describe(handle, record):
    """A plain dict: what is decoded, how long it is, the tracks and tags.

    Counts are per channel; None where the container does not say (an ADTS
    stream's frames and length before it is scanned)."""
    length = _known(record.length)
    rate = record.sample_rate
    duration = length / rate if length is not None and rate > 0 else None
    payload = _known(record.payload_bytes)
    return {
        "container": _CONTAINERS.get(record.container, "unknown"),
        "container_name": _text(record.container_name),
        "object_type": record.object_type,
        "codec": _text(record.codec_name),
        "sample_rate": rate,
        "core_sample_rate": record.core_sample_rate,
        "channels": record.channels,
        "layout": _text(record.layout_name),
        "channel_mask": record.channel_mask,
        "speakers": _text(record.speakers),
        "samples_per_frame": record.samples_per_block,
        "frames": _known(record.frames),
        "length": length,
        "duration": duration,
        "bitrate": payload * 8 / duration if payload is not None and duration else None,
        "edit_list": bool(record.edit_list),
        "edit_start": record.edit_start,
        "edit_length": _known(record.edit_length),
        "lead_silence": record.lead_silence,
        "encoder_delay": _known(record.encoder_delay),
        "decodable": bool(record.decodable),
        "unsupported": _text(record.unsupported),
        "track": record.track,
        "tracks": _tracks(handle, record.track_count) or [_only_track(record, duration)],
        "tags": _tags(handle, record),
    }
