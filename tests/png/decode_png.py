#!/usr/bin/python3
"""Decodes an 8-bit RGB PNG with Python's zlib and struct alone, as a reader
independent of libpng, checking every chunk's CRC and the pixel stream's
Adler-32 (zlib checks it), and undoing the five line filters by the PNG
standard's formulas.

Usage: decode_png.py FILE. Prints one line: the chunk types in order,
comma-separated, then width, height and the CRC-32 of the RGB bytes (top
line first), then the iTXt text under talvik/identity, if any."""
import struct
import sys
import zlib


def paeth(a, b, c):
    p = a + b - c
    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
    if pa <= pb and pa <= pc:
        return a
    return b if pb <= pc else c


def main():
    data = open(sys.argv[1], "rb").read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        sys.exit("not a PNG")
    at, types, idat, identity = 8, [], b"", ""
    while at < len(data):
        length, kind = struct.unpack(">I4s", data[at:at + 8])
        body = data[at + 8:at + 8 + length]
        (crc,) = struct.unpack(">I", data[at + 8 + length:at + 12 + length])
        if zlib.crc32(kind + body) != crc:
            sys.exit("bad CRC in " + kind.decode())
        types.append(kind.decode())
        if kind == b"IHDR":
            width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", body)
            if (depth, colour, interlace) != (8, 2, 0):
                sys.exit("not 8-bit RGB without interlace")
        elif kind == b"IDAT":
            idat += body
        elif kind == b"iTXt":
            key, rest = body.split(b"\0", 1)
            if key == b"talvik/identity":
                # compression flag and method, language, translated keyword
                identity = rest[2:].split(b"\0", 2)[2].decode()
        at += 12 + length
    raw = zlib.decompress(idat)
    stride = 3 * width
    if len(raw) != height * (stride + 1):
        sys.exit("pixel data of the wrong size")
    out = bytearray()
    above = bytearray(stride)
    for line in range(height):
        kind = raw[line * (stride + 1)]
        row = bytearray(raw[line * (stride + 1) + 1:(line + 1) * (stride + 1)])
        for i in range(stride):
            a = row[i - 3] if i >= 3 else 0
            b = above[i]
            c = above[i - 3] if i >= 3 else 0
            predicted = [0, a, b, (a + b) // 2, paeth(a, b, c)][kind]
            row[i] = (row[i] + predicted) & 0xFF
        out += row
        above = row
    print(",".join(types), width, height, zlib.crc32(bytes(out)), identity)


if __name__ == "__main__":
    main()
