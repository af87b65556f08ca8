# SPDX-License-Identifier: MIT
# Installs the build tree into a scratch prefix and checks that every file lands where a Linux
# desktop, man and a packager look for it, and nothing else is installed.
#   cmake -DBUILD_DIR=... -DPREFIX=... -DAPP_ID=... -DEXPECT_GUI=ON|OFF -DEXPECT_CLI=ON|OFF
#         -P check_install.cmake
function(fail message)
    message(FATAL_ERROR "${message}")
endfunction()

file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
    RESULT_VARIABLE status OUTPUT_QUIET)
if(NOT status EQUAL 0)
    fail("cmake --install failed: ${status}")
endif()

set(expected "share/doc/orvik/copyright" "share/doc/orvik/changelog.gz")
if(EXPECT_GUI)
    list(APPEND expected
        "bin/orvik"
        "share/applications/${APP_ID}.desktop"
        "share/metainfo/${APP_ID}.metainfo.xml"
        "share/icons/hicolor/16x16/apps/${APP_ID}.png"
        "share/icons/hicolor/24x24/apps/${APP_ID}.png"
        "share/icons/hicolor/32x32/apps/${APP_ID}.png"
        "share/icons/hicolor/48x48/apps/${APP_ID}.png"
        "share/icons/hicolor/64x64/apps/${APP_ID}.png"
        "share/icons/hicolor/128x128/apps/${APP_ID}.png"
        "share/icons/hicolor/256x256/apps/${APP_ID}.png"
        "share/man/man1/orvik.1.gz"
        "share/man/fr/man1/orvik.1.gz")
endif()
if(EXPECT_CLI)
    list(APPEND expected
        "bin/orvik-repair" "share/man/man1/orvik-repair.1.gz" "share/man/fr/man1/orvik-repair.1.gz")
endif()
foreach(relative IN LISTS expected)
    if(NOT EXISTS "${PREFIX}/${relative}")
        fail("not installed: ${relative}")
    endif()
endforeach()
foreach(program orvik orvik-repair)
    if(EXISTS "${PREFIX}/bin/${program}")
        execute_process(COMMAND test -x "${PREFIX}/bin/${program}" RESULT_VARIABLE status)
        if(NOT status EQUAL 0)
            fail("installed but not executable: bin/${program}")
        endif()
    endif()
endforeach()

# Nothing installed outside the usual folders (a stray build file, a header, a test program).
file(GLOB_RECURSE installed RELATIVE "${PREFIX}" "${PREFIX}/*")
foreach(relative IN LISTS installed)
    list(FIND expected "${relative}" index)
    if(index EQUAL -1)
        fail("unexpected installed file: ${relative}")
    endif()
endforeach()
message(STATUS "installed tree: ${expected}")
