#!/usr/bin/env bash
# Runs a command under a private Xvfb, as xvfb-run does (its arguments), in
# an X session that has a resource database like every desktop session. A
# bare Xvfb has none: then libX11 reads ~/.Xdefaults and
# ~/.Xdefaults-HOST anew at every XGetDefault, and Wine's X11 driver asks
# it at every font selection, so a window that draws text paid two failed
# file opens per font change, a cost no desktop and no Windows machine has.
# The resource here asks for nothing.
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
export XENVIRONMENT="$here/headless.Xresources"
exec xvfb-run -a "$@"
