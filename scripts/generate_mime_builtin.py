#!/usr/bin/env python3
"""Generates mail/IdMimeTableBuiltIn.cpp, the built-in lines of the MIME type table.

The table has 384 lines in a fixed order (372 distinct extensions; for a repeated
extension the first line counts). Its order, its repeated extensions and the types
of the lines in FIXED_TYPES are part of the table's established behaviour: callers
and stored settings rely on them (".7z" gives application/x-7z-compressed, ".zip"
application/x-zip-compressed, ".png" image/x-png, ...), so they are written here
as they have always been, odd ones included. Every other line takes its type from
the public mime.types lists:

  1. PREFERRED, when the extension is listed there (a reviewed choice, see below);
  2. otherwise Debian's mime.types (package media-types), the primary source,
     then Apache httpd's mime.types: the first of the two whose top-level type
     matches the block the line sits in (audio lines first, then image, text,
     video, application, WAP and text), else the first that has one;
  3. otherwise NOT_IN_LISTS, for extensions neither list knows: the types
     commonly registered for them (Windows registry defaults, older web-server
     tables).

Types from the lists are lower-cased, as the table stores them anyway; only the
".mjf" line keeps its mixed-case type.

Usage:
  scripts/generate_mime_builtin.py [DATA_DIR] [--output mail/IdMimeTableBuiltIn.cpp]
  scripts/generate_mime_builtin.py [DATA_DIR] --check   # exit 1 if the file differs

DATA_DIR (default scripts/data/, see its README.md) holds debian-mime.types and
apache-mime.types, each starting with a "# source:" line that names its origin; those
lines are copied into the output. CTest runs the script with --check.
Only the Python standard library is used.
"""

import argparse
import pathlib
import sys
import textwrap

EXTENSIONS = """
.nml .aac .aif .aifc .aiff .au .gsm .kar .m3u .m4a .mid .midi .mpega .mp2 .mp3 .mpga
.m3u .pls .qcp .ra .ram .rm .sd2 .sid .snd .wav .wax .wma .mjf .art .bmp .cdr .cdt .cpt
.djv .djvu .gif .ief .ico .jng .jpg .jpeg .jpe .pat .pcx .pbm .pgm .pict .png .pnm .pntg
.ppm .psd .qtif .ras .rf .rgb .rp .sgi .svg .svgz .targa .tif .wbmp .webp .xbm .xbm .xpm
.xwd .323 .xml .uls .txt .rtx .wsc .rt .htt .htc .vcf .asf .asx .avi .dl .dv .flc .fli
.gl .lsf .lsx .mng .mp2 .mp3 .mp4 .mpeg .mpa .mpe .mpg .ogv .moov .mov .mxu .qt .qtc .rv
.ivf .webm .wm .wmp .wmv .wmx .wvx .rms .asx .movie .7z .a .aab .aam .aas .abw .ace .ai
.alz .ani .arj .asf .bat .bcpio .boz .bz .bz2 .cab .cat .ccn .cco .cdf .cer .chm .chrt
.cil .class .com .clp .cpio .cpt .cqk .crd .crl .csh .dar .dbf .dcr .deb .dir .dist
.distz .dll .dmg .doc .dot .dvi .dxr .ebk .eps .evy .exe .fdf .fif .flm .fml .gzip
.gnumeric .gtar .gz .hdf .hlp .hpf .hqx .hta .ims .ins .iii .iso .jar .karbon .kfo .kon
.kpr .kpt .kwd .kwt .latex .lha .lcc .lrm .lz .lzh .lzma .lzo .lzx .m13 .m14 .mpp .mvb
.man .mdb .me .ms .msi .mpkg .mny .nix .o .oda .odb .odc .odf .odg .odi .odm .odp .ods
.ogg .odt .otg .oth .otp .ots .ott .p10 .p12 .p7b .p7m .p7r .p7s .package .pfr .pkg .pdf
.pko .pl .pnq .pot .pps .ppt .ppz .ps .pub .qpw .qtl .rar .rdf .rjs .rm .rmf .rmp .rmx
.rnx .rpm .rsml .rtsp .rss .scm .ser .scd .sda .sdc .sdd .sdp .setpay .setreg .sh .shar
.shw .sit .sitx .skd .skm .skp .skt .smf .smi .smil .spl .ssm .sst .stc .std .sti .stl
.stw .svi .sv4cpio .sv4crc .swf .swf1 .sxc .sxi .sxm .sxw .sxg .t .tar .tcl .tex .texi
.texinfo .tbz .tbz2 .tgz .tlz .tr .trm .troff .tsp .torrent .ttz .txz .udeb .uin .urls
.ustar .vcd .vor .vsl .wcm .wb1 .wb2 .wb3 .wdb .wks .wmd .wms .wmz .wp5 .wpd .wpl .wps
.wri .xfdf .xls .xlb .xpi .xps .xsd .xul .z .zoo .zip .wbmp .wml .wmlc .wmls .wmlsc .asm
.p .pas .cs .c .c++ .cpp .cxx .cc .h .h++ .hpp .hxx .hh .java .css .js .htm .html .xhtml
.xht .rdf .rss .ls .mocha .shtml .xml .sgm .sgml .mht
""".split()

# Line number (1-based) -> type, for the lines whose type is fixed.
FIXED_TYPES = {
    1: "animation/narrative",
    9: "audio/mpegurl",
    14: "audio/x-mpg",
    15: "audio/x-mpg",
    17: "audio/x-mpegurl",
    22: "audio/x-pn-realaudio",
    34: "image/x-corelphotopaint",
    49: "image/x-png",
    60: "image/svg-xml",
    66: "image/xbm",
    67: "image/x-xbitmap",
    71: "text/xml",
    73: "text/plain",
    80: "video/x-ms-asf",
    81: "video/x-ms-asf",
    91: "video/mpeg",
    92: "video/mpeg",
    113: "video/x-ms-asf-plugin",
    115: "application/x-7z-compressed",
    126: "application/vnd.ms-asf",
    145: "application/mac-compactpro",
    155: "vnd.apple.installer+xml",
    156: "vnd.apple.installer+xml",
    166: "application/x-msdos-program",
    210: "vnd.apple.installer+xml",
    238: "vnd.apple.installer+xml",
    239: "application/pdf",
    254: "application/vnd.rn-realmedia",
    349: "application/x-zip-compressed",
    372: "text/html",
    373: "text/html",
    380: "server-parsed-html",
    381: "text/xml",
    384: "message/rfc822",
}

# Reviewed choices where the lists' first answer does not fit the line: another
# format shares the extension and the line's block or neighbours mean this one.
PREFERRED = {
    ".a": "application/x-archive",  # Debian: text/vnd.a (an unrelated text format)
    ".dl": "video/dl",  # Debian: a Datalog program; this is the video block
    ".mid": "audio/midi",  # Debian lists .mid only as Scalable Polyphony MIDI
    ".pub": "application/x-mspublisher",  # Apache's; among the Office formats
    ".rms": "video/vnd.rn-realvideo-secure",  # Debian: a Java ME store; video block
    ".sgi": "image/sgi",  # Apache's; Debian lists a SealedMedia wrapper first
    ".wsc": "text/scriptlet",  # Windows Script Component, in the text block
}

# Extensions that neither list knows: their commonly registered types.
NOT_IN_LISTS = {
    ".mjf": "audio/x-vnd.AudioExplosion.MjuiceMediaFile",
    ".pict": "image/x-pict",
    ".pntg": "image/x-macpaint",
    ".qtif": "image/x-quicktime",
    ".rf": "image/vnd.rn-realflash",
    ".rp": "image/vnd.rn-realpix",
    ".targa": "image/x-targa",
    ".323": "text/h323",
    ".uls": "text/iuls",
    ".rt": "text/vnd.rn-realtext",
    ".htt": "text/webviewhtml",
    ".flc": "video/flc",
    ".mpa": "video/mpeg",
    ".moov": "video/quicktime",
    ".qtc": "video/x-qtc",
    ".rv": "video/vnd.rn-realvideo",
    ".ivf": "video/x-ivf",
    ".wmp": "video/x-ms-wmp",
    ".alz": "application/x-alz-compressed",
    ".ani": "application/x-navi-animation",
    ".arj": "application/x-arj",
    ".ccn": "application/x-cnc",
    ".cco": "application/x-cocoa",
    ".cqk": "application/x-calquick",
    ".dar": "application/x-dar",
    ".ebk": "application/x-expandedbook",
    ".fif": "application/fractals",
    ".flm": "application/vnd.kde.kivio",
    ".fml": "application/x-file-mirror-list",
    ".gzip": "application/x-gzip",
    ".hpf": "application/x-icq-hpf",
    ".lcc": "application/fastman",
    ".lz": "application/x-lzip",
    ".lzma": "application/x-lzma",
    ".lzo": "application/x-lzop",
    ".nix": "application/x-mix-transfer",
    ".pko": "application/vnd.ms-pki.pko",
    ".pnq": "application/x-icq-pnq",
    ".ppz": "application/mspowerpoint",
    ".qpw": "application/x-quattropro",
    ".rjs": "application/vnd.rn-realsystem-rjs",
    ".rmf": "application/vnd.rmf",
    ".rmx": "application/vnd.rn-realsystem-rmx",
    ".rnx": "application/vnd.rn-realplayer",
    ".rsml": "application/vnd.rn-rsml",
    ".rtsp": "application/x-rtsp",
    ".shw": "application/presentations",
    ".ssm": "application/streamingmedia",
    ".sst": "application/vnd.ms-pki.certstore",
    ".svi": "application/softvision",
    ".swf1": "application/x-shockwave-flash",
    ".tbz": "application/x-bzip-compressed-tar",
    ".tbz2": "application/x-bzip-compressed-tar",
    ".tlz": "application/x-lzip-compressed-tar",
    ".troff": "application/x-troff",
    ".ttz": "application/t-time",
    ".txz": "application/x-xz-compressed-tar",
    ".uin": "application/x-icq",
    ".vsl": "application/x-cnet-vsl",
    ".wb1": "application/x-quattropro",
    ".wb2": "application/x-quattropro",
    ".wb3": "application/x-quattropro",
    ".wms": "application/x-ms-wms",
    ".wp5": "application/wordperfect5.1",
    ".xlb": "application/vnd.ms-excel",
    ".xsd": "application/xml",
    ".z": "application/x-compress",
    ".zoo": "application/x-zoo",
    ".cs": "text/x-csharp",
    ".ls": "text/javascript",
    ".mocha": "text/javascript",
}

# (first line, last line, top-level type of the block); lines outside any block
# (the WAP lines) have no preference.
BLOCKS = [
    (1, 29, "audio"),
    (30, 69, "image"),
    (70, 79, "text"),
    (80, 114, "video"),
    (115, 349, "application"),
    (355, 384, "text"),
]

EXPECTED_LINES = 384
EXPECTED_DISTINCT = 372


def read_mime_types(path):
    """Returns (source line, {extension without dot: type}); the first listing wins."""
    source = None
    table = {}
    with open(path, encoding="utf-8") as f:
        for line in f:
            if source is None and line.startswith("# source:"):
                source = line[len("# source:"):].strip()
                source = source.removesuffix("; copied unchanged below this line")
            words = line.split("#", 1)[0].split()
            for ext in words[1:]:
                table.setdefault(ext.lower(), words[0])
    if source is None:
        sys.exit(f"{path}: no '# source:' line")
    return source, table


def block_of(line_number):
    for first, last, top in BLOCKS:
        if first <= line_number <= last:
            return top
    return None


def choose_type(line_number, ext, debian, apache):
    if line_number in FIXED_TYPES:
        return FIXED_TYPES[line_number]
    if ext in PREFERRED:
        return PREFERRED[ext]
    key = ext[1:]
    candidates = [t.lower() for t in (debian.get(key), apache.get(key)) if t]
    if candidates:
        if ext in NOT_IN_LISTS:
            sys.exit(f"{ext} is listed now; drop it from NOT_IN_LISTS")
        top = block_of(line_number)
        for t in candidates:
            if t.split("/", 1)[0] == top:
                return t
        return candidates[0]
    if ext in NOT_IN_LISTS:
        return NOT_IN_LISTS[ext]
    sys.exit(f"line {line_number}: no type for {ext}")


def build_lines(debian, apache):
    lines = [(ext, choose_type(n, ext, debian, apache)) for n, ext in enumerate(EXTENSIONS, 1)]
    if len(lines) != EXPECTED_LINES or len({e for e, _ in lines}) != EXPECTED_DISTINCT:
        sys.exit("the extension list lost its shape")
    # Repeated extensions with the same type on both lines.
    for a, b in ((64, 350), (252, 376), (262, 377)):
        if lines[a - 1] != lines[b - 1]:
            sys.exit(f"lines {a} and {b} should repeat the same entry")
    for key in PREFERRED:
        if key not in EXTENSIONS:
            sys.exit(f"PREFERRED names {key}, which is not in the table")
    return lines


def cpp_string(text):
    if any(ord(c) < 32 or ord(c) > 126 or c in '"\\' for c in text):
        sys.exit(f"unexpected character in {text!r}")
    return f'u"{text}"'


def render(lines, sources):
    out = [
        "// Generated by scripts/generate_mime_builtin.py; do not edit by hand.",
        "// Types not fixed by the table's history come from these public lists:",
    ]
    for source in sources:
        wrapped = textwrap.wrap(source, 96)
        out += [f"//   {wrapped[0]}"] + [f"//     {w}" for w in wrapped[1:]]
    out += [
        "",
        '#include "mail/IdMimeTableBuiltIn.h"',
        "",
        "const TIdMimeBuiltInLine IdMimeBuiltInLines[] = {",
    ]
    for n, (ext, mime) in enumerate(lines, 1):
        out.append(f"    {{{cpp_string(ext)}, {cpp_string(mime)}}}, // {n}")
    out += [
        "};",
        "",
        "const std::size_t IdMimeBuiltInLineCount = sizeof(IdMimeBuiltInLines) / sizeof(IdMimeBuiltInLines[0]);",
        "",
    ]
    return "\n".join(out)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("data_dir", type=pathlib.Path, nargs="?",
                        default=pathlib.Path(__file__).resolve().parent / "data")
    parser.add_argument("--output", type=pathlib.Path,
                        default=pathlib.Path(__file__).resolve().parent.parent / "mail" / "IdMimeTableBuiltIn.cpp")
    parser.add_argument("--check", action="store_true", help="compare with the output file instead of writing it")
    args = parser.parse_args()

    debian_source, debian = read_mime_types(args.data_dir / "debian-mime.types")
    apache_source, apache = read_mime_types(args.data_dir / "apache-mime.types")
    text = render(build_lines(debian, apache), [debian_source, apache_source])

    if args.check:
        current = args.output.read_text(encoding="utf-8") if args.output.exists() else ""
        if current != text:
            print(f"{args.output} is out of date", file=sys.stderr)
            return 1
        print(f"{args.output} is up to date")
        return 0
    args.output.write_text(text, encoding="utf-8")
    print(f"wrote {args.output} ({EXPECTED_LINES} lines)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
