# SPDX-License-Identifier: MIT
# The documents installed with the programs, generated in the build tree at configure time:
#   man/[fr/]orvik.1.gz, man/[fr/]orvik-repair.1.gz   the manual pages, English and French
#   doc/changelog.gz                                   CHANGELOG.md as a Debian changelog
#   doc/copyright                                      LICENSE in Debian's machine-readable form
# Every file is compressed with "gzip -9n", so the same sources give the same bytes.
find_program(ORVIK_GZIP gzip REQUIRED)
set(ORVIK_DOC_DIR "${PROJECT_BINARY_DIR}/doc")
set(ORVIK_MAN_DIR "${PROJECT_BINARY_DIR}/man")
set_property(DIRECTORY "${PROJECT_SOURCE_DIR}" APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
    "${PROJECT_SOURCE_DIR}/CHANGELOG.md" "${PROJECT_SOURCE_DIR}/LICENSE")

function(orvik_gzip input output)
    execute_process(COMMAND "${ORVIK_GZIP}" -9 -n -c "${input}" OUTPUT_FILE "${output}"
        RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "gzip ${input}: ${status}")
    endif()
endfunction()

foreach(page orvik.1 orvik-repair.1 fr/orvik.1 fr/orvik-repair.1)
    configure_file("${PROJECT_SOURCE_DIR}/man/${page}.in" "${ORVIK_MAN_DIR}/${page}" @ONLY)
    orvik_gzip("${ORVIK_MAN_DIR}/${page}" "${ORVIK_MAN_DIR}/${page}.gz")
endforeach()

# Appends TEXT to the variable OUT, wrapped to 80 columns: FIRST starts the first line, INDENT the
# others.
function(orvik_wrap text first indent out)
    # The caller's variable is read through ${out}: local names must not hide it.
    string(REGEX REPLACE "[ ]+" ";" _words "${text}")
    set(_done "")
    set(_line "${first}")
    set(_empty TRUE)
    foreach(_word IN LISTS _words)
        string(LENGTH "${_line} ${_word}" _length)
        if(_empty)
            string(APPEND _line "${_word}")
            set(_empty FALSE)
        elseif(_length GREATER 80)
            string(APPEND _done "${_line}\n")
            set(_line "${indent}${_word}")
        else()
            string(APPEND _line " ${_word}")
        endif()
    endforeach()
    set(${out} "${${out}}${_done}${_line}\n" PARENT_SCOPE)
endfunction()

# A Debian changelog from a "Keep a Changelog" file: one entry per dated "## [VERSION] - DATE"
# section, newest first; "### Kind" headings become "Kind:" lines, list items "*" items,
# everything before the first section and undated sections ("Unreleased") are left out.
function(orvik_debian_changelog markdown maintainer output)
    file(READ "${markdown}" text)
    string(ASCII 31 semicolon) # a list separator in CMake: kept out of the way until written
    string(REPLACE ";" "${semicolon}" text "${text}")
    string(REPLACE "\n" ";" lines "${text};")
    set(days Sun Mon Tue Wed Thu Fri Sat)
    set(months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
    set(month_offsets 0 3 2 5 0 3 5 1 4 6 2 4) # day of the week by Sakamoto's method
    set(result "")
    set(trailer "")
    set(in_entry FALSE)
    set(item "")
    set(item_first "")
    foreach(line IN LISTS lines)
        if(line MATCHES "^## " OR line MATCHES "^### " OR line MATCHES "^- " OR line STREQUAL "")
            if(NOT item STREQUAL "")
                orvik_wrap("${item}" "${item_first}" "    " result)
                set(item "")
            endif()
        endif()
        if(line MATCHES "^## \\[([^]]+)\\] - ([0-9][0-9][0-9][0-9])-([0-9][0-9])-([0-9][0-9])")
            string(APPEND result "${trailer}")
            set(version "${CMAKE_MATCH_1}")
            math(EXPR year "${CMAKE_MATCH_2}")
            math(EXPR month "${CMAKE_MATCH_3}")
            math(EXPR day "${CMAKE_MATCH_4}")
            math(EXPR month_index "${month} - 1")
            list(GET months ${month_index} month_name)
            list(GET month_offsets ${month_index} offset)
            set(y ${year})
            if(month LESS 3)
                math(EXPR y "${y} - 1")
            endif()
            math(EXPR weekday "(${y} + ${y} / 4 - ${y} / 100 + ${y} / 400 + ${offset} + ${day}) % 7")
            list(GET days ${weekday} day_name)
            string(APPEND result "orvik (${version}) unstable${semicolon} urgency=medium\n\n")
            set(trailer "\n -- ${maintainer}  ${day_name}, ${CMAKE_MATCH_4} ${month_name} ${year} 00:00:00 +0000\n")
            set(in_entry TRUE)
        elseif(line MATCHES "^## ")
            string(APPEND result "${trailer}")
            set(trailer "")
            set(in_entry FALSE)
        elseif(NOT in_entry)
        elseif(line MATCHES "^### (.*)")
            string(APPEND result "\n  ${CMAKE_MATCH_1}:\n")
        elseif(line MATCHES "^- (.*)")
            set(item "${CMAKE_MATCH_1}")
            set(item_first "  * ")
        elseif(line MATCHES "^ *(.+)")
            if(item STREQUAL "")
                set(item "${CMAKE_MATCH_1}")
                set(item_first "  ")
            else()
                string(APPEND item " ${CMAKE_MATCH_1}")
            endif()
        endif()
    endforeach()
    string(APPEND result "${trailer}")
    # Blank lines only between entries and before a heading, never two in a row.
    string(REGEX REPLACE "\n\n\n+" "\n\n" result "${result}")
    string(REPLACE "${semicolon}" ";" result "${result}")
    file(WRITE "${output}" "${result}")
endfunction()

orvik_debian_changelog("${PROJECT_SOURCE_DIR}/CHANGELOG.md" "${ORVIK_MAINTAINER}"
    "${ORVIK_DOC_DIR}/changelog")
orvik_gzip("${ORVIK_DOC_DIR}/changelog" "${ORVIK_DOC_DIR}/changelog.gz")

# LICENSE: its "Copyright (c)" line gives the holders, the lines after it the license text.
file(READ "${PROJECT_SOURCE_DIR}/LICENSE" license)
if(NOT license MATCHES "Copyright \\(c\\) ([^\n]+)\n\n(.*[^\n])\n*$")
    message(FATAL_ERROR "LICENSE: no \"Copyright (c)\" line followed by the license text")
endif()
set(holders "${CMAKE_MATCH_1}")
string(REGEX REPLACE "\n\n" "\n.\n" license_text "${CMAKE_MATCH_2}")
string(REPLACE "\n" "\n " license_text "${license_text}")
file(WRITE "${ORVIK_DOC_DIR}/copyright"
    "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"
    "Upstream-Name: orvik\n"
    "\n"
    "Files: *\n"
    "Copyright: ${holders}\n"
    "License: Expat\n"
    " ${license_text}\n"
    "Comment: Expat is Debian's name for the MIT License (SPDX: MIT).\n")
