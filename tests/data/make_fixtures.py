#!/usr/bin/python3
# Makes the interoperability fixtures with python3-dbf (Debian package), an
# independent DBF writer: run it from this folder with /usr/bin/python3.
import datetime
import dbf

ROWS = [
    ("Widget", 12, 3.25, datetime.date(2024, 1, 31), True, "first memo\nwith two lines"),
    ("Gadget", 0, 0.0, None, False, ""),
    ("Deleted one", 5, 1.5, datetime.date(1999, 12, 31), True, "memo of a deleted record"),
    ("Negative", -7, -12.75, datetime.date(2000, 2, 29), False, "x" * 700),
    ("Last", 99999, 99999.99, datetime.date(2023, 6, 1), None, "tail"),
]
LAYOUT = "name C(12); qty N(5,0); price N(8,2); day D; ok L; note M"

for filename, kind in (("pydbf_db3.dbf", "db3"), ("pydbf_fp.dbf", "fp")):
    table = dbf.Table(filename, LAYOUT, dbf_type=kind)
    table.open(dbf.READ_WRITE)
    for row in ROWS:
        table.append(row)
    for record in table:
        if record.name.strip() == "Deleted one":
            dbf.delete(record)
    table.close()
