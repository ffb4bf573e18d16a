"""Prints one hash of everything the package is built from (and of the given words, such as build options),
so that a build can be skipped when nothing changed."""
import hashlib
import os
import sys

ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
SOURCES = ["CMakeLists.txt", "pyproject.toml", "src", "python"]


def files():
    for entry in SOURCES:
        path = os.path.join(ROOT, entry)
        if os.path.isfile(path):
            yield entry
            continue
        for folder, dirs, names in os.walk(path):
            dirs[:] = sorted(d for d in dirs if d != "__pycache__")
            for name in sorted(names):
                if not name.endswith(".pyc"):
                    yield os.path.relpath(os.path.join(folder, name), ROOT)


def main():
    h = hashlib.sha256()
    for word in sys.argv[1:]:
        h.update(word.encode() + b"\0")
    for rel in files():
        h.update(rel.encode() + b"\0")
        with open(os.path.join(ROOT, rel), "rb") as f:
            h.update(hashlib.sha256(f.read()).digest())
    print(h.hexdigest())


if __name__ == "__main__":
    main()
