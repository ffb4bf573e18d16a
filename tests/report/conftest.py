import pandas as pd
import pytest

from report_books import sheets_of


@pytest.fixture
def book(tmp_path):
    """An open workbook writer; book.close() saves it, book.sheets() reads it back."""

    class Book:
        path = str(tmp_path / "out.xlsx")

        def __init__(self):
            self.writer = pd.ExcelWriter(self.path, engine="openpyxl")

        def close(self):
            # a workbook needs one visible sheet to be saved
            if not self.writer.sheets:
                pd.DataFrame({"x": [1]}).to_excel(self.writer, sheet_name="placeholder", index=False)
            self.writer.close()
            return sheets_of(self.path)

    b = Book()
    yield b
