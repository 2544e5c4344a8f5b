"""Starts Orca on a private desktop. Orca refuses to start while any other
Orca of the same user runs anywhere on the machine, and this desktop shares
nothing with those; it also writes its debug log line by line here, so the
log is complete even when Orca is stopped."""

import sys

from orca import debug

_println = debug.println


def _println_flushed(*args, **kwargs):
    _println(*args, **kwargs)
    if debug.debugFile:
        debug.debugFile.flush()


debug.println = _println_flushed

ORCA = "/usr/bin/orca"
with open(ORCA, encoding="utf-8") as source:
    code = compile(source.read(), ORCA, "exec")
orca_globals = {"__name__": "orca_launcher", "__file__": ORCA}
exec(code, orca_globals)  # defines Orca's main() without running it
orca_globals["otherOrcas"] = lambda: []
sys.argv = [ORCA, *sys.argv[1:]]
sys.exit(orca_globals["main"]())
