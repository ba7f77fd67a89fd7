#!/usr/bin/env python3
"""Seeds the corpora of the harnesses over the stores and the tools' inputs
from the tests' data and real inputs: the demo catalogue, stores the builder
writes, the proof it writes. Run once before minimising (make fuzz-merge);
the minimised corpora are what the repository keeps.
    fuzz/seed-corpora.py BUILD    (BUILD holds bin/textfind-build)
"""
import os
import struct
import subprocess
import sys
import tempfile

here = os.path.dirname(os.path.abspath(__file__))
build = os.path.abspath(sys.argv[1])
demo = os.path.join(here, "..", "tools", "demo")
KEY = bytes([0x3B, 0x9E, 0x07, 0xD4, 0x61, 0xA8, 0x52, 0xCF])


def put(harness, name, data):
    folder = os.path.join(here, "corpus", harness)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def scramble(text):
    return bytes(b ^ KEY[i % 8] for i, b in enumerate(text))


def demo_lines():
    with open(os.path.join(demo, "catalogue.tsv"), "rb") as f:
        return f.read().splitlines(keepends=True)


def chunks(lines, size=1500):
    chunk = b""
    for line in lines:
        if len(chunk) + len(line) > size:
            yield chunk
            chunk = b""
        chunk += line
    if chunk:
        yield chunk


def csv_field(value, delimiter):
    if any(c in value for c in (b'"', b"\r", b"\n", delimiter)):
        return b'"' + value.replace(b'"', b'""') + b'"'
    return value


def catalogues():
    lines = demo_lines()
    # Options: plain, to CP1252, with replacement, --max-text 60, small blocks.
    for i, chunk in enumerate(chunks(lines)):
        options = [0x00, 0x01, 0x03, 0x04, 0x40, 0xC0][i % 6]
        put("catalogue_tsv", "demo-%02d" % i, bytes([options, 60]) + chunk)
    rows = [
        b"1\tEE\tok\nno tabs here\n", b"1\tEE\tok\n\n# x\n12a\tEE\tx\n", b"+5\tEE\tx\n",
        b"2147483648\tEE\tx\n", b"-2147483649\tEE\tx\n", b"0000000000001\tEE\tx\n",
        b"5\tEE\tx\n6\tEE\ty\n5\tMM\tz\n", b"5\tABC\tx\n", b"5\tEE\tx\0y\n",
        b"\xef\xbb\xbf1\tRO\tIl nome della rosa\n", b"1\tRO\tCitt\xe0 di mare\r\n",
        b"1\tRO\tneve \xe2\x98\x83 oggi\n2\tRO\tbuono\n", b"1,RO,casa\n",
    ]
    for i, row in enumerate(rows):
        put("catalogue_tsv", "row-%02d" % i, bytes([i % 4, 4]) + row)
    # CSV: each delimiter, a header, quoting, both line ends.
    records = [(int(l.split(b"\t")[0]), l.split(b"\t")[1], l.split(b"\t", 2)[2].rstrip(b"\n"))
               for l in lines if l[:1].isdigit()][:40]
    for d, delimiter in enumerate([b",", b";", b"\t", b"|"]):
        text = b"number,code,text\r\n" if d % 2 else b""
        for n, code, body in records[d * 10:(d + 1) * 10]:
            text += delimiter.join(csv_field(v, delimiter)
                                   for v in (str(n).encode(), code, body)) + b"\n"
        put("catalogue_csv", "demo-%d" % d, bytes([(d << 4) | (8 if d % 2 else 0), 0x07]) + text)
    csv_rows = [
        b"1,EE,casa\r\n2,MM,mare\n3,,\n",
        b'7,EE,"a, b"\n8,MM,"say ""hi"""\n9,AB,"two\r\nlines\nhere"\n10,"",""',
        b"number,code,text\n\n5,EE,x\n\n", b'1;RO;"Il nome"\n', b'1,RO,"prima riga\nseconda riga"\n',
        b'1,EE,"never closed\n', b'1,EE,"x"y\n', b"1,EE,a\"b\n",
    ]
    for i, row in enumerate(csv_rows):
        put("catalogue_csv", "row-%02d" % i, bytes([i & 1, 0x02]) + row)


def encodings():
    words = [b"citt\xc3\xa0 perch\xc3\xa9 \xe2\x82\xac 5", b"neve \xe2\x98\x83", b"\xf0\x9f\x98\x80",
             b"Citt\xe0 \x80 \x81", b"\xc0\xaf \xed\xa0\x80", b"plain ascii\r\n"]
    for i, w in enumerate(words):
        put("encoding", "utf8-%d" % i, b"\x00" + w)
        put("encoding", "cp1252-%d" % i, b"\x01" + w)


def postings_item(postings):
    return b"".join(struct.pack("<i2sxx", r, c) for r, c in postings)


def postings():
    codes = [b"RO", b"PO", b"EE", b"MM", b"mM", b"eE", b"E\0", b"\0\0"]
    item = postings_item([(n, codes[n % len(codes)]) for n in range(1, 40)])
    for i, selector in enumerate([b"**", b"**EE;MM", b"RO", b"mMEE", b"EE;MM", b"", b"MM"]):
        put("postings", "selector-%d" % i, selector + b"\0" + item[: 8 * (5 + 5 * i)] + b"\x01\x02")
    put("postings", "descending", b"**\0" + postings_item([(9, b"RO"), (3, b"RO"), (-1, b"PO")]))


def scrambled():
    for i, line in enumerate(demo_lines()[10:14]):
        put("unscramble", "demo-%d" % i, scramble(line.split(b"\t", 2)[2]))


def checker_items():
    lines = [l for l in demo_lines() if l[:1].isdigit()][:12]
    data = b""
    for l in lines:
        n, _, text = l.rstrip(b"\n").split(b"\t", 2)
        data += b"\x00" + bytes([4]) + struct.pack("<i", int(n)) + struct.pack("<H", len(text))
        data += scramble(text)
    data += b"\x00" + bytes([12]) + b"longest-text" + struct.pack("<H", 4) + struct.pack("<I", 140)
    for word, numbers in [(b"CASA", [1, 2, 3]), (b"mare", [2, 2, 99]), (b"IL", [4]), (b"A B", [5])]:
        item = postings_item([(n, b"RO") for n in numbers]) + b"\x07"
        data += b"\x01" + bytes([len(word)]) + word + struct.pack("<H", len(item)) + item
    put("checker_items", "demo", data)


def json_programs():
    put("json", "object", b"\x07\x03\x04name\x04\x06Napoli\x05count\x02\x00\x00\x00\x00\x00\x00\x00\xfb"
        b"\x03bad\x05\x02\xe9\xff")
    put("json", "array", b"\x06\x04\x00\x01\x01\x03\xff\xff\xff\xff\xff\xff\xff\xff\x04\x03\xc3\xa0\n")


def packed(data):
    """The exports harness's packing: 0xFE and a 2-byte count for a run of zeros."""
    out, i = bytearray(), 0
    while i < len(data):
        run = 0
        while i + run < len(data) and data[i + run] == 0 and run < 65535:
            run += 1
        if run >= 4:
            out += b"\xfe" + struct.pack("<H", run)
            i += run
        elif data[i] == 0xFE:
            out += b"\xfe\x00\x00"
            i += 1
        else:
            out.append(data[i])
            i += 1
    return bytes(out)


def stores():
    catalogues = {
        "four": b"1\tRO\tcasa rossa\n2\tEE\tcasa al mare\n3\tmM\tmare\n4\tPO\tla casa sul mare di Napoli\n",
        "demo": b"".join([l for l in demo_lines() if l[:1].isdigit()][:30]),
        "long": b"1\tRO\tcasa " + b"mare " * 900 + b"\n2\tPO\tcasa\n",
    }
    for name, catalogue in catalogues.items():
        with tempfile.TemporaryDirectory() as folder:
            with open(os.path.join(folder, "c.tsv"), "wb") as f:
                f.write(catalogue)
            subprocess.run([os.path.join(build, "bin", "textfind-build"), "c.tsv", "."],
                           cwd=folder, check=True, stdout=subprocess.DEVNULL)
            files = {}
            for store in ("opere.idb", "opere.ddb", "opere.sum"):
                with open(os.path.join(folder, store), "rb") as f:
                    files[store] = f.read()
        longest = struct.unpack("<I", files["opere.sum"][68:72])[0]
        for flags in (0, 1, 2, 5):
            head = bytes([flags]) + struct.pack("<II", len(files["opere.idb"]), longest)
            put("exports", "%s-%d" % (name, flags), head + packed(files["opere.idb"] + files["opere.ddb"]))


def proofs():
    put("proof", "intact", b"\x00")
    put("proof", "resealed", b"\x01")
    put("proof", "absent", b"\x02")
    put("proof", "cut", b"\x04" + bytes(60))
    put("proof", "longest-text", b"\x01" + bytes(68) + b"\x10")
    put("proof", "other-index", b"\x01" + bytes(8) + b"\x01")
    put("proof", "other-records", b"\x01" + bytes(48) + b"\x01")
    put("proof", "index-length", b"\x01" + bytes(32) + b"\x01")
    put("proof", "reserved", b"\x01" + bytes(28) + b"\x01")


catalogues()
encodings()
postings()
scrambled()
checker_items()
json_programs()
stores()
proofs()
