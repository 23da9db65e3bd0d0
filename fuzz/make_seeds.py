#!/usr/bin/env python3
"""Writes the generated seed inputs of the fuzz corpora.

  fuzz/corpus/inflate/      raw Deflate streams (zlib): stored, fixed and dynamic blocks
  fuzz/corpus/zip_extract/  hostile archives, built record by record because zipfile refuses
                            to write most of them (a NUL in a name, overlapping entries,
                            a local header that disagrees with its central record); the
                            Zip64 one goes to fuzz/corpus/zip_directory/ as well

Run from anywhere: python3 fuzz/make_seeds.py. The output depends only on this script and
zlib, so running it again rewrites the same files; with --check it writes nothing and fails
when a committed seed differs (scripts/fuzz.sh checks this first).
"""
import os
import struct
import sys
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))

UNIX_MADE_BY = (3 << 8) | 30
DOS_TIME = (12 << 11) | (30 << 5)           # 12:30:00
DOS_DATE = ((2024 - 1980) << 9) | (5 << 5) | 17  # 2024-05-17


def raw_deflate(data, level=6, strategy=zlib.Z_DEFAULT_STRATEGY, mem_level=8):
    c = zlib.compressobj(level, zlib.DEFLATED, -15, mem_level, strategy)
    return c.compress(data) + c.flush()


def text(size, seed):
    words = [b"the ", b"archive ", b"backup ", b"of ", b"and ", b"folder ", b"restore ",
             b"file ", b"zip ", b"entry ", b"\n", b"store ", b"level ", b"mask ", b"*.doc "]
    out = bytearray()
    state = seed
    while len(out) < size:
        state = (state * 1103515245 + 12345) & 0x7FFFFFFF
        out += words[(state >> 8) % len(words)]
    return bytes(out[:size])


def local_header(name, method, crc, csize, usize, flags=0, extra=b"", version=20):
    return struct.pack("<IHHHHHIIIHH", 0x04034B50, version, flags, method, DOS_TIME, DOS_DATE,
                       crc, csize, usize, len(name), len(extra)) + name + extra


def central_header(name, method, crc, csize, usize, offset, flags=0, extra=b"",
                   external=0, made_by=20, version=20):
    return struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, made_by, version, flags, method,
                       DOS_TIME, DOS_DATE, crc, csize, usize, len(name), len(extra), 0, 0, 0,
                       external, offset) + name + extra


def end_record(count, size, offset):
    return struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, count, count, size, offset, 0)


class Entry:
    """One entry as the central directory will describe it."""

    def __init__(self, name, data, method=0, stored=None, external=0, made_by=20):
        self.name = name
        self.data = data
        self.method = method
        self.stored = data if stored is None else stored  # the bytes after the local header
        self.crc = zlib.crc32(data)
        self.external = external
        self.made_by = made_by
        self.offset = 0


def simple_zip(entries, local_override=None):
    """Entries one after the other; local_override(entry) may return different local fields."""
    body = bytearray()
    for e in entries:
        e.offset = len(body)
        fields = dict(name=e.name, method=e.method, crc=e.crc, csize=len(e.stored),
                      usize=len(e.data))
        if local_override:
            fields.update(local_override(e) or {})
        body += local_header(**fields) + e.stored
    central = b"".join(central_header(e.name, e.method, e.crc, len(e.stored), len(e.data),
                                      e.offset, external=e.external, made_by=e.made_by)
                       for e in entries)
    return bytes(body) + central + end_record(len(entries), len(central), len(body))


def dotdot_nul():
    # The name's first component is "..", NUL, which a check of whole components lets pass and
    # the file system reads as "..".
    return simple_zip([Entry(b"..\x00/existing.txt", b"written above the destination\n")])


def overlap():
    # Three local headers at distinct offsets; each entry's Deflate data quotes the following
    # local headers in stored blocks and ends in one shared block of 64 KiB of zeros, so every
    # entry decodes with a good CRC while all of them share the same bytes.
    kernel_plain = bytes(65536)
    kernel = raw_deflate(kernel_plain, 9)
    names = [b"bomb1.bin", b"bomb2.bin", b"bomb3.bin"]
    # Built from the last entry backwards: entry i's data = quote(LH[i+1]) + entry i+1's data.
    headers = [None] * len(names)
    datas = [None] * len(names)
    plains = [None] * len(names)
    following = kernel
    plain = kernel_plain
    for i in reversed(range(len(names))):
        crc = zlib.crc32(plain)
        headers[i] = local_header(names[i], 8, crc, len(following), len(plain))
        datas[i] = following
        plains[i] = plain
        if i > 0:
            quoted = headers[i]
            # A non-final stored block holding exactly the next local header.
            following = struct.pack("<BHH", 0, len(quoted), len(quoted) ^ 0xFFFF) + quoted + following
            plain = quoted + plain
    body = bytearray()
    offsets = []
    for i in range(len(names)):
        offsets.append(len(body))
        body += headers[i]
        if i + 1 < len(names):
            body += struct.pack("<BHH", 0, len(headers[i + 1]), len(headers[i + 1]) ^ 0xFFFF)
    body += kernel
    central = b"".join(central_header(names[i], 8, zlib.crc32(plains[i]), len(datas[i]),
                                      len(plains[i]), offsets[i]) for i in range(len(names)))
    return bytes(body) + central + end_record(len(names), len(central), len(body))


def header_mismatch():
    # "name.txt": the local header names another file; "crc.txt": the local header carries
    # another CRC and method; "size.txt": the local sizes differ from the central ones.
    entries = [Entry(b"name.txt", b"local name differs\n"),
               Entry(b"crc.txt", b"local crc differs\n"),
               Entry(b"size.txt", b"local sizes differ\n")]

    def override(e):
        if e.name == b"name.txt":
            return dict(name=b"nome.txt")
        if e.name == b"crc.txt":
            return dict(crc=e.crc ^ 0x5A5A5A5A, method=8)
        return dict(csize=len(e.stored) + 7, usize=len(e.data) + 7)
    return simple_zip(entries, override)


def symlinks():
    # Unix mode 0120777 in the high half of the external attributes: the data is the target.
    link = (0o120777 << 16)
    regular = (0o100644 << 16)
    return simple_zip([
        Entry(b"target.txt", b"the file the links point at\n", external=regular,
              made_by=UNIX_MADE_BY),
        Entry(b"inside", b"target.txt", external=link, made_by=UNIX_MADE_BY),
        Entry(b"outside", b"../../escape.txt", external=link, made_by=UNIX_MADE_BY),
        Entry(b"outside/through.txt", b"written through the link\n", external=regular,
              made_by=UNIX_MADE_BY),
    ])


def zip64():
    # One deflated entry whose sizes and offset sit in a Zip64 extra field (ID 0x0001), a Zip64
    # end of central directory record and its locator, and a classic end record saying "look
    # there" (0xFFFF counts, 0xFFFFFFFF size and offset).
    plain = text(3000, 64)
    packed = raw_deflate(plain)
    name = b"big.txt"
    crc = zlib.crc32(plain)
    local_extra = struct.pack("<HHQQ", 1, 16, len(plain), len(packed))
    body = local_header(name, 8, crc, 0xFFFFFFFF, 0xFFFFFFFF, extra=local_extra, version=45)
    body += packed
    central_extra = struct.pack("<HHQQQ", 1, 24, len(plain), len(packed), 0)
    central = central_header(name, 8, crc, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF,
                             extra=central_extra, made_by=UNIX_MADE_BY, version=45)
    zip64_end_offset = len(body) + len(central)
    zip64_end = struct.pack("<IQHHIIQQQQ", 0x06064B50, 44, UNIX_MADE_BY, 45, 0, 0, 1, 1,
                            len(central), len(body))
    locator = struct.pack("<IIQI", 0x07064B50, 0, zip64_end_offset, 1)
    end = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, 0xFFFF, 0xFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0)
    return body + central + zip64_end + locator + end


def noise(size, seed):
    out = bytearray()
    state = seed
    for _ in range(size):
        state = (state * 1103515245 + 12345) & 0x7FFFFFFF
        out.append((state >> 16) & 0xFF)
    return bytes(out)


def mixed_blocks(sample):
    # Dynamic, stored (incompressible noise), the empty stored blocks of full flushes, and a
    # fixed block at the end, in one stream.
    c = zlib.compressobj(9, zlib.DEFLATED, -15, 1)
    out = c.compress(sample[:1500]) + c.flush(zlib.Z_FULL_FLUSH)
    out += c.compress(noise(600, 3)) + c.flush(zlib.Z_FULL_FLUSH)
    out += c.compress(sample[1500:4000]) + c.flush(zlib.Z_FULL_FLUSH)
    # After a full flush the stream is byte-aligned and needs no history: a fresh stream with
    # fixed codes may follow.
    return out + raw_deflate(sample[4000:4200], 6, zlib.Z_FIXED)


def inflate_seeds():
    sample = text(5000, 7)
    return {
        "stored": raw_deflate(sample[:700], 0),
        "fixed": raw_deflate(sample[:900], 6, zlib.Z_FIXED),
        "dynamic": raw_deflate(sample, 9),
        "mixed": mixed_blocks(sample),
        "empty_fixed": b"\x03\x00",
    }


def write(folder, files, check, stale):
    path = os.path.join(HERE, "corpus", folder)
    for name, data in files.items():
        target = os.path.join(path, name)
        if check:
            try:
                with open(target, "rb") as f:
                    same = f.read() == data
            except OSError:
                same = False
            if not same:
                stale.append(os.path.relpath(target, os.path.dirname(HERE)))
            continue
        os.makedirs(path, exist_ok=True)
        with open(target, "wb") as f:
            f.write(data)


def main():
    # --check: write nothing, fail when a committed seed differs from what this script makes.
    check = sys.argv[1:] == ["--check"]
    stale = []
    write("inflate", inflate_seeds(), check, stale)
    write("zip_extract", {
        "hostile_dotdot_nul.zip": dotdot_nul(),
        "hostile_overlap.zip": overlap(),
        "hostile_header_mismatch.zip": header_mismatch(),
        "hostile_symlinks.zip": symlinks(),
        "hostile_zip64.zip": zip64(),
    }, check, stale)
    # The directory reader parses the Zip64 records too.
    write("zip_directory", {"hostile_zip64.zip": zip64()}, check, stale)
    if stale:
        print("seeds out of date (run python3 fuzz/make_seeds.py): " + " ".join(stale))
        sys.exit(1)


if __name__ == "__main__":
    main()
