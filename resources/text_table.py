"""What the text generators share: the table files' lines ("<key><TAB><text>", UTF-8,
blank lines and # comments skipped), their backslash escapes, and C literals."""
import sys


def unescape(raw, where, escapes):
    """The text of a table line with its backslash escapes resolved."""
    text, i = [], 0
    while i < len(raw):
        ch = raw[i]
        if ch == '\\':
            i += 1
            if i >= len(raw) or raw[i] not in escapes:
                sys.exit(f'{where}: bad escape')
            ch = escapes[raw[i]]
        text.append(ch)
        i += 1
    return ''.join(text)


def table_lines(path):
    """Yields (where, key, raw text) for each entry of a table file."""
    with open(path, encoding='utf-8') as src:
        for number, line in enumerate(src, 1):
            line = line.rstrip('\n')
            if not line or line.startswith('#'):
                continue
            where = f'{path}:{number}'
            key, sep, raw = line.partition('\t')
            if not sep:
                sys.exit(f'{where}: expected "<key><TAB><text>"')
            yield where, key, raw


def constant_name(name):
    """text_not_found -> kTextNotFound."""
    return 'k' + ''.join(part.capitalize() for part in name.split('_'))


def c_literal(data):
    """A C string literal of the bytes; octal escapes keep following digits out of the
    escape, and an escaped '?' keeps trigraphs out."""
    out = []
    for b in data:
        if b in (0x22, 0x5C, 0x3F) or b < 0x20 or b >= 0x7F:
            out.append('\\%03o' % b)
        else:
            out.append(chr(b))
    return '"' + ''.join(out) + '"'
