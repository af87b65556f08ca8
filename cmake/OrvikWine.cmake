# SPDX-License-Identifier: MIT
# Tests of a cross-built Windows program run under wine (scripts/wine-run.sh, the toolchain's
# emulator). The fixture test wine_prefix makes one wine prefix in the build tree; every wine test
# runs in a copy of it, in its own X server.
set(ORVIK_WINE_TEMPLATE "${PROJECT_BINARY_DIR}/wine-prefix")
add_test(NAME wine_prefix
    COMMAND "${PROJECT_SOURCE_DIR}/scripts/wine-run.sh" --make-template "${ORVIK_WINE_TEMPLATE}")
set_tests_properties(wine_prefix PROPERTIES FIXTURES_SETUP wine_prefix TIMEOUT 300)

# orvik_wine_test(<test>...): the tests run in a copy of the build tree's prefix.
function(orvik_wine_test)
    set_tests_properties(${ARGN} PROPERTIES
        FIXTURES_REQUIRED wine_prefix
        ENVIRONMENT "ORVIK_WINE_TEMPLATE=${ORVIK_WINE_TEMPLATE}")
endfunction()
