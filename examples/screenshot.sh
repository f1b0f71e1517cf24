#!/usr/bin/env bash
# Renders the sample submission's HTML reports and photographs them with
# headless Chromium, so the pages can be looked at without a browser session:
#   examples/report-author.html / .png and examples/report-reviewer.html / .png
set -euo pipefail
cd "$(dirname "$0")"
browser=$(command -v chromium || command -v chromium-browser || command -v google-chrome || true)
if [[ -z "$browser" ]]; then
  echo "screenshot: headless Chromium is not installed (Debian package 'chromium')" >&2
  exit 1
fi
for mode in author reviewer; do
  kvt-lint --format html --mode "$mode" -o "report-$mode.html" paper.tex refs.bib || true
  "$browser" --headless --no-sandbox --disable-gpu --hide-scrollbars --window-size=1280,1000 \
    --screenshot="$PWD/report-$mode.png" "file://$PWD/report-$mode.html" 2>/dev/null
  echo "wrote examples/report-$mode.png"
done
