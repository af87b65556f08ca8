#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the program (installing what it needs on Debian) and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh

orvik_install_packages "${ORVIK_BUILD_PACKAGES[@]}"
cmake --preset release >/dev/null
cmake --build --preset release -j "$(orvik_jobs)"
exec ./build/release/bin/orvik "$@"
