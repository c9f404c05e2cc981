#!/usr/bin/env python3
"""Makes pe_high_low.efi from pe_reloc.efi: a second base-relocation block
for the page at RVA 0x800 (the `halves` array of pe_module.c), with one
entry each of type 1 (HIGH, the field at 0x800), type 2 (LOW, the field at
0x804), type 10 (DIR64, at 0x800) and type 0 (padding). The i386 linker
never writes types 1 and 2, so they are added by hand here."""
import struct
import sys

src, dst = sys.argv[1], sys.argv[2]
data = bytearray(open(src, "rb").read())
pe = struct.unpack_from("<I", data, 0x3C)[0]
sections = struct.unpack_from("<H", data, pe + 6)[0]
optional_size = struct.unpack_from("<H", data, pe + 20)[0]
table = pe + 24 + optional_size
for i in range(sections):
    header = table + 40 * i
    if data[header:header + 8].rstrip(b"\0") == b".reloc":
        size, _, _, pointer = struct.unpack_from("<IIII", data, header + 8)
        block = struct.pack("<IIHHHH", 0x800, 16, 0x1000, 0x2004, 0xA000, 0x0000)
        data[pointer + size:pointer + size + len(block)] = block
        struct.pack_into("<I", data, header + 8, size + len(block))
        struct.pack_into("<I", data, pe + 24 + 96 + 5 * 8 + 4, size + len(block))
        break
else:
    sys.exit("no .reloc section")
open(dst, "wb").write(data)
