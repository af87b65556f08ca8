# Every install rule of the project, and the packages built from them with CPack:
#   cmake --install build/release --prefix /usr/local
#   (cd build/release && cpack -G DEB)
#   (cd build/windows && cpack)      # orvik-<version>-win64.zip
include(GNUInstallDirs)

if(WIN32)
    # One folder holding the program, ready to unzip and run.
    if(TARGET orvik)
        install(TARGETS orvik RUNTIME DESTINATION .)
    endif()
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
    install(FILES "${PROJECT_SOURCE_DIR}/resources/orvik.png"
        DESTINATION "${CMAKE_INSTALL_DATADIR}/icons/hicolor/32x32/apps"
        RENAME "${ORVIK_APP_ID}.png")
endif()
if(TARGET orvik_repair_cli)
    install(TARGETS orvik_repair_cli RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}")
endif()

set(CPACK_PACKAGE_NAME "orvik")
set(CPACK_PACKAGE_VENDOR "${ORVIK_COMPANY_NAME}")
set(CPACK_PACKAGE_VERSION "${ORVIK_VERSION_DISPLAY}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "repair French accented letters damaged by a wrong decoding")
set(CPACK_PACKAGE_DESCRIPTION
    "When French text stored as UTF-8 is read back as Windows-1252, each accented letter shows as two characters. orvik turns them back into the right letter and changes nothing else.")
set(CPACK_GENERATOR "DEB")
set(CPACK_DEBIAN_FILE_NAME "DEB-DEFAULT")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "orvik maintainers <maintainers@orvik.invalid>")
set(CPACK_DEBIAN_PACKAGE_SECTION "utils")
# Library dependencies come from the binaries; the French texts of Qt's own dialogs and menus
# come from the translations package.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-translations-l10n")
include(CPack)
