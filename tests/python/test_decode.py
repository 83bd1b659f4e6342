"""The package against aacdec, and its handling of sources and failures."""

import io
import warnings

import numpy as np
import pytest

import lumdec
from conftest import DATA, STREAMS, decode_with_aacdec, stream_id

# aacdec's exit status for a stream it refuses, and the error lumdec raises.
REFUSALS = {2: lumdec.FormatError, 3: lumdec.UnsupportedError}


def same_samples(actual, expected):
    assert actual.dtype == np.float32 and actual.shape == expected.shape
    np.testing.assert_array_equal(actual.view(np.uint32), expected.view(np.uint32))


@pytest.mark.parametrize("stream", STREAMS, ids=stream_id)
def test_decode_equals_aacdec(aacdec, stream, tmp_path):
    expected = decode_with_aacdec(aacdec, stream, tmp_path)
    if isinstance(expected, int):
        with pytest.raises(REFUSALS[expected]) as refusal:
            lumdec.decode(stream)
        assert str(refusal.value)
        return
    reference, rate = expected
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", lumdec.DamageWarning)
        samples, sample_rate = lumdec.decode(stream)
        assert sample_rate == rate
        same_samples(samples, reference)

        # Blocks that straddle frames, from memory.
        with lumdec.open(stream.read_bytes(), block=1000) as reader:
            blocks = list(reader)
        assert all(block.shape[0] == 1000 for block in blocks[:-1])
        same_samples(np.concatenate(blocks), reference)

    description = lumdec.info(stream)
    assert (description["sample_rate"], description["channels"]) == (rate, reference.shape[1])
    assert description["length"] == reference.shape[0]
    assert description["duration"] == pytest.approx(reference.shape[0] / rate)


class OneWay(io.RawIOBase):
    """A pipe-like source: read only, no seeking."""

    def __init__(self, data):
        self.inner = io.BytesIO(data)

    def readable(self):
        return True

    def readinto(self, buffer):
        return self.inner.readinto(buffer)


SOURCES = {
    "str": str,
    "pathlike": lambda path: path,
    "bytes": lambda path: path.read_bytes(),
    "memoryview": lambda path: memoryview(path.read_bytes())[0:],
    "file": lambda path: open(path, "rb"),
    "pipe": lambda path: OneWay(path.read_bytes()),
}


@pytest.mark.parametrize("kind", SOURCES)
@pytest.mark.parametrize("name", ["streams/multi_5_1_48k_320k.aac",
                                  "mp4/sweep_mono_44k1_64k_fragmented.mp4"])
def test_every_kind_of_source_decodes_alike(kind, name):
    path = DATA / name
    expected, rate = lumdec.decode(path)
    with lumdec.open(SOURCES[kind](path)) as reader:
        # The rest after a first read: no scan may start the decoding over.
        samples = np.concatenate([reader.read(5000), reader.read()])
        assert reader.sample_rate == rate
    same_samples(samples, expected)


def damaged_stream():
    data = bytearray((DATA / "streams" / "castanets_stereo_44k1_96k.aac").read_bytes())
    data[len(data) // 2:len(data) // 2 + 64] = bytes(64)
    return bytes(data)


class FailingSource(OneWay):
    def readinto(self, buffer):
        raise OSError("the network went away")


@pytest.mark.parametrize("source, options, error, cause", [
    (DATA / "no_such_file.aac", {}, lumdec.ReadError, None),
    (b"\x00" * 5000, {}, lumdec.FormatError, None),
    (DATA / "streams" / "speech_mono_16k_24k.aac", {"track": 2}, lumdec.NoTrackError, None),
    (DATA / "mp4" / "speech_mono_16k_24k.m4a", {"track": 3}, lumdec.NoTrackError, None),
    (damaged_stream(), {"strict": True}, lumdec.DamagedError, None),
    (FailingSource(b""), {}, lumdec.ReadError, OSError),
])
def test_failures_raise_the_library_message(source, options, error, cause):
    with pytest.raises(error) as failure:
        lumdec.decode(source, **options)
    assert str(failure.value) and failure.value.status < 0
    assert isinstance(failure.value, lumdec.Error)
    if cause:
        assert isinstance(failure.value.__cause__, cause)


def test_concealed_damage_warns_and_keeps_the_length():
    clean, _ = lumdec.decode(DATA / "streams" / "castanets_stereo_44k1_96k.aac")
    with pytest.warns(lumdec.DamageWarning):
        samples, _ = lumdec.decode(damaged_stream())
    assert samples.shape == clean.shape


def test_reader_checks_its_buffers_and_state():
    reader = lumdec.open(DATA / "streams" / "multi_5_1_48k_320k.aac")
    with pytest.raises(ValueError):
        reader.readinto(np.empty((10, 2), np.float32))
    with pytest.raises(TypeError):
        lumdec.decode(42)
    reader.close()
    assert reader.closed
    with pytest.raises(ValueError):
        reader.read(10)
