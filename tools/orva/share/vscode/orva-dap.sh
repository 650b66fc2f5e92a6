#!/bin/sh
# Starts the debug adapter for VS Code: the orva command on PATH, or the one
# named by ORVA_COMMAND.
exec "${ORVA_COMMAND:-orva}" --dap "$@"
