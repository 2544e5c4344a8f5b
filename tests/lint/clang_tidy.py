"""clang-tidy over our own .cpp files that the builds compile.

    clang_tidy.py CLANG_TIDY SOURCE_DIR BUILD_DIR [BUILD_DIR ...]

Uses the builds' compile_commands.json and the checked-in .clang-tidy.
Generated files (moc, autogen) and build folders are never looked at: only
files under our source folders are, and headers only when they lie there too.
A file that several targets or builds compile is checked once, with the
first build's command for it.
"""

import json
import os
import shlex
import subprocess
import sys
import tempfile
from concurrent.futures import ThreadPoolExecutor

DIRS = ("route", "day", "screen", "app", "bench", "tests", "fuzz")


def without_precompiled_header(entry):
    """The command without the build's precompiled header, so that each file
    is checked on its own includes (and GCC's header is unreadable to clang)."""
    args = entry["arguments"] if "arguments" in entry else shlex.split(entry["command"])

    def is_pch(path):
        return os.path.basename(path) in ("cmake_pch.hxx", "cmake_pch.hxx.pch")

    kept = []
    i = 0
    while i < len(args):
        # clang: -Xclang -include-pch -Xclang FILE, -Xclang -include -Xclang FILE
        if (args[i] == "-Xclang" and args[i + 1 : i + 2] in (["-include-pch"], ["-include"])
                and len(args) > i + 3 and is_pch(args[i + 3])):
            i += 4
        # gcc: -include FILE
        elif args[i] == "-include" and len(args) > i + 1 and is_pch(args[i + 1]):
            i += 2
        else:
            if args[i] != "-Winvalid-pch":
                kept.append(args[i])
            i += 1
    if any("cmake_pch" in arg for arg in kept):
        raise SystemExit(f"clang_tidy.py: a precompiled header is left in the command for "
                         f"{entry['file']}: {shlex.join(kept)}")
    entry = dict(entry)
    entry.pop("command", None)
    entry["arguments"] = kept
    return entry


def main():
    tidy, src, builds = sys.argv[1], os.path.realpath(sys.argv[2]), sys.argv[3:]
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
            if path.endswith(".cpp") and path.startswith(roots) and path not in entries:
                entries[path] = without_precompiled_header(entry)
    if not entries:
        print(f"none of the sources under {src} is in the compile databases", file=sys.stderr)
        return 1

    header_filter = "^" + src + "/(" + "|".join(DIRS) + ")/"
    with tempfile.TemporaryDirectory() as db_dir:
        with open(os.path.join(db_dir, "compile_commands.json"), "w", encoding="utf-8") as f:
            json.dump(list(entries.values()), f)

        def run(path):
            result = subprocess.run(
                [tidy, "-p", db_dir, "--quiet", "--header-filter=" + header_filter, path],
                stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, check=False)
            return path, result.returncode, result.stdout

        # Largest first, so the long ones do not end up running alone. Each
        # file is reported as it finishes: a full run takes minutes.
        order = sorted(entries, key=os.path.getsize, reverse=True)
        results = []
        with ThreadPoolExecutor(max_workers=os.cpu_count() or 1) as pool:
            for done, result in enumerate(pool.map(run, order), start=1):
                results.append(result)
                verdict = "ok" if result[1] == 0 else "findings"
                print(f"clang-tidy [{done}/{len(order)}] {os.path.relpath(result[0], src)}: "
                      f"{verdict}", flush=True)

    failed = 0
    for path, code, output in sorted(results):
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
