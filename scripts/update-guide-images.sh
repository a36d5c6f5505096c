#!/usr/bin/env bash
# Copies the screenshots of the last `make demo` into docs/images, the pictures of the user's
# guide, recompressed: update-guide-images.sh [build dir]
set -euo pipefail
here=$(dirname "$(realpath "$0")")
shots=$(realpath -m "${1:-build}")/demo/screenshots
images=$here/../docs/images
mkdir -p "$images"
for name in $(bash "$here/demo.sh" --list-screenshots); do
  [ -s "$shots/$name" ] || { echo "update-guide-images: $shots/$name is missing; run make demo first" >&2; exit 1; }
  python3 - "$shots/$name" "$images/$name" <<'PY'
import struct, sys, zlib
data = open(sys.argv[1], 'rb').read()
assert data[:8] == b'\x89PNG\r\n\x1a\n'
chunks, pos, idat = [], 8, b''
while pos < len(data):
    n, kind = struct.unpack('>I4s', data[pos:pos + 8])
    body = data[pos + 8:pos + 8 + n]
    pos += 12 + n
    if kind == b'IDAT':
        idat += body
    elif kind != b'IEND':
        chunks.append((kind, body))
def chunk(kind, body):
    return struct.pack('>I', len(body)) + kind + body + struct.pack('>I', zlib.crc32(kind + body) & 0xffffffff)
out = b'\x89PNG\r\n\x1a\n' + b''.join(chunk(k, b) for k, b in chunks)
out += chunk(b'IDAT', zlib.compress(zlib.decompress(idat), 9)) + chunk(b'IEND', b'')
open(sys.argv[2], 'wb').write(out)
PY
  echo "docs/images/$name"
done
