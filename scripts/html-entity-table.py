#!/usr/bin/env python3
"""Writes src/search/HtmlEntityTable.inc: the HTML standard's named character
references (Python's html.entities.html5 holds the standard's list), sorted by
name for a binary search. Run it from the top of the source tree."""
import html.entities


def c_string(text):
    return '"' + ''.join('\\x%02X' % b for b in text.encode('utf-8')) + '"'


rows = sorted(html.entities.html5.items(), key=lambda item: item[0].encode('ascii'))
with open('src/search/HtmlEntityTable.inc', 'w', encoding='ascii') as out:
    out.write('// The HTML standard\'s named character references, sorted by name: the\n'
              '// name (with its ";" where the standard has one) and its text as UTF-8.\n'
              '// Written by scripts/html-entity-table.py; do not edit.\n')
    for name, text in rows:
        out.write('{"%s", %s},\n' % (name, c_string(text)))
