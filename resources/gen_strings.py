#!/usr/bin/env python3
"""Turns strings.txt into the Win32 string table (CP1252), the POSIX lookup table and the
header of named text ids.

A line's key is either a number (a string-table entry) or a name such as about.notice:
named texts stay out of the string table and are only for the resource scripts, which
take them through gen_rc.py. A number may carry a name after a blank ("2423
text_not_found"); the code uses the id by that name (kTextNotFound), so the number is
written once. German twins (id + 1000) need none: LoadText adds the offset.
@VERSION@ in a text becomes the project's version.

Usage: gen_strings.py strings.txt VERSION strings.rc string_table.inc text_ids.h
"""
import re
import sys

from text_table import c_literal, constant_name, table_lines, unescape

ESCAPES = {'r': '\r', 'n': '\n', 't': '\t', '\\': '\\'}
NAME = re.compile(r'[a-z][a-z0-9_.]*$')
ID_NAME = re.compile(r'(text|caption)_[a-z0-9_]+$')


def parse_ids(path, version=''):
    """Returns (numbered texts, named texts, {id: name of the id}), texts as CP1252 bytes."""
    table, named, id_names = {}, {}, {}
    for where, ident, raw in table_lines(path):
        raw = raw.replace('@VERSION@', version)
        ident, _, id_name = ident.partition(' ')
        text = unescape(raw, where, ESCAPES)
        try:
            data = text.encode('cp1252')
        except UnicodeEncodeError:
            sys.exit(f'{where}: not representable in code page 1252')
        if ident.isdigit():
            key, target = int(ident), table
        elif NAME.match(ident):
            key, target = ident, named
        else:
            sys.exit(f'{where}: bad key {ident!r}')
        if key in target:
            sys.exit(f'{where}: {key} twice')
        target[key] = data
        if id_name:
            if target is not table or not ID_NAME.match(id_name):
                sys.exit(f'{where}: bad id name {id_name!r}')
            if id_name in id_names.values():
                sys.exit(f'{where}: id name {id_name} twice')
            id_names[key] = id_name
    return table, named, id_names


def parse_all(path, version=''):
    """Returns (numbered texts, named texts), both as CP1252 bytes."""
    return parse_ids(path, version)[:2]


def rc_literal(data):
    out = []
    for b in data:
        if b == 0x22:
            out.append('""')
        elif b == 0x0D:
            out.append('\\r')
        elif b == 0x0A:
            out.append('\\n')
        elif b == 0x09:
            out.append('\\t')
        elif b == 0x5C:
            out.append('\\\\')
        else:
            out.append(chr(b))  # latin-1 mapping keeps the CP1252 byte as it is
    return '"' + ''.join(out) + '"'


def main():
    source, version, rc_out, inc_out, ids_out = sys.argv[1:6]
    table, _, id_names = parse_ids(source, version)
    with open(rc_out, 'w', encoding='latin-1', newline='\r\n') as rc:
        rc.write('#pragma code_page(1252)\nSTRINGTABLE\nBEGIN\n')
        for key in sorted(table):
            rc.write(f'  {key}, {rc_literal(table[key])}\n')
        rc.write('END\n')
    with open(inc_out, 'w', encoding='ascii') as inc:
        inc.write('// Generated from resources/strings.txt; do not edit.\n')
        for key in sorted(table):
            inc.write(f'{{{key}, {c_literal(table[key])}}},\n')
    with open(ids_out, 'w', encoding='ascii') as ids:
        ids.write('// Generated from resources/strings.txt; do not edit.\n'
                  '// The ids of the string table by name; LoadText adds the language.\n'
                  '#pragma once\n\n')
        for key in sorted(id_names):
            ids.write(f'inline constexpr unsigned {constant_name(id_names[key])} = {key};\n')


if __name__ == '__main__':
    main()
