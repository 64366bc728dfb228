#!/usr/bin/env python3
"""Writes the default model of the OBJ File brush: a UV sphere of radius 1.

    python3 tools/make_sphere.py [output-folder]     (default: samples/)

Writes sphere.obj, sphere.mtl and sphere.png. The OBJ file keeps to exactly
what Daubwork reads: lines "v x y z", "vt u v", "vn x y z" and faces of full
v/t/n corners, every field after a single blank, LF line ends, and
"mtllib sphere.mtl". The poles lie on the y axis (the brush turns +y towards
the viewer); the caps are triangles, the rest quads, all wound
counter-clockwise seen from outside. Normals are the unit positions.
Only Python's standard library is used; the output is the same on every run.
"""

import math
import os
import struct
import sys
import zlib

SLICES = 24  # around the y axis
STACKS = 12  # from pole to pole
TEXTURE_W, TEXTURE_H = 64, 32


def num(x):
    s = "%.6f" % x
    return "0.000000" if s == "-0.000000" else s


def sphere():
    """Positions (unit vectors), texcoords and faces as lists of corners
    (vertex index, texcoord index), 0-based."""
    positions = [(0.0, 1.0, 0.0)]
    for i in range(1, STACKS):
        phi = math.pi * i / STACKS
        for j in range(SLICES):
            theta = 2.0 * math.pi * j / SLICES
            positions.append((math.sin(phi) * math.sin(theta), math.cos(phi),
                              math.sin(phi) * math.cos(theta)))
    positions.append((0.0, -1.0, 0.0))
    bottom = len(positions) - 1

    # Texture grid: (SLICES + 1) columns so that the seam gets u = 0 and 1.
    texcoords = [(j / SLICES, 1.0 - i / STACKS)
                 for i in range(STACKS + 1) for j in range(SLICES + 1)]

    def ring(i, j):  # vertex j of ring i (1 .. STACKS - 1)
        return 1 + (i - 1) * SLICES + j % SLICES

    def tex(i, j):
        return i * (SLICES + 1) + j

    faces = []
    for j in range(SLICES):
        faces.append([(0, tex(0, j)), (ring(1, j), tex(1, j)), (ring(1, j + 1), tex(1, j + 1))])
    for i in range(1, STACKS - 1):
        for j in range(SLICES):
            faces.append([(ring(i, j), tex(i, j)), (ring(i + 1, j), tex(i + 1, j)),
                          (ring(i + 1, j + 1), tex(i + 1, j + 1)),
                          (ring(i, j + 1), tex(i, j + 1))])
    last = STACKS - 1
    for j in range(SLICES):
        faces.append([(ring(last, j), tex(last, j)), (bottom, tex(STACKS, j)),
                      (ring(last, j + 1), tex(last, j + 1))])

    # Wind every face counter-clockwise seen from outside.
    for f in faces:
        a, b, c = (positions[k[0]] for k in f[:3])
        ab = [b[n] - a[n] for n in range(3)]
        ac = [c[n] - a[n] for n in range(3)]
        cross = (ab[1] * ac[2] - ab[2] * ac[1], ab[2] * ac[0] - ab[0] * ac[2],
                 ab[0] * ac[1] - ab[1] * ac[0])
        centre = [sum(positions[k[0]][n] for k in f) for n in range(3)]
        if sum(cross[n] * centre[n] for n in range(3)) < 0:
            f.reverse()
    return positions, texcoords, faces


def obj_text(positions, texcoords, faces):
    lines = ["# UV sphere of radius 1, %d faces, written by tools/make_sphere.py" % len(faces),
             "mtllib sphere.mtl", "o sphere"]
    lines += ["v %s %s %s" % tuple(num(c) for c in p) for p in positions]
    lines += ["vt %s %s" % (num(u), num(v)) for u, v in texcoords]
    lines += ["vn %s %s %s" % tuple(num(c) for c in p) for p in positions]
    lines += ["usemtl sphere", "s 1"]
    for f in faces:
        lines.append("f " + " ".join("%d/%d/%d" % (v + 1, t + 1, v + 1) for v, t in f))
    return "\n".join(lines) + "\n"


MTL_TEXT = """# Material of sphere.obj, written by tools/make_sphere.py
newmtl sphere
Ka 0.2 0.2 0.2
Kd 0.8 0.8 0.8
map_Kd sphere.png
"""


def png_bytes(width, height, pixel):
    """An 8-bit RGB PNG; pixel(x, y) gives (r, g, b), y from the top."""
    rows = b"".join(b"\x00" + bytes(c for x in range(width) for c in pixel(x, y))
                    for y in range(height))

    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))

    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(rows, 9)) + chunk(b"IEND", b""))


def texture_pixel(x, y):
    """A checker of 8 x 4 fields in two warm tones, lighter towards the top."""
    light = 200 - 3 * y
    if ((x // 8) + (y // 8)) % 2:
        return (light, light * 3 // 4, 60)
    return (90, light // 2, light)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "samples")
    positions, texcoords, faces = sphere()
    with open(os.path.join(out, "sphere.obj"), "w", newline="\n") as f:
        f.write(obj_text(positions, texcoords, faces))
    with open(os.path.join(out, "sphere.mtl"), "w", newline="\n") as f:
        f.write(MTL_TEXT)
    with open(os.path.join(out, "sphere.png"), "wb") as f:
        f.write(png_bytes(TEXTURE_W, TEXTURE_H, texture_pixel))
    print("sphere: %d vertices, %d texture coordinates, %d faces" %
          (len(positions), len(texcoords), len(faces)))


if __name__ == "__main__":
    main()
