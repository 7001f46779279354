# Checks that run on the Linux host, without Wine: the shipped 32-bit program's import table,
# the formatting of every source, and the release zip.
# The import table is part of the product: it must load on Windows 95/98/ME and NT 4.0.
add_test(NAME product_imports
    COMMAND ${CMAKE_SOURCE_DIR}/scripts/check-imports.sh $<TARGET_FILE:Linkvigil>)
add_executable(forbidden_import ${CMAKE_CURRENT_LIST_DIR}/support/forbidden_import.c)
target_compile_definitions(forbidden_import PRIVATE _WIN32_WINNT=0x0600)
add_test(NAME import_check_objects_to_newer_imports
    COMMAND ${CMAKE_SOURCE_DIR}/scripts/check-imports.sh $<TARGET_FILE:forbidden_import>)
set_tests_properties(import_check_objects_to_newer_imports PROPERTIES
    PASS_REGULAR_EXPRESSION "missing on Windows 95/98/ME or NT 4.0: KERNEL32.DLL!GetTickCount64")
add_executable(unknown_import ${CMAKE_CURRENT_LIST_DIR}/support/unknown_import.c)
add_test(NAME import_check_objects_to_unreviewed_imports
    COMMAND ${CMAKE_SOURCE_DIR}/scripts/check-imports.sh $<TARGET_FILE:unknown_import>)
set_tests_properties(import_check_objects_to_unreviewed_imports PROPERTIES
    PASS_REGULAR_EXPRESSION "not on the reviewed import list: KERNEL32.DLL!Beep\n.*add the line \"KERNEL32.DLL Beep\" to ")

# No thread-local variable that the runtime allocates on a thread's first use: that
# allocation aborts the process when it fails (each thread's exception state is the
# framework's own for that reason).
add_test(NAME program_has_no_lazily_allocated_thread_locals
    COMMAND sh -c "! grep -n '__emutls_v\\.' '${CMAKE_BINARY_DIR}/Linkvigil.map'")

# The C++ runtime's mutexes must work on Windows 9x, where CreateSemaphoreW is a stub that
# fails: framework/runtime_semaphore.cpp takes the runtime's import slot of it and makes them
# with CreateSemaphoreA, so the program imports that and not the wide one.
add_test(NAME program_makes_the_runtimes_semaphores_without_the_wide_stub
    COMMAND sh -c "imports=\$('${CMAKE_OBJDUMP}' -p \"\$1\") &&
        printf '%s\\n' \"\$imports\" | grep -q ' CreateSemaphoreA\$' &&
        ! printf '%s\\n' \"\$imports\" | grep ' CreateSemaphoreW\$'" sh $<TARGET_FILE:Linkvigil>)

# The UBSan tree's program traps on undefined behaviour: each check the compiler put in ends in
# a trap instruction (ud2), and a build that lost the flags has none. Prints their number.
if(LINKVIGIL_UBSAN)
    add_test(NAME program_traps_on_undefined_behaviour
        COMMAND sh -c "n=\$('${CMAKE_OBJDUMP}' -d --no-show-raw-insn \"\$1\" | awk '\$2 == \"ud2\"' | wc -l) &&
            echo \"\$n trap sites (ud2) in \$1\" && [ \"\$n\" -gt 0 ]" sh $<TARGET_FILE:Linkvigil>)
    set_tests_properties(program_traps_on_undefined_behaviour PROPERTIES LABELS host)
endif()

# A download of one small file: the program stays within 160 KB (163,840 bytes). The UBSan
# tree's program, with its trap sites, is larger and is never shipped.
if(NOT LINKVIGIL_UBSAN)
    add_test(NAME program_within_160_kb
        COMMAND sh -c "size=\$(stat -c %s \"\$1\") && echo \"\$size bytes\" && [ \"\$size\" -le 163840 ]"
            sh $<TARGET_FILE:Linkvigil>)
    set_tests_properties(program_within_160_kb PROPERTIES LABELS host)
endif()

# Formatting is checked too: every C and C++ source as .clang-format says, and a misformatted
# copy of a real source (indented by two instead of four) must be caught.
add_test(NAME sources_formatted COMMAND ${CMAKE_SOURCE_DIR}/scripts/check-format.sh)
file(READ ${CMAKE_SOURCE_DIR}/log/log_file.cpp log_source)
string(REPLACE "\n    " "\n  " misformatted "${log_source}")
if(misformatted STREQUAL log_source)
    message(FATAL_ERROR "log/log_file.cpp has no indented line to misformat")
endif()
file(WRITE ${CMAKE_BINARY_DIR}/tests/misformatted/log_file.cpp "${misformatted}")
add_test(NAME format_check_objects_to_misformatted_code
    COMMAND ${CMAKE_SOURCE_DIR}/scripts/check-format.sh
        ${CMAKE_BINARY_DIR}/tests/misformatted/log_file.cpp)
set_tests_properties(format_check_objects_to_misformatted_code PROPERTIES
    PASS_REGULAR_EXPRESSION "misformatted: .*/misformatted/log_file.cpp")

# The download for Windows users, as scripts/release.sh packs it.
add_test(NAME release_zip
    COMMAND python3 ${CMAKE_SOURCE_DIR}/scripts/check-dist.py --exe $<TARGET_FILE:Linkvigil>
        --source ${CMAKE_SOURCE_DIR} --version ${PROJECT_VERSION} --out ${CMAKE_BINARY_DIR}/dist-check)
# Its README.txt names the DLLs of the import table: a copy that names one more is caught.
file(READ ${CMAKE_SOURCE_DIR}/docs/README-windows.txt readme_text)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/docs/README-windows.txt)
string(REPLACE "KERNEL32, " "KERNEL32, GDI32, " readme_extra_dll "${readme_text}")
if(readme_extra_dll STREQUAL readme_text)
    message(FATAL_ERROR "docs/README-windows.txt names no KERNEL32 to add a DLL beside")
endif()
file(WRITE ${CMAKE_BINARY_DIR}/tests/extra-dll/README-windows.txt "${readme_extra_dll}")
add_test(NAME release_check_objects_to_a_dll_not_imported
    COMMAND python3 ${CMAKE_SOURCE_DIR}/scripts/check-dist.py --exe $<TARGET_FILE:Linkvigil>
        --source ${CMAKE_SOURCE_DIR} --version ${PROJECT_VERSION} --out ${CMAKE_BINARY_DIR}/dist-check-extra-dll
        --readme ${CMAKE_BINARY_DIR}/tests/extra-dll/README-windows.txt)
set_tests_properties(release_check_objects_to_a_dll_not_imported PROPERTIES
    PASS_REGULAR_EXPRESSION "fault: README.txt names DLLs the program does not import: GDI32\n")

# How the scripts tell that 32-bit programs run under emulation: binfmt_misc entries read.
add_test(NAME binfmt_entries_read_as_the_kernel_matches_them
    COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/binfmt_interpreter_test.sh)

# The locale the run command and rasctl.sh give Wine, whatever the caller's.
add_test(NAME run_command_gives_wine_a_utf8_locale
    COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/wine_locale_test.sh)
set_tests_properties(run_command_gives_wine_a_utf8_locale PROPERTIES LABELS "host;scripts")

# Setting up on a day when one package index cannot be fetched: against a stand-in apt-get.
add_test(NAME setup_survives_an_index_that_cannot_be_fetched
    COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/setup_deps_test.sh)
set_tests_properties(setup_survives_an_index_that_cannot_be_fetched PROPERTIES
    SKIP_RETURN_CODE 77)

set_tests_properties(product_imports program_has_no_lazily_allocated_thread_locals
    program_makes_the_runtimes_semaphores_without_the_wide_stub
    import_check_objects_to_newer_imports
    import_check_objects_to_unreviewed_imports sources_formatted
    format_check_objects_to_misformatted_code release_zip release_check_objects_to_a_dll_not_imported
    binfmt_entries_read_as_the_kernel_matches_them PROPERTIES LABELS host)
# Of those, the ones that check the sources and the scripts themselves, alike in every build
# (label scripts as well): scripts/test.sh runs them in its first tree only.
set_tests_properties(import_check_objects_to_newer_imports import_check_objects_to_unreviewed_imports
    sources_formatted format_check_objects_to_misformatted_code
    release_check_objects_to_a_dll_not_imported binfmt_entries_read_as_the_kernel_matches_them
    PROPERTIES LABELS "host;scripts")
set_tests_properties(setup_survives_an_index_that_cannot_be_fetched PROPERTIES
    LABELS "host;scripts")
