# Run by CTest (gtest_suites.cmake): lists the suites of suites_exe and adds a test for each.
# The list is kept in suites_file and made again only when the executable (or this) is newer.
cmake_policy(VERSION 3.20)
if(NOT EXISTS "${suites_file}" OR "${suites_exe}" IS_NEWER_THAN "${suites_file}"
   OR "${CMAKE_CURRENT_LIST_FILE}" IS_NEWER_THAN "${suites_file}")
    set(filter_option "")
    if(suites_filter)
        set(filter_option "--gtest_filter=${suites_filter}")
    endif()
    execute_process(
        COMMAND "${suites_emulator}" "${suites_exe}" --gtest_list_tests ${filter_option}
        OUTPUT_VARIABLE listing
        ERROR_VARIABLE errors
        RESULT_VARIABLE status
        TIMEOUT 120)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "Could not list the tests of ${suites_exe} (${status}):\n${listing}${errors}")
    endif()

    # Suites are lines "Name." and their cases follow indented by two spaces; a parameterised
    # one is followed by a comment ("  # GetParam() = ...").
    string(REPLACE ";" "\\;" listing "${listing}")
    string(REPLACE "\n" ";" lines "${listing}")
    set(suites "")
    set(suite "")
    foreach(line IN LISTS lines)
        string(REGEX REPLACE " +#.*" "" line "${line}")
        string(REGEX REPLACE "\r$" "" line "${line}")
        if(line MATCHES "^([A-Za-z0-9_/]+)\\.$")
            set(suite "${CMAKE_MATCH_1}")
        elseif(suite AND line MATCHES "^  ([A-Za-z0-9_/]+)$")
            set(case "${CMAKE_MATCH_1}")
            # Disabled cases stay disabled, as GoogleTest's own run leaves them.
            if(NOT case MATCHES "^DISABLED_" AND NOT suite MATCHES "^DISABLED_")
                if(NOT suite IN_LIST suites)
                    list(APPEND suites "${suite}")
                    set(cases_${suite} "")
                    set(count_${suite} 0)
                endif()
                string(APPEND cases_${suite} ":${suite}.${case}")
                math(EXPR count_${suite} "${count_${suite}} + 1")
            endif()
        endif()
    endforeach()
    if(NOT suites)
        message(FATAL_ERROR "No tests of ${suites_exe} match \"${suites_filter}\":\n${listing}")
    endif()

    set(script "")
    foreach(suite IN LISTS suites)
        string(SUBSTRING "${cases_${suite}}" 1 -1 cases)
        set(name "${suite}${suites_name_suffix}")
        string(APPEND script
            "add_test([==[${name}]==] [==[${suites_runner}]==] ${count_${suite}} "
            "[==[${suites_emulator}]==] [==[${suites_exe}]==] [==[--gtest_filter=${cases}]==])\n"
            "set_tests_properties([==[${name}]==] PROPERTIES ${suites_properties})\n")
    endforeach()
    file(WRITE "${suites_file}" "${script}")
endif()
include("${suites_file}")
