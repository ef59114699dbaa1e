#!/usr/bin/env python3
"""How much of the tree is tests: non-blank, non-comment lines of the tests and fuzz harnesses
(tests/, fuzz/) against the rest of the code (the program, its tools, benchmarks, scripts and
build files). Counts C++, JavaScript, shell, Python and CMake sources among the files git
tracks, as they stand in the working tree or at a revision.

    python3 scripts/test-share.py [REVISION]     e.g. HEAD~3, main
"""

import collections
import os
import subprocess
import sys

C_LIKE = {".cpp", ".h", ".c", ".mjs", ".js"}
HASH_COMMENTS = {".sh", ".py", ".cmake"}
TEST_FOLDERS = {"tests", "fuzz"}


def kind(path):
    name = os.path.basename(path)
    if name == "CMakeLists.txt":
        return ".cmake"
    extension = os.path.splitext(name)[1]
    return extension if extension in C_LIKE | HASH_COMMENTS else None


def code_lines(text, extension):
    """Lines that are neither blank nor only a comment."""
    count = 0
    in_block = False
    for line in text.splitlines():
        line = line.strip()
        if not line:
            continue
        if extension in C_LIKE:
            if in_block:
                in_block = "*/" not in line
                continue
            if line.startswith("//"):
                continue
            if line.startswith("/*"):
                in_block = "*/" not in line
                continue
        elif line.startswith("#") and not line.startswith("#!"):
            continue
        count += 1
    return count


def main():
    revision = sys.argv[1] if len(sys.argv) > 1 else None
    root = subprocess.run(["git", "rev-parse", "--show-toplevel"], check=True,
                          stdout=subprocess.PIPE, text=True).stdout.strip()
    listing = ["git", "ls-tree", "-r", "--name-only", revision] if revision else ["git", "ls-files",
                                                                                  "--cached", "--others", "--exclude-standard"]
    paths = subprocess.run(listing, cwd=root, check=True, stdout=subprocess.PIPE,
                           text=True).stdout.split()
    by_folder = collections.Counter()
    for path in paths:
        extension = kind(path)
        if extension is None:
            continue
        if revision:
            text = subprocess.run(["git", "show", f"{revision}:{path}"], cwd=root, check=True,
                                  stdout=subprocess.PIPE, text=True, errors="replace").stdout
        elif os.path.isfile(os.path.join(root, path)):
            with open(os.path.join(root, path), errors="replace") as source:
                text = source.read()
        else:
            continue
        folder = path.split("/")[0] if "/" in path else "."
        by_folder[folder] += code_lines(text, extension)
    tests = sum(n for folder, n in by_folder.items() if folder in TEST_FOLDERS)
    code = sum(n for folder, n in by_folder.items() if folder not in TEST_FOLDERS)
    print("  ".join(f"{folder} {n}" for folder, n in sorted(by_folder.items())))
    print(f"tests {tests} lines, code {code} lines: share {tests / code:.2f}")


if __name__ == "__main__":
    main()
