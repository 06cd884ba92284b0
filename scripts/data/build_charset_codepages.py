#!/usr/bin/env python3
"""Derive charset-codepages.csv from iana-character-sets.csv and
windows-code-pages.csv (all three in this folder, scripts/data/).

    scripts/data/build_charset_codepages.py           # rewrite charset-codepages.csv
    scripts/data/build_charset_codepages.py --check   # exit 1 when it differs

scripts/gen-charset-table then makes mime/IdCharsetTable.cpp from the CSV.
Python 3 standard library only.

One output row per IANA name and alias, in registry order (a record's name,
then its aliases; an alias that repeats a name already listed for the same
record is dropped).  Each row gets the Windows code page that implements it,
or 0.  How a code page was found is written in the `match` column:

  direct      the name equals (ignoring case) a ".NET Name" in Microsoft's
              table; if several code pages carry that name (iso-2022-jp:
              50220/50222, euc-jp: 20932/51932) the first in table order wins.
  byteorder   UTF-16LE/UTF-16BE/UTF-32LE: Microsoft's table gives these code
              pages only under other names (utf-16, unicodeFFFE, utf-32) and
              states the byte order in the description column.
  number      the name is windows-N, cpN, msN, ibmN or ibm-N and N is an
              identifier in Microsoft's table (e.g. GBK's aliases CP936 /
              windows-936, IBM862, IBM1047, CP51932).
  record      no match of its own, but another name of the same IANA record
              matched; the record's code page is that of its preferred MIME
              name if that matched, else that of its first matching name.
  none        no Windows code page: 0.
"""
import argparse
import csv
import io
import os
import re
import sys

HERE = os.path.dirname(os.path.abspath(__file__))

BYTEORDER = {'utf-16le': 1200, 'utf-16be': 1201, 'utf-32le': 12000}
NUMBERED = re.compile(r'^(?:windows-|cp|ms|ibm-?)0*(\d+)$', re.I)


def read_csv(name):
    with open(os.path.join(HERE, name), newline='', encoding='utf-8') as f:
        return list(csv.DictReader(line for line in f if not line.startswith('#')))


def own_match(name, by_dotnet, identifiers):
    key = name.lower()
    if key in by_dotnet:
        return by_dotnet[key], 'direct'
    if key in BYTEORDER:
        return BYTEORDER[key], 'byteorder'
    m = NUMBERED.match(name)
    if m and int(m.group(1)) in identifiers:
        return int(m.group(1)), 'number'
    return 0, 'none'


def build():
    win = read_csv('windows-code-pages.csv')
    identifiers = {int(r['codepage']) for r in win}
    by_dotnet = {}
    for r in win:
        if r['dotnet_name']:
            by_dotnet.setdefault(r['dotnet_name'].lower(), int(r['codepage']))

    out = []
    for rec in read_csv('iana-character-sets.csv'):
        names = [rec['name']] + [a for a in rec['aliases'].split('|') if a]
        seen, uniq = set(), []
        for n in names:
            if n.lower() not in seen:
                seen.add(n.lower())
                uniq.append(n)
        pref = rec['preferred_mime'] or rec['name']
        own = {n: own_match(n, by_dotnet, identifiers) for n in uniq}
        matched = [n for n in uniq if own[n][0]]
        record_cp = 0
        if matched:
            first = next((n for n in matched if n.lower() == pref.lower()), matched[0])
            record_cp = own[first][0]
        for i, n in enumerate(uniq):
            cp, how = own[n]
            if not cp and record_cp:
                cp, how = record_cp, 'record'
            out.append({'name': n, 'codepage': cp, 'mib': rec['mib'],
                        'role': 'name' if i == 0 else 'alias',
                        'preferred_mime': int(n.lower() == rec['preferred_mime'].lower()),
                        'match': how})
    return out


def render(rows):
    f = io.StringIO(newline='')
    f.write('# derived by build_charset_codepages.py from iana-character-sets.csv '
            '(IANA Character Sets, updated 2022-07-14) and windows-code-pages.csv '
            '(Microsoft Learn "Code Page Identifiers"); see README.md\n')
    w = csv.DictWriter(f, fieldnames=list(rows[0]), lineterminator='\n')
    w.writeheader()
    w.writerows(rows)
    return f.getvalue()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument('--check', action='store_true',
                        help='compare with the committed CSV instead of writing it')
    args = parser.parse_args()

    rows = build()
    text = render(rows)
    path = os.path.join(HERE, 'charset-codepages.csv')
    counts = f'{len(rows)} names, {sum(1 for r in rows if r["codepage"])} with a code page'
    if args.check:
        with open(path, newline='', encoding='utf-8') as f:
            if f.read() != text:
                print('build_charset_codepages: charset-codepages.csv is out of date', file=sys.stderr)
                return 1
        print(f'build_charset_codepages: charset-codepages.csv is up to date ({counts})')
        return 0
    with open(path, 'w', newline='', encoding='utf-8') as f:
        f.write(text)
    print(counts)
    return 0

if __name__ == '__main__':
    sys.exit(main())
