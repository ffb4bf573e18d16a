"""Prints what pyproject.toml asks to be installed for building and testing, one requirement a line:
the build system's requirements, the run-time dependencies and the "test" extra."""
import os
import re
import sys

HERE = os.path.dirname(os.path.abspath(__file__))


def load(path):
    try:
        import tomllib
    except ImportError:  # before Python 3.11: read the few lists this file has
        text = open(path, encoding="utf-8").read()

        def strings(key):
            m = re.search(r"^" + re.escape(key) + r"\s*=\s*\[(.*?)\]", text, re.M | re.S)
            return re.findall(r'"([^"]+)"', m.group(1)) if m else []

        return {"build-system": {"requires": strings("requires")},
                "project": {"dependencies": strings("dependencies"),
                            "optional-dependencies": {"test": strings("test")}}}
    with open(path, "rb") as f:
        return tomllib.load(f)


def main():
    data = load(os.path.join(HERE, "..", "pyproject.toml"))
    # The build runs without pip's isolation: its tools go into the environment once.
    wanted = list(data["build-system"]["requires"]) + ["cmake>=3.18", "ninja"]
    wanted += data["project"]["dependencies"]
    wanted += data["project"].get("optional-dependencies", {}).get("test", [])
    sys.stdout.write("".join(w + "\n" for w in dict.fromkeys(wanted)))


if __name__ == "__main__":
    main()
