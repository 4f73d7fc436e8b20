#!/usr/bin/env python3
"""Checks that every folder of the library includes only its own headers and those of the folders
it declares in CMake (directly or through them).

Usage: check-layers.py LAYER_MAP SOURCE_ROOT
       check-layers.py --self-test

LAYER_MAP is written at configure time: one line per folder target, "folder: dependency...".
Every folder under library/, fonts/ and startup/ that holds sources must have a target."""

import os
import re
import sys
import tempfile

ROOTS = ("library", "fonts", "startup")
INCLUDE = re.compile(r'^\s*#\s*include\s+"((?:library|fonts|startup)/[^"]+)"', re.MULTILINE)
SOURCE_SUFFIXES = (".cpp", ".h", ".inl")


def read_map(path):
    declared = {}
    with open(path, encoding="utf-8") as lines:
        for line in lines:
            if line.strip():
                folder, _, deps = line.partition(":")
                declared[folder.strip()] = deps.split()
    return declared


def reachable(declared, folder):
    seen, stack = set(), list(declared.get(folder, []))
    while stack:
        dep = stack.pop()
        if dep not in seen:
            seen.add(dep)
            stack.extend(declared.get(dep, []))
    return seen


def source_folders(root):
    for top in ROOTS:
        for current, _, files in os.walk(os.path.join(root, top)):
            if any(name.endswith(SOURCE_SUFFIXES) for name in files):
                yield os.path.relpath(current, root).replace(os.sep, "/"), sorted(files)


def violations(declared, root):
    found = []
    for folder, files in source_folders(root):
        if folder not in declared:
            found.append(f"{folder}: holds sources but no folder target declares it")
            continue
        allowed = reachable(declared, folder) | {folder}
        for name in files:
            if not name.endswith(SOURCE_SUFFIXES):
                continue
            with open(os.path.join(root, folder, name), encoding="utf-8") as source:
                text = source.read()
            for included in INCLUDE.findall(text):
                target = os.path.dirname(included)
                if target not in allowed:
                    found.append(f"{folder}/{name}: includes {included}, but {folder} does not depend on {target}")
    return found


def self_test():
    # (layer map, files, expected number of violations)
    cases = [
        ("library/a: library/b\nlibrary/b:", {"library/a/x.h": "library/b/y.h", "library/b/y.h": ""}, 0),
        ("library/a: library/b\nlibrary/b: fonts\nfonts:", {"library/a/x.h": "fonts/z.h", "fonts/z.h": ""}, 0),
        ("library/a:\nlibrary/b:", {"library/a/x.h": "library/b/y.h", "library/b/y.h": ""}, 1),
        ("library/a: library/b\nlibrary/b:", {"library/b/y.cpp": "library/a/x.h", "library/a/x.h": ""}, 1),
        ("library/a:", {"library/a/x.h": "", "library/a/sub/y.h": ""}, 1),
        ("library/a:", {"library/a/x.cpp": "library/a/x.h", "library/a/x.h": "startup/s.h"}, 1),
        ("library/a:\nlibrary/b:", {"library/a/x.inl": "library/b/y.h", "library/b/y.h": ""}, 1),
    ]
    failed = 0
    for number, (layer_map, files, expected) in enumerate(cases):
        with tempfile.TemporaryDirectory() as root:
            map_path = os.path.join(root, "layers.txt")
            with open(map_path, "w", encoding="utf-8") as out:
                out.write(layer_map + "\n")
            for relative, included in files.items():
                os.makedirs(os.path.join(root, os.path.dirname(relative)), exist_ok=True)
                with open(os.path.join(root, relative), "w", encoding="utf-8") as out:
                    out.write(f'#include <windows.h>\n#include "{included}"\n' if included else "")
            got = len(violations(read_map(map_path), root))
            if got != expected:
                print(f"self-test case {number}: {got} violations, expected {expected}")
                failed += 1
    return 1 if failed else 0


def main(argv):
    if argv[1:] == ["--self-test"]:
        return self_test()
    if len(argv) != 3:
        print(__doc__)
        return 2
    found = violations(read_map(argv[1]), argv[2])
    for line in found:
        print(line)
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
