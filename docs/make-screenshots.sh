#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Regenerates docs/about.png, docs/options.png, docs/main-window.png,
# docs/main-window-focus.png, docs/main-window-joining.png and docs/loudness-report.png
# from a build folder
# (default: build-ui),
# on a virtual X display. Needs xvfb-run (Debian: xvfb, xauth).
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build="${1:-$here/../build-ui}"
ninja -C "$build" corvane_screenshots corvane_main_screenshots corvane_loudness_screenshot
xvfb-run -a -s "-screen 0 1024x768x24 -dpi 96" "$build/docs/corvane_screenshots" "$here"
xvfb-run -a -s "-screen 0 1024x768x24 -dpi 96" "$build/docs/corvane_main_screenshots" "$here"
xvfb-run -a -s "-screen 0 1024x768x24 -dpi 96" "$build/docs/corvane_loudness_screenshot" "$here"
