"""Stand-in for the tester software's package module `tallowby.common`.

The engine takes three operations from it: `unzip` and
`export_sheets_to_txt` make a device's exported sheet text files available
in a folder, and `format_str` prepares a resolved spec expression for
evaluation. The real module belongs to the tester installation; this one
does what the engine relies on and nothing more.
"""
import os
import zipfile


def _target_folder(source_path, target_folder):
    name = os.path.basename(source_path)
    stem = name[: name.rfind(".")] if "." in name else name
    return os.path.join(target_folder, stem)


def unzip(archive_path, target_folder):
    """Unpacks an ".igxl" or ".zip" archive into target_folder/<archive name less its extension>."""
    with zipfile.ZipFile(archive_path) as archive:
        folder = _target_folder(archive_path, target_folder)
        root = os.path.realpath(folder)
        for member in archive.infolist():
            # members that would land outside the folder are not unpacked
            dest = os.path.realpath(os.path.join(folder, member.filename))
            if dest != root and not dest.startswith(root + os.sep):
                continue
            archive.extract(member, folder)


def export_sheets_to_txt(workbook_path, target_folder):
    """Writes every sheet of a macro workbook as a tab-separated "<sheet>.txt" file
    into target_folder/<workbook name less its extension>."""
    import openpyxl

    folder = _target_folder(workbook_path, target_folder)
    os.makedirs(folder, exist_ok=True)
    book = openpyxl.load_workbook(workbook_path, read_only=True, data_only=True)
    try:
        for sheet in book.worksheets:
            with open(os.path.join(folder, sheet.title + ".txt"), "w", encoding="utf-8", newline="") as out:
                for row in sheet.iter_rows(values_only=True):
                    out.write("\t".join("" if v is None else str(v) for v in row) + "\n")
    finally:
        book.close()


def format_str(text):
    """A resolved spec expression ready for evaluation: surrounding blanks removed."""
    return text.strip()
