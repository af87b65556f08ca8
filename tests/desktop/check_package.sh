#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the Debian package from a build tree, checks its dependencies, version and contents and,
# where lintian is installed, that lintian finds no error and no warning in it.
#   check_package.sh BUILD_DIR APP_ID
set -euo pipefail
build=$1
app_id=$2
work="$build/tests/desktop/package-check"
rm -rf "$work"
mkdir -p "$work/out"

(cd "$build" && cpack -G DEB -B "$(realpath "$work/out")") >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log"; echo "cpack failed" >&2; exit 1; }
package=$(find "$work/out" -maxdepth 1 -name 'orvik_*.deb' -print -quit)
[ -n "$package" ] || { echo "no orvik_*.deb was built" >&2; exit 1; }

fail() { echo "$package: $*" >&2; exit 1; }

depends=$(dpkg-deb -f "$package" Depends)
depended=$(tr ',' '\n' <<<"$depends" | awk '{print $1}')
# The libraries and the window's platforms: X11's plugin needed, Wayland's recommended for a
# session without X.
for needed in libc6 libstdc++6 libqt6widgets6 libqt6gui6 libqt6core6 qt6-qpa-plugins qt6-base-abi; do
    grep -qxF "$needed" <<<"$depended" || fail "Depends lacks $needed: $depends"
done
[ "$(dpkg-deb -f "$package" Recommends)" = qt6-wayland ] \
    || fail "Recommends: $(dpkg-deb -f "$package" Recommends)"
# The package, the programs and the changelog's newest entry show one version.
version=$(dpkg-deb -f "$package" Version)
shown=$("$build/bin/orvik-repair" --version)
[ "$shown" = "orvik-repair $version" ] || fail "version $version, but orvik-repair shows: $shown"
newest=$(dpkg-deb --fsys-tarfile "$package" | tar -xOf - ./usr/share/doc/orvik/changelog.gz |
    gzip -dc | head -n 1)
[[ $newest == "orvik ($version) "* ]] || fail "version $version, but the changelog starts: $newest"

# The package is the install tree (install_tree checks its every file) put under /usr.
contents=$(dpkg-deb -c "$package" | awk '{print $NF}')
for file in ./usr/bin/orvik ./usr/bin/orvik-repair "./usr/share/applications/$app_id.desktop"; do
    grep -qxF "$file" <<<"$contents" || fail "does not hold $file"
done

# lintian checks the rest: the copyright file, the changelog, a manual page for each program.
# Informational tags (hardening hints, words lintian takes for misspellings) do not fail. Run as
# root, lintian also says it should not be: that note goes to standard error and is let through.
if command -v lintian >/dev/null 2>&1; then
    lintian --fail-on error,warning "$package" >&2 || fail "lintian found errors or warnings"
fi
