"""Renders the README's pictures of the two workbooks from the example's own run.

Usage: python tools/render_pictures.py [--out docs] [--job FT_ROOM] [check workbook] [dry-run workbook]

Without workbooks it runs the example device first (examples/check_device.py,
into a scratch folder). It writes docs/check_workbook_job_sheet.png (one job
sheet of the check workbook) and docs/dry_run_summary.png (the "Summary" sheet
of the dry-run workbook).

Each sheet is copied alone into a scratch workbook laid out for one page
(columns widened to their longest text, so that whole cells show), converted to PDF by LibreOffice (headless) and the first page turned into a
PNG by pdftoppm, cut to what the page shows. Needs `soffice` and `pdftoppm`
on PATH and a font with Chinese characters for the dry-run sheet (Debian:
apt-get install libreoffice-calc poppler-utils fonts-wqy-microhei).
"""
import argparse
import pathlib
import shutil
import subprocess
import sys
import tempfile

import openpyxl
from openpyxl.utils import get_column_letter
from openpyxl.worksheet.properties import PageSetupProperties

ROOT = pathlib.Path(__file__).resolve().parent.parent
JOB_PICTURE = "check_workbook_job_sheet.png"
SUMMARY_PICTURE = "dry_run_summary.png"


def single_sheet_copy(workbook, sheet_name, target):
    """Saves `workbook` with only `sheet_name` left, laid out as one landscape page wide."""
    book = openpyxl.load_workbook(workbook)
    if sheet_name not in book.sheetnames:
        raise SystemExit(f"{workbook} has no sheet {sheet_name!r} (sheets: {', '.join(book.sheetnames)})")
    for name in book.sheetnames:
        if name != sheet_name:
            del book[name]
    sheet = book[sheet_name]
    # columns as wide as their longest text, so that the picture shows whole cells
    # (the workbook leaves period and clock columns at the default width)
    last = 1
    for column in sheet.iter_cols():
        texts = [str(c.value) for c in column if c.value is not None]
        if not texts:
            continue
        letter = get_column_letter(column[0].column)
        last = max(last, column[0].column)
        dim = sheet.column_dimensions[letter]
        dim.width = max(dim.width or 8.43, min(max(len(t) for t in texts) * 1.1 + 1, 70))
    sheet.print_area = f"A1:{get_column_letter(last)}{sheet.max_row}"
    sheet.page_setup.orientation = "landscape"
    sheet.page_setup.paperSize = sheet.PAPERSIZE_A3
    sheet.sheet_properties.pageSetUpPr = PageSetupProperties(fitToPage=True)
    sheet.page_setup.fitToWidth = 1
    sheet.page_setup.fitToHeight = 0
    sheet.print_options.gridLines = True
    sheet.print_options.headings = True
    for side in ("left", "right", "top", "bottom"):
        setattr(sheet.page_margins, side, 0.3)
    sheet.oddHeader.center.text = ""
    sheet.oddFooter.center.text = ""
    book.save(target)


def content_box(ppm, margin):
    """(x, y, width, height) around the non-white pixels of a binary PPM image, with a margin."""
    data = pathlib.Path(ppm).read_bytes()
    fields, pos = [], 0
    while len(fields) < 4:  # magic, width, height, maximum value, separated by white space
        while data[pos:pos + 1].isspace():
            pos += 1
        end = pos
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[pos:end])
        pos = end
    width, height = int(fields[1]), int(fields[2])
    pixels = data[pos + 1:]
    stride = 3 * width
    white = b"\xff" * stride
    rows = [y for y in range(height) if pixels[y * stride:(y + 1) * stride] != white]
    if not rows:
        return 0, 0, width, height
    left, right = width, 0
    for y in rows:
        line = pixels[y * stride:(y + 1) * stride]
        stripped = line.lstrip(b"\xff")
        left = min(left, (stride - len(stripped)) // 3)
        right = max(right, (len(line.rstrip(b"\xff")) + 2) // 3)
    x0, y0 = max(left - margin, 0), max(rows[0] - margin, 0)
    return x0, y0, min(right + margin, width) - x0, min(rows[-1] + 1 + margin, height) - y0


def render(workbook, sheet_name, png, scratch, resolution=240):
    """The first page of the sheet as a PNG, cut to what the page shows."""
    scratch = pathlib.Path(scratch)
    stem = scratch / pathlib.Path(png).stem
    copy = stem.with_suffix(".xlsx")
    single_sheet_copy(workbook, sheet_name, copy)
    subprocess.run(["soffice", "--headless", "--norestore", f"-env:UserInstallation=file://{scratch}/lo-profile",
                    "--convert-to", "pdf", "--outdir", str(scratch), str(copy)],
                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    page = ["-r", str(resolution), "-f", "1", "-l", "1", "-singlefile", str(stem.with_suffix(".pdf"))]
    subprocess.run(["pdftoppm", *page, str(stem)], check=True)
    x, y, width, height = content_box(stem.with_suffix(".ppm"), margin=resolution // 8)
    subprocess.run(["pdftoppm", "-png", "-x", str(x), "-y", str(y), "-W", str(width), "-H", str(height), *page,
                    str(stem)], check=True)
    shutil.move(str(stem) + ".png", png)
    return png


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("check_workbook", nargs="?")
    parser.add_argument("dry_run_workbook", nargs="?")
    parser.add_argument("--out", default=str(ROOT / "docs"))
    parser.add_argument("--job", default="FT_ROOM", help="the job sheet to show (default FT_ROOM)")
    args = parser.parse_args(argv)
    for tool in ("soffice", "pdftoppm"):
        if shutil.which(tool) is None:
            raise SystemExit(f"{tool} not found: apt-get install libreoffice-calc poppler-utils fonts-wqy-microhei")

    out = pathlib.Path(args.out)
    out.mkdir(parents=True, exist_ok=True)
    with tempfile.TemporaryDirectory(prefix="tallowby-pictures-") as scratch:
        check_workbook, dry_run_workbook = args.check_workbook, args.dry_run_workbook
        if check_workbook is None or dry_run_workbook is None:
            sys.path.insert(0, str(ROOT / "examples"))
            import check_device

            result = check_device.check(pathlib.Path(scratch) / "run")
            check_workbook = check_workbook or result.check_workbook
            dry_run_workbook = dry_run_workbook or result.dry_run_workbook
        for workbook, sheet, name in ((check_workbook, args.job, JOB_PICTURE),
                                      (dry_run_workbook, "Summary", SUMMARY_PICTURE)):
            print("written:", render(workbook, sheet, out / name, scratch))


if __name__ == "__main__":
    main(sys.argv[1:])
