#!/usr/bin/env python3
"""usage: version_resource.py FILE.dll

Prints the version resource of a PE file, one "key=value" per line: the
fixed file and product versions, the translation and every string of its
string tables. Exits 1 when the file has no version resource."""
import struct
import sys


def resource_root(pe):
    offset = struct.unpack_from("<I", pe, 0x3C)[0]
    if pe[offset:offset + 4] != b"PE\0\0":
        raise ValueError("not a PE file")
    sections, optional_size = struct.unpack_from("<2xH12xH", pe, offset + 4)
    optional = offset + 24
    magic = struct.unpack_from("<H", pe, optional)[0]
    directories = optional + (96 if magic == 0x10B else 112)
    rsrc_rva = struct.unpack_from("<I", pe, directories + 2 * 8)[0]
    table = optional + optional_size
    for i in range(sections):
        name, vsize, rva, rawsize, raw = struct.unpack_from("<8sIIII", pe, table + 40 * i)
        if rva <= rsrc_rva < rva + max(vsize, rawsize):
            return raw + rsrc_rva - rva, raw - rva
    raise ValueError("no resource section")


def version_blob(pe):
    root, rva_to_file = resource_root(pe)

    def entries(directory):
        named, ids = struct.unpack_from("<12xHH", pe, directory)
        for i in range(named + ids):
            ident, target = struct.unpack_from("<II", pe, directory + 16 + 8 * i)
            yield ident, target

    for ident, target in entries(root):
        if ident != 16:  # RT_VERSION
            continue
        level = root + (target & 0x7FFFFFFF)
        while True:  # the first name, then the first language
            _, target = next(entries(level))
            if not target & 0x80000000:
                break
            level = root + (target & 0x7FFFFFFF)
        rva, size = struct.unpack_from("<II", pe, root + target)
        return pe[rva + rva_to_file:rva + rva_to_file + size]
    raise ValueError("no version resource")


def nodes(blob, at, end, path, out):
    while at + 6 <= end:
        length, value_length, kind = struct.unpack_from("<HHH", blob, at)
        if length == 0:
            break
        key_end = at + 6
        while blob[key_end:key_end + 2] != b"\0\0":
            key_end += 2
        key = blob[at + 6:key_end].decode("utf-16-le")
        value_at = (key_end + 2 + 3) & ~3
        if key == "VS_VERSION_INFO":
            signature, _, fms, fls, pms, pls = struct.unpack_from("<6I", blob, value_at)
            if signature == 0xFEEF04BD:
                out.append("fixed-file=%d.%d.%d.%d" % (fms >> 16, fms & 0xFFFF, fls >> 16, fls & 0xFFFF))
                out.append("fixed-product=%d.%d.%d.%d" % (pms >> 16, pms & 0xFFFF, pls >> 16, pls & 0xFFFF))
            children = (value_at + value_length + 3) & ~3
        elif kind == 1 and path and path[-1] not in ("StringFileInfo", "VS_VERSION_INFO"):
            text = blob[value_at:value_at + 2 * value_length].decode("utf-16-le").rstrip("\0")
            out.append("%s=%s" % (key, text))
            children = at + length
        elif key == "Translation":
            language, codepage = struct.unpack_from("<HH", blob, value_at)
            out.append("translation=%04x %04x" % (language, codepage))
            children = at + length
        else:
            children = (value_at + value_length + 3) & ~3
            if key not in ("StringFileInfo", "VarFileInfo"):
                out.append("table=%s" % key)
        nodes(blob, children, at + length, path + [key], out)
        at = (at + length + 3) & ~3


def main():
    with open(sys.argv[1], "rb") as f:
        pe = f.read()
    try:
        blob = version_blob(pe)
    except (ValueError, StopIteration, struct.error) as e:
        print("no version resource: %s" % e)
        return 1
    out = []
    nodes(blob, 0, len(blob), [], out)
    print("\n".join(out))
    return 0


sys.exit(main())
