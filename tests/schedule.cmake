# Run by CTest once the tests of GoogleTest's listings are added (the last of the directory's
# TEST_INCLUDE_FILES, tests/CMakeLists.txt): how CTest deals out the tests it knows only then,
# by name (a parameterised case's name goes on with "  # GetParam() = ..."). schedule_lists:
# the files that add them.
#
# COST: seconds natively, measured. Without times of an earlier run (a fresh build), CTest
# starts the costliest first; a long case started last would leave the other slots idle while
# it runs. After a run CTest goes by the times it measured.
# The processor: a case that keeps a processor busy (most only wait for the program's timers)
# asks for the tree's one "processor" beside its Wine slot, so that two such cases never run
# at once and waiting cases run beside them.
cmake_policy(VERSION 3.20)
#   name (a regular expression; of two that match, the later wins)  cost  processor-bound
set(schedule
    "^AllocFaults\\.EveryAllocationOfEveryPathMayFail$"                11  no
    "^Windows/VersionMatrix\\..*/(win95|win98|winme)( |$)"             10  no
    "^MonitorTest$"                                                     9  no
    "^AppTest\\.DialAbandonedBeforeItsAddressReportsNothing$"           7  no
    "^Reliability\\.StartStopStormLeavesNoThreadOrHandleBehind$"        7  yes
    "^AllocFaults\\.AShortageFromAnyAllocation"                         6  yes
    "^Reliability\\.SoakOfRandomRasChangesLosesNothing$"                5  yes
    "^Reliability\\.KilledWhileWriting"                                 5  yes
    "^Windows/LateAddress\\."                                           2  no
    "^Windows/LateAddress\\.ConnectionWhoseAddressArrives.*/win98( |$)" 5  no
    "^AppTest\\.(RefusedNotificationsAreReplaced|PollingMode)"          4  no
    "^Reliability\\.ClosedDuringACheckOrA9xSettleDelay"                 4  no
    "^RasStandinTest$"                                                  2  yes)

set(tests "")
foreach(list IN LISTS schedule_lists)
    if(EXISTS "${list}")
        file(STRINGS "${list}" lines REGEX "^add_test\\(")
        foreach(line IN LISTS lines)
            if(line MATCHES "^add_test\\(\\[=*\\[([^]]+)\\]")
                list(APPEND tests "${CMAKE_MATCH_1}")
            endif()
        endforeach()
    endif()
endforeach()

list(LENGTH schedule length)
math(EXPR last "${length} - 1")
foreach(i RANGE 0 ${last} 3)
    math(EXPR j "${i} + 1")
    math(EXPR k "${i} + 2")
    list(GET schedule ${i} pattern)
    list(GET schedule ${j} cost)
    list(GET schedule ${k} processor)
    set(matched "")
    foreach(test IN LISTS tests)
        if(test MATCHES "${pattern}")
            list(APPEND matched "${test}")
        endif()
    endforeach()
    if(NOT matched)
        # A case renamed or gone: the schedule no longer says what it needs.
        message(WARNING "tests/schedule.cmake: no test is named as ${pattern}")
        continue()
    endif()
    set_tests_properties(${matched} PROPERTIES COST ${cost})
    if(processor)
        # Added as a group of its own after the test's Wine slot, which stays group 0
        # (CTEST_RESOURCE_GROUP_0_WINE, the slot wine-run takes).
        set_tests_properties(${matched} PROPERTIES RESOURCE_GROUPS processor:1)
    endif()
endforeach()
