# SPDX-License-Identifier: MIT
# Sourced by the other scripts: installs the Debian packages a command needs, once.
# Packages already present are not fetched again, so a second run works offline.

orvik_install_packages() {
    local missing=()
    local package
    for package in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$package")
        fi
    done
    [ ${#missing[@]} -eq 0 ] && return 0

    local sudo=()
    if [ "$(id -u)" -ne 0 ]; then
        if command -v sudo >/dev/null 2>&1; then
            sudo=(sudo)
        else
            echo "orvik: these packages are missing and installing them needs root: ${missing[*]}" >&2
            return 1
        fi
    fi
    echo "orvik: installing ${missing[*]}" >&2
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -q >&2
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends \
        "${missing[@]}" >&2
}

# What building and running the program needs on Debian 12. The DejaVu fonts are the sans-serif
# faces the window falls back to; the condensed ones (-extra) let the long button captions keep a
# larger size.
# Without an X display the window runs on Qt's Wayland plugin and uses Qt's platform interface
# (qt6-base-private-dev) and libwayland-client there.
ORVIK_BUILD_PACKAGES=(cmake g++ make pkg-config qt6-base-dev qt6-base-private-dev libxcb1-dev
    libwayland-dev qt6-wayland qt6-translations-l10n fonts-dejavu-core fonts-dejavu-extra)

# What the tests need on top of that: the window's end-to-end test runs the program in Xvfb, with
# xclip at the other end of the clipboard and xdotool clicking, and python3-xlib plays misbehaving
# clipboard owners; the desktop files are validated, the manual pages rendered (man-db,
# groff-base), and the Debian package is built (dpkg-dev, file) and checked by lintian; the
# filter's in-place test gives files ACLs and extended attributes (acl, attr), and strace holds
# a repair in place at chosen steps while another program writes to the file. clang builds the
# tests a second time and the fuzzers, which need its runtime libraries (libclang-rt-dev: libFuzzer
# and the sanitizers' runtimes, which --no-install-recommends leaves out). The Wayland test runs
# weston inside Xvfb, reads the clipboard with wl-clipboard and finds the window on screenshots
# (imagemagick).
ORVIK_TEST_PACKAGES=(libgtest-dev libbenchmark-dev xvfb xauth xclip xdotool desktop-file-utils appstream
    dpkg-dev file man-db groff-base lintian acl attr python3-xlib strace clang libclang-rt-dev weston
    wl-clipboard imagemagick)

# What building orvik.exe for Windows and testing it under wine needs: the mingw-w64 cross compiler
# with the posix thread model, GoogleTest's sources to cross-build it, wine with the fonts of its
# dialogs, and icoutils, whose wrestool reads the icon and the manifest back from the program.
ORVIK_WINDOWS_PACKAGES=(mingw-w64 g++-mingw-w64-x86-64-posix googletest wine wine64 fonts-wine icoutils
    xvfb xauth xclip xdotool)

# What taking the window's screenshot for the README needs (scripts/screenshot.sh).
ORVIK_SCREENSHOT_PACKAGES=(xvfb xdotool imagemagick)

orvik_jobs() {
    nproc 2>/dev/null || echo 2
}
