# One CTest test per GoogleTest suite, where gtest_discover_tests makes one per case.
# Every test starts a Wine process of its own, and under Wine (more so emulated) a start costs
# more than most unit cases take: a suite's cases run one after another in one process. The
# suites are listed when CTest runs, as gtest_discover_tests(DISCOVERY_MODE PRE_TEST) does, and
# listed again whenever the executable is newer than the list; each test names its cases, so a
# case is run once whichever filter chose it, and the output names a case that failed.
#
#   gtest_discover_suites(<target> [FILTER <gtest filter>] [NAME_SUFFIX <text>]
#                         [PROPERTIES <name> <value> ...])

set(GTEST_SUITES_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/gtest_suites_list.cmake)
set(GTEST_SUITES_RUNNER ${CMAKE_CURRENT_LIST_DIR}/run_suite.sh)

function(gtest_discover_suites target)
    cmake_parse_arguments(PARSE_ARGV 1 arg "" "FILTER;NAME_SUFFIX" "PROPERTIES")
    set(properties "")
    foreach(word IN LISTS arg_PROPERTIES)
        string(APPEND properties " [==[${word}]==]")
    endforeach()
    set(stem ${CMAKE_CURRENT_BINARY_DIR}/${target}${arg_NAME_SUFFIX}_suites)
    file(GENERATE OUTPUT ${stem}_include.cmake CONTENT
"set(suites_exe [==[$<TARGET_FILE:${target}>]==])
set(suites_emulator [==[${CMAKE_CROSSCOMPILING_EMULATOR}]==])
set(suites_runner [==[${GTEST_SUITES_RUNNER}]==])
set(suites_filter [==[${arg_FILTER}]==])
set(suites_name_suffix [==[${arg_NAME_SUFFIX}]==])
set(suites_properties [===[${properties}]===])
set(suites_file [==[${stem}.cmake]==])
include([==[${GTEST_SUITES_SCRIPT}]==])
")
    set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${stem}_include.cmake)
endfunction()
