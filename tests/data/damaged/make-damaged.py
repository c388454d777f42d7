#!/usr/bin/env python3
"""Writes the hostile workbooks of this folder that are made, not found.

Each is small on disk and asks for far more than any sheet may have when it
is read: the replay test (tests/cli/tst_damagedinputs) checks that every file
here is read or refused within the budgets, with a message.
"""
import struct
import zipfile

SECTOR = 512
FREE, END_OF_CHAIN, FAT_SECTOR = 0xFFFFFFFF, 0xFFFFFFFE, 0xFFFFFFFD


def compound_file(stream_name, stream):
    """A version 3 compound file holding one stream, in regular sectors."""
    stream += b"\0" * (-len(stream) % SECTOR)
    if len(stream) < 4096:  # smaller streams would go to the mini stream
        stream += b"\0" * (4096 - len(stream))
    stream_sectors = len(stream) // SECTOR
    directory_sector = stream_sectors
    fat_sectors = 1
    while (stream_sectors + 1 + fat_sectors) > fat_sectors * (SECTOR // 4):
        fat_sectors += 1
    fat = list(range(1, stream_sectors)) + [END_OF_CHAIN]  # the stream's chain
    fat += [END_OF_CHAIN]  # the directory
    fat += [FAT_SECTOR] * fat_sectors
    fat += [FREE] * (fat_sectors * SECTOR // 4 - len(fat))

    def entry(name, kind, start, size, child=FREE):
        encoded = (name + "\0").encode("utf-16-le")
        return (encoded.ljust(64, b"\0") + struct.pack("<HBB", len(encoded), kind, 1)
                + struct.pack("<III", FREE, FREE, child) + b"\0" * 16 + b"\0" * 4 + b"\0" * 16
                + struct.pack("<IQ", start, size))

    directory = entry("Root Entry", 5, END_OF_CHAIN, 0, child=1) + entry(stream_name, 2, 0, len(stream))
    directory = directory.ljust(SECTOR, b"\0")
    header = (b"\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1" + b"\0" * 16 + struct.pack("<HHHHH", 0x3E, 3, 0xFFFE, 9, 6)
              + b"\0" * 6 + struct.pack("<IIIIIIII", 0, fat_sectors, directory_sector, 0, 4096,
                                         END_OF_CHAIN, 0, END_OF_CHAIN)
              + struct.pack("<I", 0))
    first_fat = stream_sectors + 1
    difat = [first_fat + i for i in range(fat_sectors)] + [FREE] * (109 - fat_sectors)
    header = header[:0x4C] + struct.pack("<109I", *difat)
    return header + stream + directory + struct.pack(f"<{len(fat)}I", *fat)


def record(kind, body=b""):
    return struct.pack("<HH", kind, len(body)) + body


def bof(sheet_type):
    return record(0x0809, struct.pack("<HHHHII", 0x0600, sheet_type, 0x0DBB, 0x07CC, 0, 0x0600))


def xls_many_full_size_sheets(count=20):
    """Sheets that each declare 65,536 rows × 256 columns and hold one cell."""
    def globals_with(offsets):
        body = bof(0x0005)
        for i, offset in enumerate(offsets):
            name = f"表{i + 1}".encode("utf-16-le")
            body += record(0x0085, struct.pack("<IBBBB", offset, 0, 0, len(name) // 2, 1) + name)
        return body + record(0x000A)

    sheets = [bof(0x0010) + record(0x0200, struct.pack("<IIHHH", 0, 65536, 0, 256, 0))
              + record(0x0203, struct.pack("<HHHd", 65535, 255, 15, 1.0)) + record(0x000A)
              for _ in range(count)]
    offsets, at = [], len(globals_with([0] * count))
    for sheet in sheets:
        offsets.append(at)
        at += len(sheet)
    return compound_file("Workbook", globals_with(offsets) + b"".join(sheets))


def xlsx(parts):
    """A workbook of one sheet with the given parts put in or over the usual ones."""
    files = {
        "[Content_Types].xml": '<?xml version="1.0"?><Types xmlns="http://schemas.openxmlformats.org/package/2006/'
                               'content-types"/>',
        "_rels/.rels": '<?xml version="1.0"?><Relationships xmlns="http://schemas.openxmlformats.org/package/2006/'
                       'relationships"><Relationship Id="rId1" Type="http://schemas.openxmlformats.org/'
                       'officeDocument/2006/relationships/officeDocument" Target="xl/workbook.xml"/>'
                       '</Relationships>',
        "xl/workbook.xml": '<?xml version="1.0"?><workbook xmlns="http://schemas.openxmlformats.org/spreadsheetml/'
                           '2006/main" xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/'
                           'relationships"><sheets><sheet name="运费" sheetId="1" r:id="rId1"/></sheets></workbook>',
        "xl/_rels/workbook.xml.rels": '<?xml version="1.0"?><Relationships xmlns="http://schemas.openxmlformats.'
                                      'org/package/2006/relationships"><Relationship Id="rId1" Type="http://'
                                      'schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet" '
                                      'Target="worksheets/sheet1.xml"/></Relationships>',
        "xl/worksheets/sheet1.xml": '<?xml version="1.0"?><worksheet xmlns="http://schemas.openxmlformats.org/'
                                    'spreadsheetml/2006/main"><sheetData><row r="1"><c r="A1" t="s"><v>0</v></c>'
                                    '</row></sheetData></worksheet>',
    }
    files.update(parts)
    return files


def write_xlsx(path, files):
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED, compresslevel=9) as archive:
        for name, content in files.items():
            archive.writestr(name, content)


with open("xls-20-sheets-65536x256.xls", "wb") as out:
    out.write(xls_many_full_size_sheets())

depth = 2_000_000
write_xlsx("xlsx-deep-nesting.xlsx", xlsx({
    "xl/worksheets/sheet1.xml": '<?xml version="1.0"?><worksheet><sheetData><row r="1"><c r="A1" t="inlineStr">'
                                '<is>' + "<r>" * depth + "x" + "</r>" * depth + '</is></c></row></sheetData>'
                                '</worksheet>'}))

write_xlsx("xlsx-50m-shared-strings.xlsx", xlsx({
    "xl/sharedStrings.xml": '<?xml version="1.0"?><sst count="50000000" uniqueCount="50000000">'
                            + "<si/>" * 50_000_000 + "</sst>"}))
