#!/usr/bin/env bash
# The Debian package as a user gets it: built from the release build, checked by lintian (any
# error fails), installed with apt-get, its program run on a bundled example and compared with the
# freshly built one, its man page found by man, then purged, leaving none of its files behind.
# Run by .ci/run after the workflows; needs root on Debian. It really installs and removes the
# package on this machine, and removes an installed brumlet package first.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

fail() {
  echo "check-deb: $*" >&2
  exit 1
}

installed=no
work=$(mktemp -d)
cleanup() {
  rm -rf "$work"
  if [[ $installed == yes ]]; then
    echo "check-deb: removing the package after the failure"
    DEBIAN_FRONTEND=noninteractive apt-get remove --purge -y -qq brumlet >/dev/null || true
  fi
}
trap cleanup EXIT

packages=build/release/packages
rm -f "$packages"/brumlet_*.deb
cmake --preset release >/dev/null
cmake --build --preset release
cpack --preset deb
debs=("$packages"/brumlet_*_"$(dpkg --print-architecture)".deb)
[[ ${#debs[@]} == 1 && -f ${debs[0]} ]] || fail "expected one brumlet package in $packages"
deb=$root/${debs[0]}

echo "lintian ${debs[0]}:"
lintian --fail-on error --display-info "$deb" || fail "lintian reports errors"

# Slim Debian images tell dpkg to skip man pages and documents (path-exclude in
# /etc/dpkg/dpkg.cfg.d/). Then the checks below would only see what dpkg dropped, so for this
# install the package's own pages and documents are included again; the machine's settings stay.
dpkg_options=()
if grep -qs '^[[:space:]]*path-exclude' /etc/dpkg/dpkg.cfg /etc/dpkg/dpkg.cfg.d/*; then
  echo "dpkg excludes paths on this machine: brumlet's man page and documents are included anyway"
  dpkg_options=(-o "DPkg::Options::=--path-include=/usr/share/man/man1/brumlet.1.gz"
    -o "DPkg::Options::=--path-include=/usr/share/doc/brumlet/*")
fi

if dpkg-query -W -f='${Status}' brumlet 2>/dev/null | grep -q 'install ok installed'; then
  echo "removing the brumlet package that is installed already"
  DEBIAN_FRONTEND=noninteractive apt-get remove --purge -y -qq brumlet >/dev/null
fi
installed=yes
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${dpkg_options[@]}" "$deb" >/dev/null
[[ $(dpkg-query -S /usr/bin/brumlet) == "brumlet: /usr/bin/brumlet" ]] ||
  fail "/usr/bin/brumlet does not come from the package"
for file in /usr/share/doc/brumlet/copyright /usr/share/doc/brumlet/changelog.gz /usr/share/doc/brumlet/README.md; do
  [[ -f $file ]] || fail "$file is not installed"
done

# Outputs land in the current folder, so each program runs in a folder of its own.
mkdir "$work/installed" "$work/built"
cp examples/kick.wav "$work/installed/"
cp examples/kick.wav "$work/built/"
status=0
(cd "$work/installed" && /usr/bin/brumlet kick.wav) || status=$?
((status == 0)) || fail "the installed /usr/bin/brumlet exits with $status on kick.wav"
(cd "$work/built" && "$root/build/release/brumlet" kick.wav >/dev/null)
cmp "$work/installed/kick.xi" "$work/built/kick.xi" ||
  fail "the installed program's kick.xi differs from build/release/brumlet's"

# -a: a brumlet page elsewhere on the manual path (say /usr/local, from cmake --install) may come
# first.
man -aw brumlet | grep -qx /usr/share/man/man1/brumlet.1.gz ||
  fail "man -w brumlet does not find /usr/share/man/man1/brumlet.1.gz"

DEBIAN_FRONTEND=noninteractive apt-get remove --purge -y -qq brumlet >/dev/null
installed=no
for file in /usr/bin/brumlet /usr/share/man/man1/brumlet.1.gz /usr/share/doc/brumlet; do
  [[ ! -e $file ]] || fail "$file is left after apt-get remove --purge"
done
status=$(dpkg-query -W -f='${Status}' brumlet 2>/dev/null || true)
[[ -z $status || $status == *not-installed ]] || fail "dpkg still knows brumlet after the purge: $status"

echo "check-deb: ${debs[0]} passes lintian, installs, converts kick.wav like the build, has its man page, and purges cleanly"
