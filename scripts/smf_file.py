"""The byte layout of a Standard MIDI File, shared by the song generators."""

import struct


def vlq(value):
    """A MIDI variable-length quantity: 7 bits per byte, most significant first."""
    out = [value & 0x7F]
    value >>= 7
    while value:
        out.append(0x80 | (value & 0x7F))
        value >>= 7
    return bytes(reversed(out))


def track_chunk(body):
    """An "MTrk" chunk around the encoded events of one track."""
    return b"MTrk" + struct.pack(">I", len(body)) + bytes(body)


def header_chunk(track_count, division, file_format=1):
    """The "MThd" chunk: length 6, format, track count, ticks per quarter note."""
    return b"MThd" + struct.pack(">IHHH", 6, file_format, track_count, division)
