#!/usr/bin/env bash
# The Debian package of this build: made with CPack, unpacked into a
# temporary folder, and each program run from there; its man pages hold every
# option and exit code of the programs' --help.
#   package_test.sh BUILD-DIR
set -euo pipefail
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work" >/dev/null
deb=$(ls "$work"/kelvarin_*_amd64.deb)
dpkg-deb -x "$deb" "$work/root"
root="$work/root/usr"
version=$(dpkg-deb -f "$deb" Version)
for program in kelvarin kelvarin-cli kelvarin-device; do
    out=$("$root/bin/$program" --version)
    [ "$out" = "$program $version" ] || { echo "$program --version says: $out" >&2; exit 1; }
    [ -s "$root/share/man/man1/$program.1.gz" ] || { echo "no man page for $program" >&2; exit 1; }
    [[ "$(zcat "$root/share/man/man1/$program.1.gz")" == *$'\n'.TH* ]] || { echo "$program.1 is no man page" >&2; exit 1; }
done
for file in share/applications/kelvarin.desktop share/icons/hicolor/48x48/apps/kelvarin.png \
    share/icons/hicolor/256x256/apps/kelvarin.png share/doc/kelvarin/copyright \
    share/doc/kelvarin/changelog.gz share/doc/kelvarin/README.md.gz \
    share/doc/kelvarin/docs/window-zh.png share/doc/kelvarin/docs/guide.md.gz \
    share/doc/kelvarin/docs/bench-rtt.svg; do
    [ -s "$root/$file" ] || { echo "the package lacks /usr/$file" >&2; exit 1; }
done
/usr/bin/python3 "$(dirname "$0")/manual_test.py" \
    "$root/bin/kelvarin" "$root/share/man/man1/kelvarin.1.gz" \
    "$root/bin/kelvarin-cli" "$root/share/man/man1/kelvarin-cli.1.gz" \
    "$root/bin/kelvarin-device" "$root/share/man/man1/kelvarin-device.1.gz" >/dev/null
desktop-file-validate "$root/share/applications/kelvarin.desktop"
grep -q '^Name\[zh_CN\]=' "$root/share/applications/kelvarin.desktop"
[[ "$(dpkg-deb -f "$deb" Depends)" == *libqt6widgets6* ]]
echo "package: $(basename "$deb"): the three programs run from it, version $version"
