#!/usr/bin/python3
"""Reference for the logger data's block cipher, written from the format's
description alone: key = MD5(pass phrase) read as four big-endian words, TEA-like
rounds on big-endian 64-bit blocks, CBC from an all-FF register, tail XOR-ed with
the enciphered register.

usage: qlcipher_ref.py enc|dec PASSPHRASE HEXDATA   -> prints HEXDATA
"""
import hashlib
import struct
import sys

M = 0xFFFFFFFF
DELTA = 0x9E3779B9


def key_words(phrase):
    return struct.unpack(">4I", hashlib.md5(phrase).digest())


def enc_block(k, block):
    y, z = struct.unpack(">2I", block)
    s = 0
    for _ in range(32):
        s = (s + DELTA) & M
        y = (y + (((z << 4) & M) + (z ^ k[0]) + ((z >> 5) ^ s) + k[1])) & M
        z = (z + (((y << 4) & M) + (k[2] ^ y) + ((y >> 5) ^ s) + k[3])) & M
    return struct.pack(">2I", y, z)


def dec_block(k, block):
    y, z = struct.unpack(">2I", block)
    s = (DELTA * 32) & M
    for _ in range(32):
        z = (z - (((y << 4) & M) + (k[2] ^ y) + ((y >> 5) ^ s) + k[3])) & M
        y = (y - (((z << 4) & M) + (z ^ k[0]) + ((z >> 5) ^ s) + k[1])) & M
        s = (s - DELTA) & M
    return struct.pack(">2I", y, z)


def xor(a, b):
    return bytes(x ^ y for x, y in zip(a, b))


def run(mode, phrase, data):
    k = key_words(phrase)
    reg = b"\xff" * 8
    out = bytearray()
    full = len(data) // 8 * 8
    for i in range(0, full, 8):
        blk = data[i:i + 8]
        if mode == "enc":
            c = enc_block(k, xor(blk, reg))
            out += c
            reg = c
        else:
            out += xor(dec_block(k, blk), reg)
            reg = blk
    if len(data) > full:
        reg = enc_block(k, reg)
        out += xor(data[full:], reg)
    return bytes(out)


if __name__ == "__main__":
    mode, phrase, hexdata = sys.argv[1], sys.argv[2].encode("latin-1"), sys.argv[3]
    print(run(mode, phrase, bytes.fromhex(hexdata)).hex())
