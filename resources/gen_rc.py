#!/usr/bin/env python3
"""Fills a resource-script template with texts from strings.txt.

Usage: gen_rc.py strings.txt VERSION template.rc.in output.rc

Every {{key}} in the template, where key is a string id (2410) or a text name
(menu.file), becomes that text as a quoted resource-script literal in code page 1252,
so menus and dialog templates carry no text of their own.
"""
import re
import sys

from gen_strings import parse_all, rc_literal

PLACEHOLDER = re.compile(r'\{\{([a-z0-9_.]+)\}\}')


def main():
    source, version, template, output = sys.argv[1:5]
    table, named = parse_all(source, version)
    with open(template, encoding='utf-8') as src:
        text = src.read()

    def replace(match):
        key = match.group(1)
        data = table.get(int(key)) if key.isdigit() else named.get(key)
        if data is None:
            sys.exit(f'{template}: no text {key!r} in {source}')
        return rc_literal(data)

    filled = PLACEHOLDER.sub(replace, text)
    # rc_literal yields the CP1252 bytes as latin-1 characters; write them back as bytes.
    with open(output, 'w', encoding='latin-1', newline='\r\n') as out:
        out.write('#pragma code_page(1252)\n')
        out.write(filled)


if __name__ == '__main__':
    main()
