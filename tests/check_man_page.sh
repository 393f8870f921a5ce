#!/bin/sh
# Renders a man page as a reader would and fails on anything man or groff says on standard error
# (groff's warnings do not change man's exit status). Exit 77 tells CTest the test was skipped.
# The width is fixed so that line-breaking warnings do not depend on the terminal of the run.
page=$1
if ! command -v man >/dev/null 2>&1; then
  echo "man is not installed (Debian: man-db): the man page is not checked"
  exit 77
fi
if ! messages=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null); then
  printf '%s\n' "$messages"
  echo "man failed on $page"
  exit 1
fi
if [ -n "$messages" ]; then
  printf '%s\n' "$messages"
  echo "man printed the warnings above for $page"
  exit 1
fi
