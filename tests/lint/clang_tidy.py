"""clang-tidy over our own .cpp files that the builds compile.

    clang_tidy.py CLANG_TIDY SOURCE_DIR BUILD_DIR [BUILD_DIR ...] [--only FILE ...]

Uses the builds' compile_commands.json and the checked-in .clang-tidy.
Generated files (moc, autogen) and build folders are never looked at: only
files under our source folders are, and headers only when they lie there too.
A file that several targets or builds compile is checked once: with a
command that brings clang's precompiled header if one does (it only saves
parsing the same system headers again), else with the first build's.
With --only, just those files: a .cpp itself, a header through every .cpp
that includes it.
"""

import json
import os
import shlex
import subprocess
import sys
import tempfile
import time
from concurrent.futures import ThreadPoolExecutor, as_completed

DIRS = ("route", "day", "screen", "app", "bench", "tests", "fuzz", "office", "web")


def prepared(entry):
    """The entry as clang-tidy is to read it: GCC's precompiled header cannot
    be read by clang and is taken out; clang's is kept."""
    args = entry["arguments"] if "arguments" in entry else shlex.split(entry["command"])
    kept = []
    i = 0
    while i < len(args):
        if args[i] == "-include" and args[i + 1 :] and args[i + 1].endswith("/cmake_pch.hxx"):
            i += 2
        else:
            if args[i] != "-Winvalid-pch":
                kept.append(args[i])
            i += 1
    entry = dict(entry)
    entry.pop("command", None)
    entry["arguments"] = kept
    return entry


def uses_pch(entry):
    return "-include-pch" in entry["arguments"]


def weight(path, entry):
    """A guess at the file's cost: parsing and matching over Qt's test and
    widget headers dwarfs the file itself."""
    args = " ".join(entry["arguments"])
    return ("QtTest" in args, "QtWidgets" in args, os.path.getsize(path))


def including(entries, header, src):
    """The compiled files that include the header, by its path from the
    source folder or, beside it, by its name."""
    relative = os.path.relpath(header, src)
    found = []
    for path in entries:
        try:
            with open(path, encoding="utf-8", errors="replace") as f:
                text = f.read()
        except OSError:
            continue
        near = os.path.dirname(path) == os.path.dirname(header)
        if f'"{relative}"' in text or (near and f'"{os.path.basename(header)}"' in text):
            found.append(path)
    return found


def main():
    args = sys.argv[1:]
    only = None
    if "--only" in args:
        at = args.index("--only")
        only = [os.path.realpath(f) for f in args[at + 1 :]]
        args = args[:at]
    tidy, src, builds = args[0], os.path.realpath(args[1]), args[2:]
    roots = tuple(os.path.join(src, d) + os.sep for d in DIRS)
    entries = {}
    for build in builds:
        database_path = os.path.join(build, "compile_commands.json")
        if not os.path.exists(database_path):
            print(f"no compile database in {build}: build it first", file=sys.stderr)
            return 1
        with open(database_path, encoding="utf-8") as f:
            database = json.load(f)
        for entry in database:
            path = os.path.realpath(os.path.join(entry["directory"], entry["file"]))
            if not (path.endswith(".cpp") and path.startswith(roots)):
                continue
            entry = prepared(entry)
            if path not in entries or (uses_pch(entry) and not uses_pch(entries[path])):
                entries[path] = entry
    if not entries:
        print(f"none of the sources under {src} is in the compile databases", file=sys.stderr)
        return 1
    if only is not None:
        wanted = set()
        for path in only:
            if path.endswith(".cpp"):
                if path in entries:
                    wanted.add(path)
            else:
                wanted.update(including(entries, path, src))
        entries = {path: entries[path] for path in wanted}
        if not entries:
            print("clang-tidy: no compiled file among those asked for")
            return 0

    header_filter = "^" + src + "/(" + "|".join(DIRS) + ")/"
    with tempfile.TemporaryDirectory() as db_dir:
        with open(os.path.join(db_dir, "compile_commands.json"), "w", encoding="utf-8") as f:
            json.dump(list(entries.values()), f)

        def run(path):
            start = time.monotonic()
            result = subprocess.run(
                [tidy, "-p", db_dir, "--quiet", "--header-filter=" + header_filter, path],
                stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, check=False)
            return path, result.returncode, result.stdout, time.monotonic() - start

        # Heaviest first, so that no long file ends up running alone at the
        # end. Each file is reported as it finishes: a full run takes minutes.
        order = sorted(entries, key=lambda path: weight(path, entries[path]), reverse=True)
        results = []
        with ThreadPoolExecutor(max_workers=os.cpu_count() or 1) as pool:
            futures = [pool.submit(run, path) for path in order]
            for done, future in enumerate(as_completed(futures), start=1):
                path, code, _, seconds = result = future.result()
                results.append(result)
                verdict = "ok" if code == 0 else "findings"
                print(f"clang-tidy [{done}/{len(order)}] {os.path.relpath(path, src)}: "
                      f"{verdict} ({seconds:.1f} s)", flush=True)

    failed = 0
    for path, code, output, _ in sorted(results):
        if code != 0:
            failed += 1
            print("=== " + os.path.relpath(path, src))
            for line in output.splitlines():
                if not line.endswith(" generated."):
                    print(line)
    if failed:
        print(f"clang-tidy: {failed} of {len(entries)} files have findings", file=sys.stderr)
        return 1
    print(f"clang-tidy: {len(entries)} files clean")
    return 0


if __name__ == "__main__":
    sys.exit(main())
