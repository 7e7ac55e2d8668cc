#!/usr/bin/env python3
"""Writes the hand-made seeds of the file fuzzers: Standard MIDI Files for
midi_file_fuzzer.cpp (fuzz/corpus-midi), library headers for
library_extents_fuzzer.cpp (fuzz/corpus-library) and program and bank files
for preset_file_fuzzer.cpp (fuzz/corpus-preset), whole and cut short, so
that every run starts from the shapes real files have. File names are the
SHA-1 of the contents, as libFuzzer names its inputs.

Usage: fuzz/make_file_seeds.py [FUZZ_DIRECTORY]   (default: fuzz)
"""
import hashlib
import os
import struct
import sys


# ---- Standard MIDI Files -------------------------------------------------

def quantity(value):
    out = [value & 0x7F]
    value >>= 7
    while value:
        out.insert(0, 0x80 | (value & 0x7F))
        value >>= 7
    return bytes(out)


def chunk(kind, body):
    return kind + struct.pack('>I', len(body)) + body


def header(fmt, tracks, division, extra=b''):
    return chunk(b'MThd', struct.pack('>HHH', fmt, tracks, division) + extra)


def event(delta, data):
    return quantity(delta) + data


def track(*events, end=0):
    return chunk(b'MTrk', b''.join(events) + event(end, b'\xff\x2f\x00'))


def tempo(us):
    return b'\xff\x51\x03' + us.to_bytes(3, 'big')


def meter(numerator, power):
    return bytes([0xFF, 0x58, 0x04, numerator, power, 24, 8])


def notes(channel, keys, step):
    """Notes one after another, the note-offs as note-ons of velocity 0 by running status."""
    out = []
    for i, key in enumerate(keys):
        out.append(event(0 if i == 0 else step // 4, bytes([0x90 | channel, key, 100])))
        out.append(event(step, bytes([key, 0])))
    return out


def midi_seeds():
    song = header(0, 1, 480) + track(event(0, tempo(500000)), event(0, meter(4, 2)),
                                     *notes(0, [60, 62, 64, 65, 67, 69, 71], 480), end=240)
    conductor = track(event(0, b'\xff\x03\x05Tempo'), event(0, tempo(600000)), event(0, meter(3, 2)),
                      event(1920, tempo(300000)), event(0, meter(7, 3)), event(3360, tempo(1000000)), end=960)
    lead = track(event(0, b'\xff\x03\x04Lead'), event(0, b'\xc0\x05'), event(0, b'\xb0\x07\x64'),
                 event(0, b'\xf0\x05\x7e\x7f\x09\x01\xf7'), *notes(0, [72, 74, 76], 240),
                 event(10, b'\xe0\x00\x50'), event(10, b'\xd0\x40'), event(10, b'\xa0\x48\x20'),
                 event(0, b'\xf7\x02\xf3\x01'), event(100, b'\x90\x30\x50'))  # the last note is never released
    bass = track(event(0, b'\xff\x20\x01\x01'), event(0, b'\xff\x59\x02\xfe\x00'), *notes(1, [36, 43, 41], 960),
                 end=4)
    multi = header(1, 3, 96) + conductor + chunk(b'XFIH', b'\x00\x01\x02') + lead + bass
    smpte = header(0, 1, 0xE728) + track(*notes(9, [36, 38, 42], 400))  # 25 frames of 40 ticks
    drop = header(0, 1, 0xE350) + track(event(0, tempo(400000)), *notes(2, [50], 1000))  # 29.97 frames of 80
    # A longer header, and a four-byte time: 0x0FFFFFFF ticks of 32767 to a quarter note are 68 minutes.
    longer = header(1, 1, 0x7FFF, extra=b'\x00\x00') + track(event(0x0FFFFFFF, b'\x90\x40\x40'),
                                                              event(1, b'\x80\x40\x00'))
    seeds = [song, multi, smpte, drop, longer]
    seeds += [song[:60], multi[:len(multi) - 5], song[:12]]  # cut short
    return seeds


# ---- Library headers -----------------------------------------------------

def put(buffer, offset, fmt, *values):
    struct.pack_into(fmt, buffer, offset, *values)


def elf(bits, segments, sections, size, extended=False):
    """An ELF library of `size` bytes: program headers after the header,
    (offset, length) segments, (type, offset, length) sections at the end."""
    wide = bits == 64
    word = 'Q' if wide else 'I'
    head, phent, shent = (64, 56, 64) if wide else (52, 32, 40)
    shoff = size - shent * (len(sections) + 1)
    buffer = bytearray(size)
    buffer[0:6] = b'\x7fELF' + bytes([2 if wide else 1, 1])
    put(buffer, 16, '<HH', 3, 62 if wide else 3)
    layout = '<' + word + word if wide else '<II'
    put(buffer, 32 if wide else 28, layout, head, shoff)
    counts = (0xFFFF if extended else len(segments), shent, 0 if extended else len(sections) + 1)
    put(buffer, 54 if wide else 42, '<HHHH', phent, *counts)
    for i, (offset, length) in enumerate(segments):
        entry = head + i * phent
        if wide:
            put(buffer, entry, '<II' + 'Q' * 4, 1, 5, offset, offset, offset, length)
        else:
            put(buffer, entry, '<I' + 'I' * 4, 1, offset, offset, offset, length)
    if extended:  # the true counts in section header 0
        put(buffer, shoff + (32 if wide else 20), '<' + word, len(sections) + 1)
        put(buffer, shoff + (44 if wide else 28), '<I', len(segments))
    for i, (kind, offset, length) in enumerate(sections, start=1):
        entry = shoff + i * shent
        put(buffer, entry + 4, '<I', kind)
        put(buffer, entry + (24 if wide else 16), '<' + word + word, offset, length)
    return bytes(buffer)


def pe(magic, sections, symbols, size):
    """A PE image of `size` bytes: (raw offset, raw length) sections, and
    `symbols` symbols with a 4-byte string table at the end when not 0."""
    buffer = bytearray(size)
    buffer[0:2] = b'MZ'
    put(buffer, 0x3C, '<I', 0x80)
    buffer[0x80:0x84] = b'PE\x00\x00'
    optional = 0xE0 if magic == 0x10B else 0xF0
    symbol_table = size - 4 - 18 * symbols if symbols else 0
    put(buffer, 0x84, '<HHIIIHH', 0x14C if magic == 0x10B else 0x8664, len(sections), 0, symbol_table, symbols,
        optional, 0x2102)
    put(buffer, 0x98, '<H', magic)
    put(buffer, 0x98 + 60, '<I', 0x400)
    table = 0x98 + optional
    for i, (offset, length) in enumerate(sections):
        put(buffer, table + 40 * i, '<8sIIII', b'.sect%d' % i, length, 0x1000 * (i + 1), length, offset)
    if symbols:
        put(buffer, size - 4, '<I', 4)
    return bytes(buffer)


def library_seeds():
    elf64 = elf(64, [(0, 0x800), (0x800, 0x400)], [(1, 0x100, 0x200), (8, 0xC00, 0x1000), (3, 0x900, 0x80)],
                0x1000)
    elf32 = elf(32, [(0, 0x600)], [(1, 0x80, 0x100), (2, 0x200, 0x300)], 0x800)
    many = elf(64, [(0, 0x200)], [(1, 0x100, 0x40)], 0x600, extended=True)
    pe32 = pe(0x10B, [(0x400, 0x200), (0x600, 0x200)], 2, 0x830)
    pe64 = pe(0x20B, [(0x400, 0x400), (0, 0)], 0, 0x800)
    seeds = [elf64, elf32, many, pe32, pe64]
    seeds += [elf64[:0x900], elf32[:0x300], pe32[:0x700], pe64[:0x100], elf64[:40]]  # cut short
    return seeds


# ---- Program and bank files (.fxp, .fxb) -----------------------------------

def fx_record(kind, version, fields, name=None, body=b''):
    """'CcnK', the size of what follows it, the kind, the format version, the fields, a name, the body."""
    rest = kind + struct.pack('>i', version) + b''.join(struct.pack('>i', f) for f in fields)
    if name is not None:
        rest += name.ljust(28, b'\0')[:28]
    rest += body
    return b'CcnK' + struct.pack('>i', len(rest)) + rest


def fx_values(plugin, values, name=b'Brutal Distortion!', version=1000):
    return fx_record(b'FxCk', 1, [plugin, version, len(values)], name, b''.join(struct.pack('>f', v) for v in values))


def fx_chunk(kind, plugin, fields, data, name=None, version=1):
    return fx_record(kind, version, [plugin, 1011] + fields, name, struct.pack('>i', len(data)) + data)


def preset_seeds():
    krvx = struct.unpack('>i', b'Krvx')[0]
    values = [0.3, 0.5, 1.0, 1.0, 0.0, 0.25, 0.26, 0.5, 0.5, 0.5, 0.0, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5]
    program = fx_values(krvx, values)
    chunk = fx_chunk(b'FPCh', krvx, [11], bytes(range(40)), b'chunk')
    records = b''.join(fx_values(krvx, values, b'program %d' % i) for i in range(3))
    bank_v1 = fx_record(b'FxBk', 1, [krvx, 1000, 3, 0], None, bytes(124) + records)
    bank_v2 = fx_record(b'FxBk', 2, [krvx, 1000, 3, 2], None, bytes(124) + records)
    bank_chunk = fx_chunk(b'FBCh', krvx, [9, 4], bytes(124) + struct.pack('>i', 64) + bytes(64), version=2)
    mixed = fx_record(b'FxBk', 1, [krvx, 1000, 2, 0], None, bytes(124) + records[:len(program)] + chunk)
    seeds = [program, chunk, bank_v1, bank_v2, bank_chunk, mixed]
    seeds += [program[:60], chunk[:58], bank_v2[:200], bank_chunk[:156], program[:10]]  # cut short
    nan = bytearray(program)
    nan[56:60] = b'\x7f\xc0\x00\x00'
    negative = bytearray(chunk)
    negative[56:60] = struct.pack('>i', -5)
    seeds += [bytes(nan), bytes(negative), b'CcnK' + program[4:8] + b'FxZz' + program[12:], fx_record(b'FxCk', 3, [1, 1, 0], b'')]
    return seeds


def write(directory, seeds):
    os.makedirs(directory, exist_ok=True)
    for seed in seeds:
        with open(os.path.join(directory, hashlib.sha1(seed).hexdigest()), 'wb') as out:
            out.write(seed)
    print('%d seeds in %s' % (len(seeds), directory))


def main():
    fuzz = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    write(os.path.join(fuzz, 'corpus-midi'), midi_seeds())
    write(os.path.join(fuzz, 'corpus-library'), library_seeds())
    write(os.path.join(fuzz, 'corpus-preset'), preset_seeds())


if __name__ == '__main__':
    main()
