# Installs the build tree into a scratch prefix and checks that every file lands where a Linux
# desktop looks for it, and that every place that shows the version shows the same one.
#   cmake -DBUILD_DIR=... -DPREFIX=... -DAPP_ID=... -DVERSION=... -DVERSION_NUMERIC=...
#         -DEXPECT_GUI=ON|OFF -DEXPECT_CLI=ON|OFF -P check_install.cmake
function(fail message)
    message(FATAL_ERROR "${message}")
endfunction()

string(REPLACE "." "\\." version_pattern "${VERSION}")
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
    RESULT_VARIABLE status OUTPUT_QUIET)
if(NOT status EQUAL 0)
    fail("cmake --install failed: ${status}")
endif()

set(expected "")
if(EXPECT_GUI)
    list(APPEND expected
        "bin/orvik"
        "share/applications/${APP_ID}.desktop"
        "share/metainfo/${APP_ID}.metainfo.xml"
        "share/icons/hicolor/32x32/apps/${APP_ID}.png")
endif()
if(EXPECT_CLI)
    list(APPEND expected "bin/orvik-repair")
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

# The generated files, installed or not, carry the version; where installed, the same files.
foreach(generated desktop metainfo)
    if(generated STREQUAL "desktop")
        set(relative "share/applications/${APP_ID}.desktop")
        set(built "${BUILD_DIR}/resources/${APP_ID}.desktop")
    else()
        set(relative "share/metainfo/${APP_ID}.metainfo.xml")
        set(built "${BUILD_DIR}/resources/${APP_ID}.metainfo.xml")
    endif()
    file(READ "${built}" content)
    if(EXPECT_GUI)
        file(READ "${PREFIX}/${relative}" installed_content)
        if(NOT installed_content STREQUAL content)
            fail("the installed ${relative} differs from the generated one")
        endif()
    endif()
    set(${generated} "${content}")
endforeach()
if(NOT desktop MATCHES "\nX-Orvik-Version=${version_pattern}\n")
    fail("the desktop entry does not carry version ${VERSION}")
endif()
if(NOT desktop MATCHES "\nIcon=${APP_ID}\n")
    fail("the desktop entry does not name the installed icon ${APP_ID}")
endif()
if(NOT metainfo MATCHES "<release version=\"${version_pattern}\"")
    fail("the metainfo does not carry version ${VERSION}")
endif()
if(NOT metainfo MATCHES "<id>${APP_ID}</id>")
    fail("the metainfo does not carry the id ${APP_ID}")
endif()

file(READ "${BUILD_DIR}/resources/orvik.rc" rc)
string(REPLACE "." "," numeric_commas "${VERSION_NUMERIC}")
foreach(needle "FILEVERSION ${numeric_commas}" "PRODUCTVERSION ${numeric_commas}"
        "\"FileVersion\", \"${VERSION}\"" "\"ProductVersion\", \"${VERSION}\""
        "\"OriginalFilename\", \"orvik.exe\"" "BLOCK \"040904B0\"")
    string(FIND "${rc}" "${needle}" at)
    if(at EQUAL -1)
        fail("the Windows version record lacks: ${needle}")
    endif()
endforeach()

if(EXPECT_CLI)
    execute_process(COMMAND "${PREFIX}/bin/orvik-repair" --version
        OUTPUT_VARIABLE shown OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE status)
    if(NOT status EQUAL 0 OR NOT shown STREQUAL "orvik-repair ${VERSION}")
        fail("orvik-repair --version shows '${shown}' (status ${status}), not ${VERSION}")
    endif()
endif()
message(STATUS "installed tree and versions agree: ${VERSION}")
