#!/bin/sh
# Small seed files of the formats read through libheif, libwebp and libtiff, made with the
# formats' own tools where they are installed (a missing tool leaves its folder empty).
# Usage: make-seeds.sh FOLDER
set -u
out=$1
mkdir -p "$out/heif" "$out/webp" "$out/tiff"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# A 24 x 16 picture of gradients, and a copy with an alpha ramp.
python3 - "$work" <<'PY'
import struct, sys, zlib
work = sys.argv[1]
w, h = 24, 16
def png(path, alpha):
    rows = b""
    for y in range(h):
        rows += b"\0" + b"".join(bytes([x * 10, y * 15, 128] + ([x * 10 + y] if alpha else []))
                                 for x in range(w))
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    head = struct.pack(">IIBBBBB", w, h, 8, 6 if alpha else 2, 0, 0, 0)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", head) + chunk(b"IDAT", zlib.compress(rows))
                + chunk(b"IEND", b""))
png(work + "/rgb.png", False)
png(work + "/rgba.png", True)
# Uncompressed TIFFs: RGB, and grey with the orientation tag.
def tiff(path, samples, photometric, orientation):
    data = bytes((x * 10 + y * samples) % 256 for y in range(h) for x in range(w * samples))
    entries = [(256, 3, 1, w), (257, 3, 1, h), (258, 3, 1, 8), (259, 3, 1, 1),
               (262, 3, 1, photometric), (273, 4, 1, 0), (274, 3, 1, orientation),
               (277, 3, 1, samples), (278, 3, 1, h), (279, 4, 1, len(data))]
    ifd = 8 + len(data)
    out = b"II*\0" + struct.pack("<I", ifd) + data + struct.pack("<H", len(entries))
    for tag, kind, count, value in entries:
        if tag == 273:
            value = 8
        out += struct.pack("<HHI", tag, kind, count) + (struct.pack("<HH", value, 0) if kind == 3
                                                        else struct.pack("<I", value))
    open(path, "wb").write(out + b"\0\0\0\0")
tiff(sys.argv[1] + "/rgb.tif", 3, 2, 1)
tiff(sys.argv[1] + "/grey.tif", 1, 1, 6)
PY
cp "$work"/*.tif "$out/tiff/" 2>/dev/null
if command -v cwebp >/dev/null; then
    cwebp -quiet -q 50 "$work/rgb.png" -o "$out/webp/lossy.webp"
    cwebp -quiet -lossless "$work/rgba.png" -o "$out/webp/lossless.webp"
    cwebp -quiet -q 50 "$work/rgba.png" -o "$out/webp/alpha.webp"
    command -v img2webp >/dev/null &&
        img2webp -lossy "$work/rgb.png" "$work/rgba.png" -o "$out/webp/animated.webp" >/dev/null 2>&1
fi
if command -v heif-enc >/dev/null; then
    heif-enc -q 30 "$work/rgb.png" -o "$out/heif/rgb.heic" >/dev/null 2>&1
    heif-enc -q 30 "$work/rgba.png" -o "$out/heif/alpha.heic" >/dev/null 2>&1
fi
command -v avifenc >/dev/null && avifenc -s 10 "$work/rgba.png" "$out/heif/alpha.avif" >/dev/null 2>&1
exit 0
