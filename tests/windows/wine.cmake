# The Windows tests run on the build machine under wine, in a wine prefix of the build tree that
# the fixture "wine" makes before the first of them (wineboot, about 10 s the first time). Its
# setup needs the fixture "printers": the tests' private CUPS scheduler with every queue that a
# test prints to, which wine lists as Windows printers.
# Building them needs no wine; running them does (`make test-windows` installs it).
find_program(TARVO_WINE wine)
if(NOT TARVO_WINE)
    message(STATUS "wine is missing: the Windows tests are built, but run only once it is installed")
endif()
set(TARVO_WINE_PREFIX ${CMAKE_BINARY_DIR}/wineprefix CACHE PATH
    "The wine prefix of the Windows tests; wine refuses one that belongs to another user")
set(tarvo_cups_dir ${CMAKE_BINARY_DIR}/cups)
set(TARVO_CUPS_CAPTURE ${tarvo_cups_dir}/capture)
set(TARVO_WINDOWS_QUEUES tarvo_win_tickets tarvo_win_labels tarvo_win_program
    tarvo_win_following)

# Every Windows program of the tests runs with this environment: a prefix of its own; no debug
# output; no offer to install Mono or Gecko (a dialog that would wait forever) and no menu
# entries in the home directory; a locale in which wine passes non-ASCII names on unchanged; and
# the tests' scheduler, the same for every program, so that wine's list of printers never flips
# between two. It is part of the emulator's command, since gtest listings and tests alike run
# through it.
set(tarvo_wine_environment
    WINEPREFIX=${TARVO_WINE_PREFIX} WINEDEBUG=-all
    WINEDLLOVERRIDES=mscoree,mshtml,winemenubuilder.exe=d LC_ALL=C.UTF-8
    CUPS_SERVER=${tarvo_cups_dir}/cups.sock TARVO_CUPS_CAPTURE=${TARVO_CUPS_CAPTURE})
set(CMAKE_CROSSCOMPILING_EMULATOR
    ${CMAKE_COMMAND} -E env ${tarvo_wine_environment} sh ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh)

add_test(NAME printers_start COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/printers.sh start
    ${tarvo_cups_dir} ${TARVO_WINDOWS_QUEUES})
add_test(NAME printers_stop COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/printers.sh stop ${tarvo_cups_dir})
set_tests_properties(printers_start PROPERTIES FIXTURES_SETUP printers TIMEOUT 60)
set_tests_properties(printers_stop PROPERTIES FIXTURES_CLEANUP printers TIMEOUT 60)

add_test(NAME wine_setup COMMAND ${CMAKE_COMMAND} -E env ${tarvo_wine_environment}
    sh ${CMAKE_CURRENT_LIST_DIR}/wine-fixture.sh setup)
add_test(NAME wine_cleanup COMMAND ${CMAKE_COMMAND} -E env ${tarvo_wine_environment}
    sh ${CMAKE_CURRENT_LIST_DIR}/wine-fixture.sh cleanup)
set_tests_properties(wine_setup PROPERTIES FIXTURES_SETUP wine FIXTURES_REQUIRED printers
    TIMEOUT 300)
set_tests_properties(wine_cleanup PROPERTIES FIXTURES_CLEANUP wine FIXTURES_REQUIRED printers
    TIMEOUT 60)

# Every test file is its own small Windows program, run under wine. EXCLUDE names the cases of
# a shared suite that check what only the POSIX platform does.
function(tarvo_add_test name)
    cmake_parse_arguments(T "" "" "SOURCES;LIBS;LABELS;EXCLUDE" ${ARGN})
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE ${T_LIBS} tarvo_test_support GTest::gtest
        GTest::gtest_main)
    if(T_EXCLUDE)
        list(JOIN T_EXCLUDE ":" excluded)
        add_test(NAME ${name} COMMAND ${name} --gtest_filter=-${excluded})
    else()
        add_test(NAME ${name} COMMAND ${name})
    endif()
    set_tests_properties(${name} PROPERTIES TIMEOUT 300 FIXTURES_REQUIRED wine)
    if(T_LABELS)
        set_tests_properties(${name} PROPERTIES LABELS "${T_LABELS}")
    endif()
endfunction()
