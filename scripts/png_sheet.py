#!/usr/bin/env python3
"""png_sheet.py -- lays PNG pictures out on one sheet, left to right and top
to bottom, with the standard library only (no image package).

Usage: png_sheet.py OUT.png COLUMNS IN.png...  Reads 8-bit palette, grey, RGB
and RGBA pictures (not interlaced), writes one RGB picture, each cell as big
as the largest input, on black."""
import struct
import sys
import zlib


def read_png(path):
    data = open(path, "rb").read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        sys.exit(f"png_sheet: {path} is not a PNG")
    pos, idat, palette = 8, b"", None
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        pos += 12 + length
        if kind == b"IHDR":
            width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", body)
        elif kind == b"PLTE":
            palette = [body[i:i + 3] for i in range(0, len(body), 3)]
        elif kind == b"IDAT":
            idat += body
    channels = {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}[colour]
    if depth != 8 or interlace:
        sys.exit(f"png_sheet: {path}: only 8-bit, not interlaced")
    raw = zlib.decompress(idat)
    stride = width * channels
    rows, prev = [], bytearray(stride)
    for y in range(height):
        filt = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - channels] if i >= channels else 0
            b = prev[i]
            c = prev[i - channels] if i >= channels else 0
            if filt == 1:
                line[i] = (line[i] + a) & 255
            elif filt == 2:
                line[i] = (line[i] + b) & 255
            elif filt == 3:
                line[i] = (line[i] + (a + b) // 2) & 255
            elif filt == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        prev = line
        if colour == 3:
            rows.append(b"".join(palette[v] for v in line))
        elif colour == 2:
            rows.append(bytes(line))
        elif colour == 6:
            rows.append(bytes(v for i, v in enumerate(line) if i % 4 != 3))
        else:  # grey, grey + alpha
            rows.append(bytes(v for i, v in enumerate(line) if i % channels == 0 for _ in range(3)))
    return width, height, rows


def main():
    out, columns, paths = sys.argv[1], int(sys.argv[2]), sys.argv[3:]
    pictures = [read_png(p) for p in paths]
    cell_w = max(p[0] for p in pictures)
    cell_h = max(p[1] for p in pictures)
    grid_rows = (len(pictures) + columns - 1) // columns
    width, height = cell_w * columns, cell_h * grid_rows
    sheet = [bytearray(3 * width) for _ in range(height)]
    for k, (w, h, rows) in enumerate(pictures):
        x0, y0 = (k % columns) * cell_w, (k // columns) * cell_h
        for y in range(h):
            sheet[y0 + y][3 * x0:3 * (x0 + w)] = rows[y]
    raw = b"".join(b"\x00" + bytes(r) for r in sheet)

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))

    png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")
    open(out, "wb").write(png)


main()
