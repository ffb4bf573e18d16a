#!/usr/bin/env python3
"""Writes the VBA project that the check workbook embeds (tallowby/bin/vbaProject.bin).

The project holds one document module, ThisWorkbook, without code. It is stored
the way the spreadsheet application stores a project in a macro workbook: a
compound file (version 3, 512-byte sectors) with the PROJECT and PROJECTwm
streams and the VBA storage (_VBA_PROJECT, dir and the module stream), dir and
the module source compressed. No performance caches are written, so the
application compiles the project from its source when it opens it.

Standard library only; the output is the same bytes on every run.

    python tools/make_vba_project.py [output path]
"""

import pathlib
import struct
import sys

CODE_PAGE = 1252
PROJECT_NAME = "VBAProject"
PROJECT_ID = "{6F1A3C5E-2B7D-4E90-8C41-D5A7B3E9F021}"
MODULE_NAME = "ThisWorkbook"
# The Excel Workbook object's class: ThisWorkbook is the workbook's document module.
WORKBOOK_CLASS = "{00020819-0000-0000-C000-000000000046}"
MODULE_SOURCE = (
    f'Attribute VB_Name = "{MODULE_NAME}"\r\n'
    f'Attribute VB_Base = "0{WORKBOOK_CLASS}"\r\n'
    "Attribute VB_GlobalNameSpace = False\r\n"
    "Attribute VB_Creatable = False\r\n"
    "Attribute VB_PredeclaredId = True\r\n"
    "Attribute VB_Exposed = True\r\n"
    "Attribute VB_TemplateDerived = False\r\n"
    "Attribute VB_Customizable = True\r\n"
)
# The host extender every project of the VBA editor lists.
VBE_EXTENDER = "&H00000001={3832D640-CF90-11CF-8E43-00A0C911005A};VBE;&H00000000"


def mbcs(text):
    return text.encode(f"cp{CODE_PAGE}")


# --- Compression of the dir stream and module source ---------------------------

CHUNK = 4096


def _copy_token_layout(position):
    """(bits of the offset, longest copy) for a token written `position` bytes
    into its chunk: the offset takes as many bits as the position needs, at least 4."""
    offset_bits = max((position - 1).bit_length(), 4)
    return offset_bits, (0xFFFF >> offset_bits) + 3


def _compress_chunk(chunk):
    out = bytearray()
    seen = {}  # three-byte prefix -> earlier positions with it, latest last
    pos = indexed = 0
    while pos < len(chunk):
        flag_at = len(out)
        out.append(0)
        for bit in range(8):
            if pos >= len(chunk):
                break
            offset_bits, longest = _copy_token_layout(pos)
            limit = min(longest, len(chunk) - pos)
            best_len, best_offset = 0, 0
            for start in reversed(seen.get(chunk[pos : pos + 3], ())):
                length = 3
                while length < limit and chunk[start + length] == chunk[pos + length]:
                    length += 1
                if length > best_len:
                    best_len, best_offset = length, pos - start
                    if length == limit:
                        break
            if best_len >= 3:
                token = ((best_offset - 1) << (16 - offset_bits)) | (best_len - 3)
                out += struct.pack("<H", token)
                out[flag_at] |= 1 << bit
                pos += best_len
            else:
                out.append(chunk[pos])
                pos += 1
            for i in range(indexed, min(pos, len(chunk) - 2)):
                seen.setdefault(chunk[i : i + 3], []).append(i)
            indexed = pos
    return bytes(out)


def compress(data):
    """The compressed container of `data`: a signature byte, then one chunk for
    every 4096 bytes, each kept raw when its compressed form would not fit a chunk."""
    out = bytearray(b"\x01")
    for start in range(0, len(data), CHUNK):
        chunk = data[start : start + CHUNK]
        packed = _compress_chunk(chunk)
        if len(packed) <= CHUNK:
            out += struct.pack("<H", 0xB000 | (len(packed) + 2 - 3)) + packed
        elif len(chunk) == CHUNK:
            out += struct.pack("<H", 0x3000 | (CHUNK + 2 - 3)) + chunk
        else:
            # A raw chunk always stands for 4096 bytes: a shorter last chunk
            # would come back with padding.
            raise ValueError("the last 4096-byte block does not compress and cannot be stored exactly")
    return bytes(out)


# --- Obfuscation of the protection fields of the PROJECT stream -----------------


def encrypt(data, seed=0x5A):
    """`data` obfuscated as the PROJECT stream's CMG, DPB and GC values keep it,
    as upper-case hex. The seed is fixed so that the output does not vary."""
    version = 2
    key = sum(mbcs(PROJECT_ID)) & 0xFF
    out = bytearray([seed, seed ^ version, seed ^ key])
    plain_last, enc_last, enc_before = key, seed ^ key, seed ^ version

    def put(byte):
        nonlocal plain_last, enc_last, enc_before
        enc = byte ^ ((enc_before + plain_last) & 0xFF)
        out.append(enc)
        plain_last, enc_last, enc_before = byte, enc, enc_last

    for _ in range((seed & 6) // 2):
        put(0)
    for byte in struct.pack("<I", len(data)) + bytes(data):
        put(byte)
    return out.hex().upper()


# --- The project's streams ------------------------------------------------------


def project_stream():
    lines = [
        f'ID="{PROJECT_ID}"',
        f"Document={MODULE_NAME}/&H00000000",
        f'Name="{PROJECT_NAME}"',
        'HelpContextID="0"',
        'VersionCompatible32="393222000"',
        f'CMG="{encrypt(bytes(4))}"',  # not protected
        f'DPB="{encrypt(bytes(1))}"',  # no password
        f'GC="{encrypt(bytes([0xFF]))}"',  # visible
        "",
        "[Host Extender Info]",
        VBE_EXTENDER,
        "",
    ]
    return mbcs("\r\n".join(lines) + "\r\n")


def project_wm_stream():
    """Module names in the code page and in UTF-16, each null-terminated."""
    return mbcs(MODULE_NAME) + b"\0" + MODULE_NAME.encode("utf-16-le") + b"\0\0" + b"\0\0"


def _record(record_id, payload):
    return struct.pack("<HI", record_id, len(payload)) + payload


def _text_records(record_id, unicode_id, text):
    """A text record in the code page followed by its UTF-16 twin."""
    return _record(record_id, mbcs(text)) + _record(unicode_id, text.encode("utf-16-le"))


def dir_stream():
    u32 = lambda value: struct.pack("<I", value)
    u16 = lambda value: struct.pack("<H", value)
    info = b"".join(
        [
            _record(0x0001, u32(1)),  # 32-bit Windows
            _record(0x0002, u32(0x0409)),
            _record(0x0014, u32(0x0409)),
            _record(0x0003, u16(CODE_PAGE)),
            _record(0x0004, mbcs(PROJECT_NAME)),
            _text_records(0x0005, 0x0040, ""),  # description
            _record(0x0006, b"") + _record(0x003D, b""),  # help file, twice in the code page
            _record(0x0007, u32(0)),  # help context
            _record(0x0008, u32(0)),  # library flags
            struct.pack("<HIIH", 0x0009, 4, 1, 0),  # project version 1.0
            _text_records(0x000C, 0x003C, ""),  # conditional compilation constants
        ]
    )
    module = b"".join(
        [
            _record(0x0019, mbcs(MODULE_NAME)),
            _record(0x0047, MODULE_NAME.encode("utf-16-le")),
            _text_records(0x001A, 0x0032, MODULE_NAME),  # stream name
            _text_records(0x001C, 0x0048, ""),  # description
            _record(0x0031, u32(0)),  # source right at the start of the stream
            _record(0x001E, u32(0)),
            _record(0x002C, u16(0xFFFF)),
            struct.pack("<HI", 0x0022, 0),  # document module
            struct.pack("<HI", 0x002B, 0),
        ]
    )
    modules = _record(0x000F, u16(1)) + _record(0x0013, u16(0xFFFF)) + module
    return info + modules + struct.pack("<HI", 0x0010, 0)


VBA_PROJECT_STREAM = struct.pack("<HHBH", 0x61CC, 0xFFFF, 0x00, 0x0001)


# --- The compound file ----------------------------------------------------------

SECTOR = 512
MINI_SECTOR = 64
MINI_CUTOFF = 4096
FREE, END, FAT_SECTOR, NO_ENTRY = 0xFFFFFFFF, 0xFFFFFFFE, 0xFFFFFFFD, 0xFFFFFFFF


class Entry:
    def __init__(self, name, kind, data=b"", children=()):
        self.name, self.kind, self.data, self.children = name, kind, data, list(children)
        self.left = self.right = self.child = NO_ENTRY
        self.black = True
        self.start, self.size = (0 if kind == 1 else END), 0


def _sort_key(entry):
    # Siblings are ordered by name length, then by the upper-cased names.
    return (len(entry.name), entry.name.upper())


def _link_siblings(entries):
    """Links sorted siblings as a balanced binary tree; returns its root. All
    levels but the deepest are full, so colouring the deepest level red (when
    there is more than one level) keeps every path's black count equal."""
    depth_of = {}

    def build(items, depth):
        if not items:
            return None
        mid = len(items) // 2
        node = items[mid]
        depth_of[id(node)] = depth
        left, right = build(items[:mid], depth + 1), build(items[mid + 1 :], depth + 1)
        node.left = left.index if left else NO_ENTRY
        node.right = right.index if right else NO_ENTRY
        return node

    root = build(sorted(entries, key=_sort_key), 0)
    deepest = max(depth_of.values())
    for node in entries:
        node.black = deepest == 0 or depth_of[id(node)] < deepest
    return root


def _chain(table, start, count):
    for i in range(count):
        table[start + i] = start + i + 1 if i + 1 < count else END


def compound_file(root):
    """The bytes of a version 3 compound file holding the storage tree `root`."""
    entries = []

    def number(entry):
        entry.index = len(entries)
        entries.append(entry)
        for child in entry.children:
            number(child)

    number(root)
    for entry in entries:
        if entry.children:
            entry.child = _link_siblings(entry.children).index

    # Streams under the cutoff live in the mini stream, the others in sectors.
    streams = [e for e in entries if e.kind == 2 and e.data]
    small = [e for e in streams if len(e.data) < MINI_CUTOFF]
    large = [e for e in streams if len(e.data) >= MINI_CUTOFF]
    mini_stream, mini_fat = bytearray(), []
    for entry in small:
        count = -(-len(entry.data) // MINI_SECTOR)
        entry.start, entry.size = len(mini_fat), len(entry.data)
        mini_fat += [0] * count
        _chain(mini_fat, entry.start, count)
        mini_stream += entry.data.ljust(count * MINI_SECTOR, b"\0")
    root.size = len(mini_stream)

    sectors = lambda size: -(-size // SECTOR)
    dir_count = sectors(len(entries) * 128)
    mini_fat_count = sectors(len(mini_fat) * 4)
    body = [dir_count, mini_fat_count, sectors(len(mini_stream))] + [sectors(len(e.data)) for e in large]
    fat_count = 1
    while fat_count * (SECTOR // 4) < fat_count + sum(body):
        fat_count += 1
    if fat_count > 109:
        raise ValueError("the file needs more FAT sectors than the header lists")
    fat = [FREE] * (fat_count * (SECTOR // 4))
    for i in range(fat_count):
        fat[i] = FAT_SECTOR
    starts, next_free = [], fat_count
    for count in body:
        starts.append(next_free if count else END)
        _chain(fat, next_free, count)
        next_free += count
    dir_start, mini_fat_start, mini_stream_start = starts[:3]
    root.start = mini_stream_start if mini_stream else END
    for entry, start in zip(large, starts[3:]):
        entry.start, entry.size = start, len(entry.data)

    header = b"".join(
        [
            bytes.fromhex("D0CF11E0A1B11AE1"),
            bytes(16),
            struct.pack("<HHHHH", 0x003E, 0x0003, 0xFFFE, 9, 6),
            bytes(6),
            struct.pack("<IIII", 0, fat_count, dir_start, 0),
            struct.pack("<IIIII", MINI_CUTOFF, mini_fat_start, mini_fat_count, END, 0),
            struct.pack("<109I", *(list(range(fat_count)) + [FREE] * (109 - fat_count))),
        ]
    )

    def pad(data):
        return bytes(data).ljust(sectors(len(data)) * SECTOR, b"\0")

    directory = bytearray()
    for entry in entries:
        name = entry.name.encode("utf-16-le") + b"\0\0"
        directory += name.ljust(64, b"\0") + struct.pack(
            "<HBBIII16sIQQIQ",
            len(name),
            entry.kind,
            1 if entry.black else 0,
            entry.left,
            entry.right,
            entry.child,
            bytes(16),
            0,
            0,
            0,
            entry.start,
            entry.size,
        )
    while len(directory) % SECTOR:
        directory += bytes(64) + struct.pack("<HBBIII16sIQQIQ", 0, 0, 0, NO_ENTRY, NO_ENTRY, NO_ENTRY, bytes(16), 0, 0, 0, 0, 0)

    mini_fat_bytes = struct.pack(f"<{len(mini_fat)}I", *mini_fat)
    mini_fat_bytes += struct.pack("<I", FREE) * ((sectors(len(mini_fat_bytes)) * SECTOR - len(mini_fat_bytes)) // 4)
    parts = [header, struct.pack(f"<{len(fat)}I", *fat), directory, mini_fat_bytes, pad(mini_stream)]
    parts += [pad(e.data) for e in large]
    return b"".join(parts)


def vba_project():
    """The bytes of the whole vbaProject.bin."""
    vba = Entry(
        "VBA",
        1,
        children=[
            Entry("_VBA_PROJECT", 2, VBA_PROJECT_STREAM),
            Entry("dir", 2, compress(dir_stream())),
            Entry(MODULE_NAME, 2, compress(mbcs(MODULE_SOURCE))),
        ],
    )
    root = Entry(
        "Root Entry",
        5,
        children=[
            Entry("PROJECT", 2, project_stream()),
            Entry("PROJECTwm", 2, project_wm_stream()),
            vba,
        ],
    )
    return compound_file(root)


def main(argv):
    default = pathlib.Path(__file__).resolve().parent.parent / "python" / "tallowby" / "bin" / "vbaProject.bin"
    target = pathlib.Path(argv[1]) if len(argv) > 1 else default
    target.parent.mkdir(parents=True, exist_ok=True)
    target.write_bytes(vba_project())
    print(target)


if __name__ == "__main__":
    main(sys.argv)
