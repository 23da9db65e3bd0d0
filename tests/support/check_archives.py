#!/usr/bin/env python3
"""Judges Varnholt archives with Python's zipfile: each line of the manifest names an archive
and its source file (tab-separated). Every archive must hold exactly one entry, named by the
source's bare file name, pass testzip() and unpack to the source's bytes. Exit status 1 on
any failure, with one line per problem."""
import os
import sys
import zipfile

failures = 0
with open(sys.argv[1], encoding="utf-8") as manifest:
    for line in manifest:
        archive, source = line.rstrip("\n").split("\t")
        try:
            with zipfile.ZipFile(archive) as z:
                names = z.namelist()
                if names != [os.path.basename(source)]:
                    raise ValueError("entries %r, expected %r" % (names, os.path.basename(source)))
                bad = z.testzip()
                if bad is not None:
                    raise ValueError("bad CRC in %s" % bad)
                with open(source, "rb") as f:
                    if z.read(names[0]) != f.read():
                        raise ValueError("content differs from the source")
        except Exception as e:  # report every archive, not only the first
            print("%s: %s" % (archive, e), file=sys.stderr)
            failures += 1
sys.exit(1 if failures else 0)
