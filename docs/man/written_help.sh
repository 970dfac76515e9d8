#!/bin/sh
# Prints the written usage text of a windowed program (TARROW_WRITTEN_HELP names it) for
# help2man, which asks for it with --help: the windows themselves take no arguments.
exec cat "$TARROW_WRITTEN_HELP"
