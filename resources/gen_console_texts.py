#!/usr/bin/env python3
"""Turns the console's text tables (one per language, "<name><TAB><text>", UTF-8) into
console_texts.h: an enumeration of the names and one array of texts per language.

Both tables must name the same texts, and a text's printf conversions must be the same in
both, or a German run would pass its arguments to the wrong conversions. A table heading
is one text with its columns split by tabs; both languages give it the same columns.

Usage: gen_console_texts.py console.en.txt console.de.txt console_texts.h
"""
import re
import sys

from text_table import c_literal, constant_name, table_lines, unescape

ESCAPES = {'n': '\n', 't': '\t', '\\': '\\'}
NAME = re.compile(r'[a-z][a-z0-9_]*$')
CONVERSION = re.compile(r'%(?:%|[-+ #0]*[0-9*]*(?:\.[0-9*]+)?(?:hh|h|ll|l|z)?[diouxXeEfgGcsp])')


def parse(path):
    texts = {}
    for where, name, raw in table_lines(path):
        if not NAME.match(name):
            sys.exit(f'{where}: bad name {name!r}')
        if name in texts:
            sys.exit(f'{where}: {name} twice')
        texts[name] = unescape(raw, where, ESCAPES)
    return texts


def conversions(text):
    return [c for c in CONVERSION.findall(text) if c != '%%']


def main():
    english_path, german_path, output = sys.argv[1:4]
    english, german = parse(english_path), parse(german_path)
    if english.keys() != german.keys():
        missing = sorted(english.keys() ^ german.keys())
        sys.exit(f'{german_path}: not the same texts as {english_path}: {missing}')
    for name, text in english.items():
        if conversions(text) != conversions(german[name]):
            sys.exit(f'{german_path}: {name}: other conversions than in English')
        if text.count('\t') != german[name].count('\t'):
            sys.exit(f'{german_path}: {name}: other columns than in English')
    names = list(english)
    with open(output, 'w', encoding='ascii') as out:
        out.write('// Generated from resources/console.en.txt and console.de.txt; do not edit.\n'
                  '#pragma once\n\n'
                  '// The console\'s own texts, UTF-8.\n'
                  'enum class Cli : unsigned {\n')
        for name in names:
            out.write(f'    {constant_name(name)},\n')
        out.write('};\n\n')
        for array, table in (('kCliEnglish', english), ('kCliGerman', german)):
            out.write(f'inline constexpr const char* {array}[] = {{\n')
            for name in names:
                out.write(f'    {c_literal(table[name].encode("utf-8"))},\n')
            out.write('};\n')
        out.write(f'inline constexpr unsigned kCliTextCount = {len(names)};\n')


if __name__ == '__main__':
    main()
