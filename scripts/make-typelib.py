#!/usr/bin/env python3
"""Compiles the module's type library (src/res/ZeltUtilUserPage.idl) into a type library file.

    python3 scripts/make-typelib.py <idl> <tlb>

The IDL holds one library that imports stdole2.tlb and declares coclasses whose interfaces
all come from stdole2 (IUnknown, IDispatch). The output refers to those interfaces in
stdole2, as a type library compiler does for imported types, instead of describing them
again: a library that describes IUnknown itself makes registration tools treat the standard
interface as its own. widl cannot import a coclass's interface, hence this compiler.

The file is the MSFT format that LoadTypeLib reads: a header, the offsets of the type infos,
a directory of 15 segments and the segments themselves.
"""
import re
import struct
import sys
import uuid

# The standard OLE library and the interfaces of it that a coclass may name.
STDOLE = ('stdole2.tlb', '00020430-0000-0000-C000-000000000046', 2, 0)
STDOLE_INTERFACES = {'IUnknown': '00000000-0000-0000-C000-000000000046',
                     'IDispatch': '00020400-0000-0000-C000-000000000046'}
TKIND_INTERFACE, TKIND_COCLASS = 3, 5
SYS_WIN32 = 1
IMPINFO_OFFSET_IS_GUID = 0x10000
IMPLTYPE_FLAGS = {'default': 1, 'source': 2, 'restricted': 4, 'defaultvtable': 8}
# Segment numbers in the directory; the file holds the segments in WRITE_ORDER.
(TYPEINFO, IMPORTINFO, IMPORTFILES, REFERENCES, GUIDHASH, GUID, NAMEHASH, NAME, STRING) = range(9)
WRITE_ORDER = [TYPEINFO, GUIDHASH, GUID, REFERENCES, IMPORTINFO, IMPORTFILES, NAMEHASH, NAME, STRING]


def fail(why):
    sys.exit('make-typelib: ' + why)


def attributes(text):
    return {name: value for name, value in re.findall(r'(\w+)\s*(?:\(\s*([^)]*?)\s*\))?', text)}


def unquote(text):
    return text.strip('"')


def name_hash(name, lcid):
    """The low word of LHashValOfNameSysA for a latin-based locale (ASCII names only)."""
    if (lcid & 0x3ff) not in (0x00, 0x09):
        fail('only English and neutral locales are supported')
    value = 0x0deadbee
    for c in name.encode('ascii'):
        c = c - 0x20 if 0x61 <= c <= 0x7a else c
        c = 0 if c == 0x2f else {0x57: 0x56, 0x59: 0x55}.get(c, c)
        value = (37 * value + c) & 0xffffffff
    return value % 65599 & 0xffff


def padded(data):
    return data + b'\x57' * (-len(data) % 4)


class Library:
    def __init__(self, lcid):
        self.lcid = lcid
        self.seg = {n: bytearray() for n in range(15)}
        self.seg[GUIDHASH] = bytearray(b'\xff' * 0x80)
        self.seg[NAMEHASH] = bytearray(b'\xff' * 0x200)
        self.names = self.name_chars = 0
        self.imports = 0
        self.imported = {}

    def alloc(self, n, data):
        offset = len(self.seg[n])
        self.seg[n] += data
        return offset

    def guid(self, text, hreftype):
        raw = uuid.UUID(text).bytes_le
        key = 0
        for short in struct.unpack('<8H', raw):
            key ^= short
        bucket = 4 * (key & 0x1f)
        head = struct.unpack_from('<i', self.seg[GUIDHASH], bucket)[0]
        offset = self.alloc(GUID, raw + struct.pack('<ii', hreftype, head))
        struct.pack_into('<i', self.seg[GUIDHASH], bucket, offset)
        return offset

    def name(self, text, hreftype=-1, flags=0):
        h = name_hash(text, self.lcid)
        bucket = 4 * (h & 0x7f)
        head = struct.unpack_from('<i', self.seg[NAMEHASH], bucket)[0]
        entry = struct.pack('<iiBBH', hreftype, head, len(text), flags, h) + padded(text.encode('ascii'))
        offset = self.alloc(NAME, entry)
        struct.pack_into('<i', self.seg[NAMEHASH], bucket, offset)
        self.names += 1
        self.name_chars += len(text)
        return offset

    def string(self, text):
        data = text.encode('ascii')
        return self.alloc(STRING, padded(struct.pack('<H', len(data)) + data + b'\x57' * (4 if len(data) < 3 else 0)))

    def stdole_interface(self, name):
        """The reference to interface `name` of stdole2: an import record, made once."""
        if name in self.imported:
            return self.imported[name]
        if not self.imported:
            library = self.guid(STDOLE[1], 2)
            encoded = padded(struct.pack('<H', len(STDOLE[0]) << 2 | 1) + STDOLE[0].encode('ascii'))
            self.alloc(IMPORTFILES, struct.pack('<iiHH', library, self.lcid, STDOLE[2], STDOLE[3]) + encoded)
        iid = self.guid(STDOLE_INTERFACES[name], 0)
        offset = self.alloc(IMPORTINFO, struct.pack('<iii', TKIND_INTERFACE << 24 | IMPINFO_OFFSET_IS_GUID |
                                                    self.imports, 0, iid))
        self.imports += 1
        struct.pack_into('<i', self.seg[GUID], iid + 16, offset + 1)  # the GUID's reference: the import
        self.imported[name] = offset + 1
        return offset + 1

    def dispatch(self):
        return self.imported.get('IDispatch', -1)  # the header's reference to IDispatch


def compile_idl(text):
    text = re.sub(r'//[^\n]*|/\*.*?\*/', '', text, flags=re.S)
    lib = re.search(r'\[([^\]]*)\]\s*library\s+(\w+)\s*\{(.*)\}', text, re.S)
    if not lib:
        fail('no library')
    attrs, lib_name, body = attributes(lib.group(1)), lib.group(2), lib.group(3)
    if re.findall(r'importlib\s*\(\s*"([^"]*)"\s*\)', body) != [STDOLE[0]]:
        fail('the library must import stdole2.tlb and nothing else')
    lcid = int(attrs.get('lcid', '0'), 0)
    major, minor = (int(part) for part in attrs.get('version', '0.0').split('.'))
    t = Library(lcid)
    helpstring = t.string(unquote(attrs['helpstring'])) if 'helpstring' in attrs else -1
    libid = t.guid(attrs['uuid'], -2)
    lib_name_offset = t.name(lib_name)

    typeinfos = []
    for cattrs, cname, cbody in re.findall(r'\[([^\]]*)\]\s*coclass\s+(\w+)\s*\{([^}]*)\}', body):
        cattrs = attributes(cattrs)
        index = len(typeinfos)
        refs = re.findall(r'(?:\[([^\]]*)\])?\s*interface\s+(\w+)\s*;', cbody)
        name = t.name(cname, 0x64 * index, 0x38)
        doc = t.string(unquote(cattrs['helpstring'])) if 'helpstring' in cattrs else -1
        clsid = t.guid(cattrs['uuid'], 0x64 * index)
        first = len(t.seg[REFERENCES])
        bits = [sum(IMPLTYPE_FLAGS[f.strip()] for f in flags.split(',') if f.strip()) for flags, _ in refs]
        if refs and not any(b & 1 for b in bits):
            bits[0] |= 1  # without a [default] interface the first one is the default
        for i, (_, iface) in enumerate(refs):
            if iface not in STDOLE_INTERFACES:
                fail('%s: %s is not an interface of stdole2' % (cname, iface))
            nxt = first + 16 * (i + 1) if i + 1 < len(refs) else -1
            t.alloc(REFERENCES, struct.pack('<iiii', t.stdole_interface(iface), bits[i], -1, nxt))
        typeinfos.append([index << 16 | 0x2200 | 0x20 | TKIND_COCLASS, 0, 0, -1, 3, 0, 0, 0, 0, 0, 0, clsid, 2,
                          name, 0, doc, 0, 0, -1, len(refs), 0, 4, first, 0, 0, -1])
    if not typeinfos:
        fail('no coclass')

    t.seg[TYPEINFO] = bytearray(0x64 * len(typeinfos))
    directory, position = [-1] * 15, 0x54 + 4 * len(typeinfos) + 15 * 16
    for n in WRITE_ORDER:
        if t.seg[n]:
            directory[n] = position
            position += len(t.seg[n])
    for i, info in enumerate(typeinfos):
        info[1] = position  # no functions or variables: their data would start at the end
        struct.pack_into('<iiiiiiiiiiiiiiiiiiiHHiiiii', t.seg[TYPEINFO], 0x64 * i, *info)

    out = struct.pack('<21i', 0x5446534d, 0x00010002, libid, lcid, lcid, 0x40 | SYS_WIN32, major | minor << 16, 0,
                      len(typeinfos), helpstring, 0, 0, t.names, t.name_chars, lib_name_offset, -1, -1, 0x20, 0x80,
                      t.dispatch(), t.imports)
    out += struct.pack('<%di' % len(typeinfos), *(0x64 * i for i in range(len(typeinfos))))
    out += b''.join(struct.pack('<iiii', directory[n], len(t.seg[n]), -1, 0x0f) for n in range(15))
    out += b''.join(bytes(t.seg[n]) for n in WRITE_ORDER)
    return out


if __name__ == '__main__':
    if len(sys.argv) != 3:
        fail('usage: make-typelib.py <idl> <tlb>')
    with open(sys.argv[1], encoding='ascii') as source:
        data = compile_idl(source.read())
    with open(sys.argv[2], 'wb') as target:
        target.write(data)
