#!/usr/bin/python3
"""Writes files/formats/gcUf2Families.inc from the UF2 family list (JSON).

Usage: scripts/uf2-families.py ../shared/data/uf2families.json
The table is committed, so that a build needs neither the list nor a JSON
reader; run this again when the list changes.
"""
import json
import os
import sys

families = json.load(open(sys.argv[1]))
rows = sorted((int(f['id'], 16), f['short_name'], f['description'])
              for f in families)
out = os.path.join(os.path.dirname(__file__), '..', 'files', 'formats',
                   'gcUf2Families.inc')
with open(out, 'w') as f:
    f.write('// Made by scripts/uf2-families.py from the UF2 family list; '
            'ordered by ID.\n// clang-format off\n')
    for i, name, desc in rows:
        f.write('{0x%08X, "%s", "%s"},\n' % (i, name, desc.replace('"', "'")))
    f.write('// clang-format on\n')
