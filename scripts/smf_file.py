"""The byte layout of a Standard MIDI File, shared by the song generators
and the measuring scripts."""

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


def read_file(path):
    """(format, division, tracks) of a standard MIDI file, each track a list of
    (delta ticks, event bytes) with running status spelt out. A track cut
    short ends at its last whole event; chunks other than "MTrk" are skipped."""
    data = open(path, "rb").read()
    at = data.find(b"MThd")
    if at < 0 or at + 14 > len(data):
        raise ValueError(f"{path}: not a MIDI file")
    file_format, _, division = struct.unpack(">HHH", data[at + 8:at + 14])
    pos = at + 8 + struct.unpack(">I", data[at + 4:at + 8])[0]
    tracks = []
    while pos + 8 <= len(data):
        kind, size = data[pos:pos + 4], struct.unpack(">I", data[pos + 4:pos + 8])[0]
        start, pos = pos + 8, min(pos + 8 + size, len(data))
        if kind == b"MTrk":
            tracks.append(_track_events(data[start:pos]))
    return file_format, division, tracks


def _track_events(body):
    def varlen(p):
        value = 0
        while True:
            value = (value << 7) | (body[p] & 0x7F)
            p += 1
            if body[p - 1] < 0x80:
                return value, p

    events, status, p = [], 0, 0
    try:
        while p < len(body):
            delta, p = varlen(p)
            if body[p] >= 0x80:
                status = body[p]
                p += 1
            if status < 0x80:
                break
            if status == 0xFF:
                size, q = varlen(p + 1)
                event = bytes([0xFF, body[p]]) + vlq(size) + body[q:q + size]
                p = q + size
            elif status in (0xF0, 0xF7):
                size, q = varlen(p)
                event = bytes([status]) + vlq(size) + body[q:q + size]
                p = q + size
            else:
                size = 1 if 0xC0 <= status < 0xE0 else 2
                event = bytes([status]) + body[p:p + size]
                p += size
            if status < 0xF0 and len(event) != size + 1:
                break
            events.append((delta, event))
    except IndexError:
        pass
    return events


def write_file(path, file_format, division, tracks):
    """Writes tracks of (delta ticks, event bytes) as a standard MIDI file."""
    with open(path, "wb") as f:
        f.write(header_chunk(len(tracks), division, file_format))
        for track in tracks:
            f.write(track_chunk(b"".join(vlq(delta) + event for delta, event in track)))
