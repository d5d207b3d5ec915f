"""Turns a PNG of 8-bit RGB or RGBA samples (as rsvg-convert writes them) into a binary PPM.

usage: png_to_ppm.py PICTURE.png PICTURE.ppm
Needs only the standard library, so that a test can read the pixels of a rendered picture.
Alpha is dropped: the pictures under test paint an opaque background of their own.
"""
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
        sys.exit("not a PNG file")
    at, idat = 8, b""
    while at < len(data):
        length, kind = struct.unpack(">I4s", data[at:at + 8])
        body = data[at + 8:at + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", body)
            if depth != 8 or colour not in (2, 6) or interlace != 0:
                sys.exit(f"unsupported PNG: depth {depth}, colour type {colour}, interlace {interlace}")
        elif kind == b"IDAT":
            idat += body
        at += 12 + length
    channels = 4 if colour == 6 else 3
    raw = zlib.decompress(idat)
    stride = width * channels
    previous = bytearray(stride)
    rgb = bytearray()
    for row in range(height):
        start = row * (stride + 1)
        kind, line = raw[start], bytearray(raw[start + 1:start + 1 + stride])
        if kind == 1:
            for i in range(channels, stride):
                line[i] = (line[i] + line[i - channels]) & 255
        elif kind == 2:
            line = bytearray((x + y) & 255 for x, y in zip(line, previous))
        elif kind == 3:
            for i in range(stride):
                left = line[i - channels] if i >= channels else 0
                line[i] = (line[i] + ((left + previous[i]) >> 1)) & 255
        elif kind == 4:
            for i in range(stride):
                left = line[i - channels] if i >= channels else 0
                corner = previous[i - channels] if i >= channels else 0
                line[i] = (line[i] + paeth(left, previous[i], corner)) & 255
        previous = line
        if channels == 4:
            del line[3::4]
        rgb += line
    with open(sys.argv[2], "wb") as out:
        out.write(b"P6\n%d %d\n255\n" % (width, height))
        out.write(rgb)


if __name__ == "__main__":
    main()
