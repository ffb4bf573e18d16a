"""Stand-in for the tester software's package module `tallowby.common`.

The engine takes three operations from it: `unzip` and
`export_sheets_to_txt` make a device's exported sheet text files available
in a folder, and `format_str` prepares a resolved spec expression for
evaluation. The real module belongs to the tester installation; this one
does what the engine relies on and nothing more.

Both unpacking operations write only inside their target folder, whatever
the archive's members or the workbook's sheets are called.
"""
import os
import zipfile


def folder_name(source_path):
    """The folder a device file unpacks into: its name less the extension
    (the text from the last "."), or "_" for each character of a name that
    would be empty or only dots ("...zip" -> "__"), so it is never the
    target folder itself or its parent."""
    name = os.path.basename(source_path)
    stem = name[: name.rfind(".")] if "." in name else name
    if stem.strip("."):
        return stem
    return "_" * max(len(stem), 1)


def _target_folder(source_path, target_folder):
    return os.path.join(target_folder, folder_name(source_path))


def _inside(root, path):
    return path == root or path.startswith(root + os.sep)


def _single_top_folder(names, stem):
    """The top folder that every member lies in, when it is named like the
    archive (letter case aside); None otherwise."""
    tops = {n.replace("\\", "/").lstrip("/").split("/", 1)[0] for n in names}
    if len(tops) != 1:
        return None
    top = tops.pop()
    if top.casefold() != stem.casefold():
        return None
    # a lone file named like the archive is no folder
    if not any("/" in n.replace("\\", "/").lstrip("/") for n in names):
        return None
    return top


def unzip(archive_path, target_folder):
    """Unpacks an ".igxl" or ".zip" archive into target_folder/<archive name less its extension>.

    An archive that holds one top folder named like itself (DEVICE.ZIP
    holding DEVICE/...) is unpacked without that level, so that the sheets
    lie directly in the folder; members that would land outside the folder
    are not unpacked."""
    with zipfile.ZipFile(archive_path) as archive:
        folder = _target_folder(archive_path, target_folder)
        os.makedirs(folder, exist_ok=True)
        root = os.path.realpath(folder)
        members = archive.infolist()
        top = _single_top_folder([m.filename for m in members], folder_name(archive_path))
        for member in members:
            name = member.filename.replace("\\", "/").lstrip("/")
            if top is not None:
                name = name.split("/", 1)[1] if "/" in name else ""
            parts = [p for p in name.split("/") if p not in ("", ".", "..")]
            if not parts:
                continue
            dest = os.path.join(root, *parts)
            # no member is written through a link that leads out of the folder
            if not _inside(root, os.path.realpath(os.path.dirname(dest))):
                continue
            if member.is_dir():
                os.makedirs(dest, exist_ok=True)
                continue
            os.makedirs(os.path.dirname(dest), exist_ok=True)
            if os.path.islink(dest):
                os.unlink(dest)
            with archive.open(member) as source, open(dest, "wb") as out:
                while chunk := source.read(1 << 20):
                    out.write(chunk)


def sheet_file_name(title):
    """The file a sheet is written to: its title with ".txt", every path
    separator and every ".." of the title replaced by "_", so that the file
    lies in the target folder itself."""
    safe = title.replace("/", "_").replace("\\", "_").replace(os.sep, "_").replace("\0", "_")
    safe = safe.replace("..", "__")
    return safe + ".txt"


def export_sheets_to_txt(workbook_path, target_folder):
    """Writes every sheet of a macro workbook as a tab-separated "<sheet>.txt" file
    into target_folder/<workbook name less its extension>."""
    import openpyxl

    folder = _target_folder(workbook_path, target_folder)
    os.makedirs(folder, exist_ok=True)
    book = openpyxl.load_workbook(workbook_path, read_only=True, data_only=True)
    try:
        for sheet in book.worksheets:
            path = os.path.join(folder, sheet_file_name(sheet.title))
            if os.path.islink(path):
                os.unlink(path)
            with open(path, "w", encoding="utf-8", newline="") as out:
                for row in sheet.iter_rows(values_only=True):
                    out.write("\t".join("" if v is None else str(v) for v in row) + "\n")
    finally:
        book.close()


def format_str(text):
    """A resolved spec expression ready for evaluation: surrounding blanks removed."""
    return text.strip()
