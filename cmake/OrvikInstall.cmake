# SPDX-License-Identifier: MIT
# Every install rule of the project, and the packages built from them with CPack:
#   cmake --install build/release --prefix /usr/local
#   (cd build/release && cpack -G DEB)
#   (cd build/windows && cpack)      # orvik-<version>-win64.zip
include(GNUInstallDirs)

if(WIN32)
    # One folder holding the programs, a guide, their license and their changelog, ready to unzip
    # and run.
    if(TARGET orvik)
        install(TARGETS orvik RUNTIME DESTINATION .)
    endif()
    install(TARGETS orvik_repair_cli RUNTIME DESTINATION .)
    # A short French guide and the license, as texts Notepad opens: .txt, CR LF line ends.
    configure_file("${PROJECT_SOURCE_DIR}/resources/LISEZMOI.txt.in" LISEZMOI.txt @ONLY
        NEWLINE_STYLE CRLF)
    configure_file("${PROJECT_SOURCE_DIR}/LICENSE" LICENSE.txt @ONLY NEWLINE_STYLE CRLF)
    install(FILES "${PROJECT_BINARY_DIR}/LISEZMOI.txt" "${PROJECT_BINARY_DIR}/LICENSE.txt"
        "${PROJECT_SOURCE_DIR}/CHANGELOG.md" DESTINATION .)
    set(CPACK_PACKAGE_NAME "orvik")
    set(CPACK_PACKAGE_VENDOR "${ORVIK_COMPANY_NAME}")
    set(CPACK_PACKAGE_VERSION "${ORVIK_VERSION_DISPLAY}")
    set(CPACK_GENERATOR "ZIP")
    set(CPACK_PACKAGE_FILE_NAME "orvik-${ORVIK_VERSION_DISPLAY}-win64")
    include(CPack)
    return()
endif()

if(TARGET orvik)
    install(TARGETS orvik RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}")
    install(FILES "${ORVIK_DESKTOP_FILE}" DESTINATION "${CMAKE_INSTALL_DATADIR}/applications")
    install(FILES "${ORVIK_METAINFO_FILE}" DESTINATION "${CMAKE_INSTALL_DATADIR}/metainfo")
    # The icon at each size a dock, a menu or an overview asks for, all derived from orvik.xpm.
    foreach(size 16 24 32 48 64 128 256)
        if(size EQUAL 32)
            set(icon "${PROJECT_SOURCE_DIR}/resources/orvik.png")
        else()
            set(icon "${PROJECT_SOURCE_DIR}/resources/icons/${size}.png")
        endif()
        install(FILES "${icon}" DESTINATION "${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps"
            RENAME "${ORVIK_APP_ID}.png")
    endforeach()
endif()
if(TARGET orvik_repair_cli)
    install(TARGETS orvik_repair_cli RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}")
endif()

# The license and the changelog in share/doc/orvik, as Debian lays them out. Each program's manual
# page, in English and in French.
install(FILES "${ORVIK_DOC_DIR}/copyright" "${ORVIK_DOC_DIR}/changelog.gz"
    DESTINATION "${CMAKE_INSTALL_DOCDIR}")
foreach(target_and_page orvik:orvik orvik_repair_cli:orvik-repair)
    string(REPLACE ":" ";" target_and_page "${target_and_page}")
    list(GET target_and_page 0 target)
    list(GET target_and_page 1 page)
    if(TARGET ${target})
        install(FILES "${ORVIK_MAN_DIR}/${page}.1.gz" DESTINATION "${CMAKE_INSTALL_MANDIR}/man1")
        install(FILES "${ORVIK_MAN_DIR}/fr/${page}.1.gz"
            DESTINATION "${CMAKE_INSTALL_MANDIR}/fr/man1")
    endif()
endforeach()

set(CPACK_PACKAGE_NAME "orvik")
set(CPACK_PACKAGE_VENDOR "${ORVIK_COMPANY_NAME}")
set(CPACK_PACKAGE_VERSION "${ORVIK_VERSION_DISPLAY}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "repair French accented letters damaged by a wrong decoding")
# Lines of at most 80 columns, as dpkg shows them; CPack indents each by one space.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
    "When French text stored as UTF-8 is read back as Windows-1252, each accented"
    "letter shows as two characters, such as Ã© for é. orvik turns them back into"
    "the right letter and changes nothing else."
    ""
    "The package holds the window, orvik, which repairs the text pasted into it and"
    "copies the result back to the clipboard, and orvik-repair, a command-line"
    "filter that repairs UTF-8 files and pipelines, in place if asked.")
set(CPACK_GENERATOR "DEB")
set(CPACK_DEBIAN_FILE_NAME "DEB-DEFAULT")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${ORVIK_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION "utils")
set(CPACK_STRIP_FILES ON)
# Library dependencies come from the binaries; the French texts of Qt's own dialogs and menus
# come from the translations package. The window runs on Qt's X11 platform wherever an X display
# answers (XWayland in a Wayland session), whose plugin libqt6gui6 only recommends; on Wayland
# alone it needs Qt's Wayland plugin, recommended. It reaches into Qt's platform interface, whose
# binary form holds for one Qt version only.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
if(TARGET orvik)
    find_package(Qt6 6.4 REQUIRED COMPONENTS Core)
    set(CPACK_DEBIAN_PACKAGE_DEPENDS
        "qt6-translations-l10n, qt6-qpa-plugins, qt6-base-abi (= ${Qt6Core_VERSION})")
    set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland")
endif()
include(CPack)
