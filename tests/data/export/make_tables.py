#!/usr/bin/python3
# Writes the tables whose CSV export is kept in golden/: small dBASE III
# files laid out byte by byte here, so that every code page, number, date,
# logic value, deleted record and awkward text is exactly what the test
# reads. Run it from this folder with /usr/bin/python3; the header date is
# fixed, so the files come out the same every time.
import struct


def table(filename, codepage, fields, records):
    """fields: (name, type, width, decimals); records: (deleted, [bytes...])."""
    reclen = 1 + sum(f[2] for f in fields)
    headerlen = 32 + 32 * len(fields) + 1
    out = bytearray(struct.pack('<BBBBIHH', 0x03, 124, 1, 31, len(records), headerlen, reclen))
    out += bytes(17) + bytes([codepage]) + bytes(2)
    offset = 1
    for name, kind, width, dec in fields:
        out += name.encode('ascii').ljust(11, b'\0') + kind.encode('ascii')
        out += struct.pack('<I', offset) + bytes([width, dec]) + bytes(14)
        offset += width
    out += b'\r'
    for deleted, values in records:
        out += b'*' if deleted else b' '
        for (name, kind, width, dec), value in zip(fields, values):
            assert len(value) <= width, (filename, name, value)
            if kind in 'NF':
                out += value.rjust(width, b' ')
            else:
                out += value.ljust(width, b' ')
    out += b'\x1a'
    with open(filename, 'wb') as f:
        f.write(out)


SCAN = [('BARCODE', 'C', 15, 0), ('QTY', 'C', 10, 0)]

# The scan data file's layout in code page 437, with the counts and
# barcodes an operator and a damaged grid edit can leave behind.
table('scan437.dbf', 0x01, SCAN, [
    (False, [b'5000000000001', b'5']),
    (False, [b'A,B"C|D', b'1,5']),
    (True, [b'GONE', b'9']),
    (False, [b'M\x9aLLER-\x8e', b'1.5']),
    (False, [b'', b'5 boxes']),
    (False, [b'  LEAD', b'2,5,1']),
    (False, [b'line\r\nbreak', b'-3']),
    (False, [b'X', b'  7']),
    (False, [b'Y', b'']),
    (False, [b'Gro\xe1e', b'+4,']),
    (False, [b'A|', b'1a,b']),
    (False, [b'K\x94ln,x', b'K\x94ln,1']),
    (True, [b'ALSO GONE', b'1']),
    (False, [b'\t TAB \t', b'.5']),
])

# Numbers, dates and logic values in code page 1252, as other programs
# write them (a decimal comma, stars, blanks, an impossible date).
table('types1252.dbf', 0x03,
      [('NAME', 'C', 8, 0), ('CNT', 'N', 6, 0), ('PRICE', 'N', 8, 2), ('BIG', 'N', 20, 2),
       ('RATE', 'F', 10, 3), ('DAY', 'D', 8, 0), ('OK', 'L', 1, 0)],
      [
          (False, [b'caf\xe9 \x80', b'12', b'2.5', b'123456789012.50', b'1.25', b'20240131', b'T']),
          (False, [b'\x81\x8d', b'-7', b'-0.004', b'0', b'-3.1415', b'        ', b'F']),
          (True, [b'deleted', b'1', b'1', b'1', b'1', b'19991231', b'T']),
          (False, [b'', b'', b'', b'', b'', b'20230229', b'?']),
          (False, [b'stars', b'******', b'1,25', b'-99999999999999.99', b'2.0005', b'abcdefgh', b'y']),
          (False, [b'wide', b'999999', b'12.345', b'0.005', b'1e3', b'00010101', b' ']),
      ])

# Text in a Cyrillic, a Japanese (multi-byte) and an unstated code page.
table('cp1251.dbf', 0xC9, [('NAME', 'C', 12, 0), ('QTY', 'C', 4, 0)], [
    (False, [b'\xcf\xf0\xe8\xe2\xe5\xf2', b'3']),
    (False, [b'\xa8\xb8,"\x98', b'2,0']),
])
table('cp932.dbf', 0x13, [('NAME', 'C', 10, 0)], [
    (False, [b'\x93\xfa\x96\x7b']),
    (False, [b'\xb1\xb2 half']),
    (False, [b'\x82\xa0\xff']),
])
table('cpnone.dbf', 0x00, [('NAME', 'C', 6, 0)], [
    (False, [b'\x80\x9f\xa0']),
])

# No records; only deleted records.
table('empty.dbf', 0x01, SCAN, [])
table('deleted.dbf', 0x01, SCAN, [(True, [b'A', b'1']), (True, [b'B', b'2'])])
