#!/usr/bin/env python3
"""Writes the hand-made seeds of fuzz/corpus: host scenarios spelled in the
fuzzer's input language (host_surface_fuzzer.cpp and the files it uses), so
that every run starts from the call orders that real hosts use.

Usage: fuzz/make_seeds.py [DIRECTORY]   (default: fuzz/corpus)
"""
import hashlib
import os
import struct
import sys

# Actions of host_surface_fuzzer.cpp; add SLOT1 for the second instance.
ANY_OPCODE, SET_PARAMETER, GET_PARAMETER, PROCESS = 0, 3, 5, 6
CHANGE_PROGRAM, PROGRAM_NAME, PARAMETER_TEXT, OFF_AND_ON = 10, 11, 12, 13
CLOSE_AND_REOPEN, BEGIN_SET_END_PROGRAM = 14, 15
SLOT1 = 16

# Opcodes the scenarios use.
EFF_OPEN, EFF_CLOSE, EFF_SET_PROGRAM, EFF_SET_PROGRAM_NAME = 0, 1, 2, 4
EFF_GET_PROGRAM_NAME, EFF_GET_PARAM_LABEL, EFF_GET_PARAM_DISPLAY = 5, 6, 7
EFF_GET_PARAM_NAME, EFF_SET_SAMPLE_RATE, EFF_SET_BLOCK_SIZE = 8, 10, 11
EFF_MAINS_CHANGED, EFF_CAN_BE_AUTOMATED, EFF_GET_PROGRAM_NAME_INDEXED = 12, 26, 29
EFF_GET_PLUG_CATEGORY, EFF_GET_EFFECT_NAME, EFF_GET_VENDOR_STRING = 35, 45, 47
EFF_GET_PRODUCT_STRING, EFF_CAN_DO, EFF_GET_PARAMETER_PROPERTIES = 48, 51, 56
EFF_GET_VST_VERSION = 58

# Parameter indices.
GAIN, MAIN_DIST_ON, MAIN_DIST_AMOUNT, EQ_ON = 0, 1, 2, 4
LOW_MID, MID_HIGH, MULTI_DIST_ON = 5, 6, 10

# Signal kinds of test_signal.cpp and level choices.
SILENCE, SINE, NOISE, IMPULSE, DIRECT, SQUARE, ONE_SPECIAL, ANY_BITS = range(8)
LEVEL_FULL, LEVEL_HALF, LEVEL_LOUDEST = 0, 1, 11


def u16(v):
    return struct.pack('<H', v & 0xFFFF)


def f32(v):
    return struct.pack('<f', v)


def index(i):
    """FuzzBytes::index for 0 <= i < 17, or -1 / 17 / INT_MIN."""
    return bytes([{-1: 200, 17: 201, 'min': 203}.get(i, i)])


def value(v):
    """FuzzBytes::value for -1..10."""
    return bytes([v + 1])


def opt_rate(rate):
    return bytes([3]) + u16(rate)


def text(s):
    b = s.encode()
    return bytes([len(b)]) + b


def opcode(op, args=b'', slot=0):
    if op == 80:
        code = bytes([224])
    elif op == -1:
        code = bytes([226])
    else:
        code = bytes([op])
    return bytes([ANY_OPCODE + slot]) + code + args


def plain(op, i=0, v=0, scratch=0, slot=0):
    """An opcode without pointer argument: index, value, opt 44100, scratch or null."""
    return opcode(op, index(i) + value(v) + bytes([2, scratch]), slot)


def set_parameter(i, v, slot=0):
    """A value in 0..1 as a 16-bit fraction, or any float (raw bits)."""
    if isinstance(v, float) and 0.0 <= v <= 1.0:
        return bytes([SET_PARAMETER + slot]) + index(i) + bytes([0]) + u16(round(v * 65535))
    return bytes([SET_PARAMETER + slot]) + index(i) + bytes([7]) + f32(v)


def process(frames, kind=SINE, level=LEVEL_HALF, seed=7, position=0, special=None, layout=0, slot=0):
    """A replacing block of exactly `frames` frames (0..4096; an input processes 4096 in all)."""
    b = bytes([PROCESS + slot, 9]) + u16(frames) + bytes([2, layout, kind, level]) + u16(seed) + u16(position)
    b += bytes([1]) + f32(special) if special is not None else bytes([0])
    return b


def set_program(n, slot=0):
    return bytes([CHANGE_PROGRAM + slot, 1, n + 1, 0])


def scenario_scanner():
    s = plain(EFF_OPEN)
    s += plain(EFF_GET_VST_VERSION)
    s += opcode(EFF_GET_EFFECT_NAME, index(0) + value(0))
    s += opcode(EFF_GET_VENDOR_STRING, index(0) + value(0))
    s += opcode(EFF_GET_PRODUCT_STRING, index(0) + value(0))
    s += plain(EFF_GET_PLUG_CATEGORY)
    for question in range(8):
        s += opcode(EFF_CAN_DO, bytes([1, question]))
    s += plain(EFF_MAINS_CHANGED, v=0)
    s += opcode(EFF_CLOSE, index(0) + value(0) + bytes([2]))
    return s


def scenario_instantiation():
    s = plain(EFF_OPEN)
    s += plain(EFF_SET_SAMPLE_RATE)
    s += opcode(EFF_SET_BLOCK_SIZE, index(0) + bytes([167]) + bytes([2, 0]))
    for p in range(17):
        s += plain(EFF_CAN_BE_AUTOMATED, i=p)
        s += opcode(EFF_GET_PARAMETER_PROPERTIES, value(0) + index(p) + bytes([2]))
        s += bytes([GET_PARAMETER]) + index(p)
        s += bytes([PARAMETER_TEXT, 2]) + index(p) + value(0)
        s += bytes([PARAMETER_TEXT, 0]) + index(p) + value(0)
        s += bytes([PARAMETER_TEXT, 1]) + index(p) + value(0)
    s += opcode(EFF_CAN_DO, bytes([1, 7]))
    s += plain(EFF_MAINS_CHANGED, v=1)
    for b in range(8):
        s += process(512, seed=b + 1, position=0)  # 4096 frames: the input's whole budget
    return s


def scenario_program_names_from_second_instance():
    s = process(256)
    for n in range(9):
        s += opcode(EFF_GET_PROGRAM_NAME_INDEXED, index(n) + value(0), slot=SLOT1)
        s += bytes([BEGIN_SET_END_PROGRAM + SLOT1, 1, n + 1, 0])
        s += bytes([PROGRAM_NAME + SLOT1, 0]) + index(0) + value(0)
        s += process(200, seed=n + 3)
    s += bytes([CLOSE_AND_REOPEN + SLOT1])
    return s


def scenario_every_program_with_audio():
    s = b''
    for n in range(9):
        s += bytes([BEGIN_SET_END_PROGRAM, 1, n + 1, 0])
        s += process(455, kind=NOISE, level=LEVEL_FULL, seed=n + 11)
    return s


def scenario_automation_split_blocks():
    s = set_program(5)
    for b in range(8):
        s += process(488, seed=b + 1)
        s += set_parameter(GAIN, (b % 10) / 10.0)
        s += process(24, seed=b + 2)
    return s


def scenario_nan_then_recovery():
    s = set_program(6)
    s += process(512, kind=ONE_SPECIAL, level=LEVEL_FULL, position=100, special=float('nan'))
    s += process(512, kind=ONE_SPECIAL, level=LEVEL_FULL, position=3, special=float('inf'))
    s += process(512, kind=ONE_SPECIAL, level=LEVEL_FULL, position=300, special=float('-inf'))
    s += process(2048)
    return s


def scenario_crossovers_out_of_range():
    s = set_program(7)
    for bad in (1.8663, -1.0, 1e30, float('inf'), float('nan'), 2.0):
        s += set_parameter(MID_HIGH, bad)
        s += process(400)
        s += set_parameter(MID_HIGH, 0.14)
        s += set_parameter(LOW_MID, bad)
        s += process(200)
        s += set_parameter(LOW_MID, 0.25)
        s += process(80)
    return s


def scenario_crossover_automation_per_block():
    s = set_program(4)
    for b in range(40):
        s += set_parameter(MID_HIGH, 1.0 if b % 2 else 0.0)
        s += process(32, seed=b + 1)
    return s


def scenario_everything_on_at_extremes():
    s = b''
    for p in range(17):
        s += set_parameter(p, 1.0)
    s += process(2048, kind=SQUARE, level=LEVEL_FULL)
    for p in range(17):
        s += set_parameter(p, 0.0)
    s += set_parameter(EQ_ON, 1.0) + set_parameter(MULTI_DIST_ON, 1.0) + set_parameter(MAIN_DIST_ON, 1.0)
    s += process(2048, kind=NOISE, level=LEVEL_FULL)
    return s


def scenario_parameters_far_outside():
    s = set_parameter(EQ_ON, 1.0) + set_parameter(MAIN_DIST_ON, 1.0) + set_parameter(MULTI_DIST_ON, 1.0)
    for p in range(17):
        for bad in (float('nan'), float('-inf'), 3.0e38, -5.0, 7.5):
            s += set_parameter(p, bad)
            s += bytes([PARAMETER_TEXT, 1]) + index(p) + value(0)
        s += process(64)
        s += set_parameter(p, 0.5)
        s += process(64)
    return s


def scenario_text_opcodes_bad_indices():
    s = b''
    for i in (-1, 17, 'min'):
        for which in range(3):
            s += bytes([PARAMETER_TEXT, which]) + index(i) + value(0)
        s += bytes([GET_PARAMETER]) + index(i)
        s += bytes([SET_PARAMETER]) + index(i) + bytes([0]) + u16(30000)
    return s


def scenario_program_renames():
    s = b''
    for name in ('', 'x', 'Exactly twenty-three ch', 'Exactly twenty-four char',
                 'A program name far longer than any host buffer of twenty-four bytes could hold'):
        s += bytes([PROGRAM_NAME, 1]) + text(name)
        s += bytes([PROGRAM_NAME, 0]) + index(0) + value(0)
    return s


def scenario_odd_blocks_and_buffers():
    s = set_program(8)
    for frames, layout in ((0, 0), (1, 1), (2, 2), (3, 3), (2048, 1), (1500, 2), (17, 3)):
        s += process(frames, kind=NOISE, layout=layout, seed=frames + 1)
    s += bytes([PROCESS, 9]) + u16(256) + bytes([0]) + bytes([SINE, 0]) + u16(5) + u16(0) + bytes([0, 1])
    s += bytes([PROCESS, 9]) + u16(256) + bytes([1]) + bytes([SINE, 0]) + u16(5) + u16(0) + bytes([0, 0])
    return s


def scenario_unknown_opcodes():
    s = b''
    for op in (80, -1, 28, 30, 31, 32, 36, 37, 43, 46, 53, 54, 55, 57):
        s += plain(op, v=3, scratch=1)
    return s


def scenario_close_and_reopen_between_blocks():
    s = b''
    for n in range(6):
        s += set_program(n) + process(300, seed=n + 1)
        s += opcode(EFF_CLOSE, index(0) + value(0) + bytes([2]))
        s += process(300, seed=n + 2, slot=SLOT1)
        s += bytes([CLOSE_AND_REOPEN + SLOT1])
    return s


def scenario_suspend_resume_and_rates():
    s = set_program(4)
    for rate in (44100, 0, 192000):
        s += process(512)
        s += bytes([OFF_AND_ON, 1]) + opt_rate(rate) + bytes([167, 1])
    s += process(512)
    return s


def scenario_subnormal_tail():
    s = set_program(6)
    s += process(1024, kind=NOISE, level=LEVEL_FULL)
    s += process(1024, kind=NOISE, level=4)  # 1e-39: subnormal input
    s += process(2048, kind=SILENCE)
    return s


def scenario_loud_and_raw_input():
    s = set_program(5)
    s += process(1024, kind=DIRECT, level=LEVEL_LOUDEST)
    s += process(1024, kind=ANY_BITS, seed=99)
    s += process(2048, kind=SINE, level=LEVEL_FULL)
    return s


SCENARIOS = [value for name, value in sorted(globals().items()) if name.startswith('scenario_')]


def main():
    directory = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), 'corpus')
    os.makedirs(directory, exist_ok=True)
    for scenario in SCENARIOS:
        data = scenario()
        name = hashlib.sha1(data).hexdigest()
        with open(os.path.join(directory, name), 'wb') as seed:
            seed.write(data)
        print(f'{name}  {len(data):5d} bytes  {scenario.__name__[len("scenario_"):]}')


if __name__ == '__main__':
    main()
