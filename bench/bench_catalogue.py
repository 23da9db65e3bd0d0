#!/usr/bin/env python3
# Writes the benchmarks' catalogue: one project BENCH storing into STORE, with FOLDER as its
# only folder (all files, level 6), record by record from the file layout.
#   bench/bench_catalogue.py CATALOGUE-DIR STORE FOLDER
import os
import struct
import sys


def counted(text, capacity):
    b = text.encode()[:capacity]
    return bytes([len(b)]) + b + bytes(capacity - len(b))


catdir, store, folder = sys.argv[1:4]
project = struct.pack('<iB', 1, 1) + counted('BENCH', 50) + counted(store, 255) \
    + struct.pack('<dB', 0.0, 0)
folder_rec = struct.pack('<Bi', 1, 1) + counted(folder, 255) + counted('', 100) \
    + struct.pack('<BBd', 0, 6, 0.0)
assert len(project) == 321 and len(folder_rec) == 372
os.makedirs(catdir, exist_ok=True)
open(os.path.join(catdir, 'Rpoject.vrn'), 'wb').write(project)
open(os.path.join(catdir, 'Folder.vrn'), 'wb').write(folder_rec)
open(os.path.join(catdir, 'Log.vrn'), 'wb').close()
