# SPDX-License-Identifier: MIT
# Installs the build tree into a scratch prefix and checks that every file lands where a Linux
# desktop, man and a packager look for it, and nothing else is installed.
#   cmake -DBUILD_DIR=... -DPREFIX=... -DAPP_ID=... -DEXPECT_GUI=ON|OFF -DEXPECT_CLI=ON|OFF
#         -P check_install.cmake
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
    OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)

set(expected "share/doc/orvik/copyright" "share/doc/orvik/changelog.gz")
if(EXPECT_GUI)
    list(APPEND expected "bin/orvik" "share/applications/${APP_ID}.desktop"
        "share/metainfo/${APP_ID}.metainfo.xml" "share/man/man1/orvik.1.gz"
        "share/man/fr/man1/orvik.1.gz")
    foreach(size 16 24 32 48 64 128 256)
        list(APPEND expected "share/icons/hicolor/${size}x${size}/apps/${APP_ID}.png")
    endforeach()
endif()
if(EXPECT_CLI)
    list(APPEND expected
        "bin/orvik-repair" "share/man/man1/orvik-repair.1.gz" "share/man/fr/man1/orvik-repair.1.gz")
endif()
# Every file where it belongs, and nothing else (a stray build file, a header, a test program).
file(GLOB_RECURSE installed RELATIVE "${PREFIX}" "${PREFIX}/*")
list(SORT expected)
list(SORT installed)
if(NOT installed STREQUAL expected)
    message(FATAL_ERROR "installed:\n  ${installed}\nexpected:\n  ${expected}")
endif()
execute_process(COMMAND find "${PREFIX}" -path "*/bin/*" ! -perm -u+x OUTPUT_VARIABLE notRunnable)
if(notRunnable)
    message(FATAL_ERROR "installed but not executable:\n${notRunnable}")
endif()
