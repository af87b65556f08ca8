# SPDX-License-Identifier: MIT
# The one place that sets how the project's C++ is compiled, applied once every target is defined:
#   orvik_apply_compile_settings(<directory>)
# gives every target built below <directory> the project's warning level (errors with
# ORVIK_WARNINGS_AS_ERRORS), UTF-8 sources, and on Windows the headers' Unicode functions, lean
# headers, no min/max macros and Windows 10's declarations (what older systems lack is looked up
# at run time). Targets of sources from outside the project (GoogleTest, built from Debian's
# sources in cross builds) keep their own settings.
function(orvik_apply_compile_settings directory)
    if(MSVC)
        set(warnings /W4 /permissive- /utf-8)
        set(as_errors /WX)
    else()
        set(warnings -Wall -Wextra -Wpedantic)
        set(as_errors -Werror)
    endif()
    if(ORVIK_WARNINGS_AS_ERRORS)
        list(APPEND warnings ${as_errors})
    endif()
    get_property(targets DIRECTORY "${directory}" PROPERTY BUILDSYSTEM_TARGETS)
    foreach(target IN LISTS targets)
        get_target_property(type ${target} TYPE)
        if(NOT type MATCHES "^(EXECUTABLE|STATIC_LIBRARY|SHARED_LIBRARY|MODULE_LIBRARY|OBJECT_LIBRARY)$")
            continue()
        endif()
        # The resource compiler takes none of the C++ compiler's warning options.
        target_compile_options(${target} PRIVATE "$<$<COMPILE_LANGUAGE:CXX>:${warnings}>")
        if(WIN32)
            target_compile_definitions(${target} PRIVATE UNICODE _UNICODE WIN32_LEAN_AND_MEAN
                NOMINMAX _WIN32_WINNT=0x0A00 WINVER=0x0A00)
        endif()
    endforeach()
    get_property(subdirectories DIRECTORY "${directory}" PROPERTY SUBDIRECTORIES)
    foreach(subdirectory IN LISTS subdirectories)
        cmake_path(IS_PREFIX PROJECT_SOURCE_DIR "${subdirectory}" NORMALIZE inside)
        if(inside)
            orvik_apply_compile_settings("${subdirectory}")
        endif()
    endforeach()
endfunction()
