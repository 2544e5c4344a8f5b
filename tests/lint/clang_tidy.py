"""clang-tidy over our own .cpp files that the build compiles.

    clang_tidy.py CLANG_TIDY SOURCE_DIR BUILD_DIR

Uses the build's compile_commands.json and the checked-in .clang-tidy.
Generated files (moc, autogen) and build folders are never looked at: only
files under our source folders are, and headers only when they lie there too.
A file that several targets compile is checked once, not once per target.
"""

import json
import os
import subprocess
import sys
import tempfile
from concurrent.futures import ThreadPoolExecutor

DIRS = ("route", "day", "screen", "app", "bench", "tests", "fuzz")


def main():
    tidy, src, build = sys.argv[1], os.path.realpath(sys.argv[2]), sys.argv[3]
    with open(os.path.join(build, "compile_commands.json"), encoding="utf-8") as f:
        database = json.load(f)

    roots = tuple(os.path.join(src, d) + os.sep for d in DIRS)
    entries = {}
    for entry in database:
        path = os.path.realpath(os.path.join(entry["directory"], entry["file"]))
        if path.endswith(".cpp") and path.startswith(roots):
            entries.setdefault(path, entry)
    if not entries:
        print(f"none of the sources under {src} is in the compile database", file=sys.stderr)
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

        # Largest first, so the long ones do not end up running alone.
        order = sorted(entries, key=os.path.getsize, reverse=True)
        with ThreadPoolExecutor(max_workers=os.cpu_count() or 1) as pool:
            results = list(pool.map(run, order))

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
