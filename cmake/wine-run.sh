#!/bin/sh
# Runs a Windows program of the cross build under wine, for test discovery and
# ctest. Gives up after eight minutes, before ctest's own time limit, rather
# than hang a test run.
: "${WINEDEBUG:=-all}"
export WINEDEBUG
exec timeout --kill-after=10 480 wine "$@"
