# SPDX-License-Identifier: MIT
# Derives the displayed version ("1.00.0003") from the project version and writes it into a
# generated header, so that every program and file shows the same version.
string(LENGTH "${PROJECT_VERSION_MINOR}" _minor_len)
string(LENGTH "${PROJECT_VERSION_TWEAK}" _tweak_len)
set(_minor "${PROJECT_VERSION_MINOR}")
set(_tweak "${PROJECT_VERSION_TWEAK}")
if(_minor_len LESS 2)
    string(REPEAT "0" 1 _pad)
    set(_minor "${_pad}${_minor}")
endif()
math(EXPR _tweak_pad "4 - ${_tweak_len}")
if(_tweak_pad GREATER 0)
    string(REPEAT "0" ${_tweak_pad} _pad)
    set(_tweak "${_pad}${_tweak}")
endif()
set(ORVIK_VERSION_DISPLAY "${PROJECT_VERSION_MAJOR}.${_minor}.${_tweak}")

configure_file("${PROJECT_SOURCE_DIR}/cmake/version.h.in"
    "${PROJECT_BINARY_DIR}/generated/orvik_version.h" @ONLY)
add_library(orvik_version INTERFACE)
target_include_directories(orvik_version INTERFACE "${PROJECT_BINARY_DIR}/generated")
