message(FATAL_ERROR "${TOOL} not found when the build was configured; run scripts/setup, "
                    "then configure again")
