# Build helpers shared by every program folder.

# Warnings as errors for our own code only (GoogleTest is built with its own flags).
add_library(zandrel_warnings INTERFACE)
target_compile_options(zandrel_warnings INTERFACE -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Werror)

if(ZANDREL_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

# Hardened Windows binaries: a stack protector in every function that keeps an array or takes an
# address of a local, and checked forms of the string and memory functions where the sizes are known.
# MinGW's protector needs libssp, which the static link puts into the executable. Control Flow Guard
# is nothing this toolchain can produce (no GCC option; GNU ld writes no guard tables).
if(WIN32 AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  add_compile_options(-fstack-protector-strong -D_FORTIFY_SOURCE=2)
  add_link_options(-fstack-protector-strong)
endif()

if(ZANDREL_FUZZ)
  # The libraries under test get coverage instrumentation; each fuzzer links the libFuzzer main.
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

# Portable core library of a program: builds everywhere and reaches the system only through its ports.
function(zandrel_add_core name)
  add_library(${name} STATIC ${ARGN})
  target_link_libraries(${name} PUBLIC zandrel_warnings)
endfunction()

# A GoogleTest binary, registered as one CTest test (under Wine a process start is costly).
#   zandrel_add_test(NAME SOURCES a.cpp b.cpp LIBS lib1 lib2 [WINDOWS_ONLY])
function(zandrel_add_test name)
  cmake_parse_arguments(ARG "WINDOWS_ONLY" "" "SOURCES;LIBS" ${ARGN})
  if(ZANDREL_FUZZ OR (ARG_WINDOWS_ONLY AND NOT WIN32))
    return()
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gmock GTest::gtest_main zandrel_warnings)
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES TIMEOUT 600)
  if(WIN32)
    # Every suite of the Windows build travels in the test kit (packaging/, target dist_tests).
    set_property(GLOBAL APPEND PROPERTY ZANDREL_KIT_SUITES ${name})
  endif()
  if(CMAKE_CROSSCOMPILING AND WIN32)
    set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine)
  endif()
endfunction()

# A libFuzzer target, registered as a bounded smoke run seeded from fuzz/corpus/<name> when present.
#   zandrel_add_fuzzer(NAME SOURCES a.cpp LIBS lib1)
function(zandrel_add_fuzzer name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  if(NOT ZANDREL_FUZZ)
    return()
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} zandrel_warnings)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  set(corpus ${CMAKE_CURRENT_BINARY_DIR}/${name}-corpus)
  set(seeds ${CMAKE_CURRENT_SOURCE_DIR}/fuzz/corpus/${name})
  add_test(NAME ${name}
           COMMAND ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=1
                   $<TARGET_FILE:${name}> -max_total_time=${ZANDREL_FUZZ_SECONDS} -timeout=10
                   -rss_limit_mb=2048 -print_final_stats=1 ${corpus} ${seeds})
  set_tests_properties(${name} PROPERTIES TIMEOUT 900)
  file(MAKE_DIRECTORY ${corpus})
endfunction()

# Tests of the Windows build run under Wine in a private prefix inside the build tree: one fixture
# creates it (and a virtual display) before the first test, another stops wineserver after the last.
function(zandrel_add_wine_fixture)
  set(script ${PROJECT_SOURCE_DIR}/scripts/wine-session.sh)
  add_test(NAME wine_session_start COMMAND bash ${script} start ${CMAKE_BINARY_DIR})
  add_test(NAME wine_session_stop COMMAND bash ${script} stop ${CMAKE_BINARY_DIR})
  set_tests_properties(wine_session_start PROPERTIES FIXTURES_SETUP wine TIMEOUT 300)
  set_tests_properties(wine_session_stop PROPERTIES FIXTURES_CLEANUP wine)
endfunction()

# Tests of the Windows build that run in a locale of their own. Wine takes the user locale and the
# ANSI code page from the Linux locale; the Linux locales are generated into the build tree (without
# them Wine's file names are not UTF-8 and a split locale does not work), nothing system-wide. A
# locale that has no ANSI code page of its own (Hindi) runs in UTF-8, as Windows' "Use Unicode UTF-8"
# option does.
set(ZANDREL_TEST_LOCALES ja_JP tr_TR de_CH hi_IN)
function(zandrel_add_test_locales)
  find_program(ZANDREL_LOCALEDEF localedef)
  if(NOT ZANDREL_LOCALEDEF OR NOT EXISTS /usr/share/i18n/locales/ja_JP)
    message(STATUS "No localedef or locale sources (package locales): the tests in other locales are left out")
    return()
  endif()
  set(generated)
  foreach(locale ${ZANDREL_TEST_LOCALES})
    set(dir ${CMAKE_BINARY_DIR}/locales/${locale}.UTF-8)
    add_custom_command(OUTPUT ${dir}/LC_CTYPE
                       COMMAND ${ZANDREL_LOCALEDEF} -i ${locale} -f UTF-8 ${dir}
                       COMMENT "Generating the Linux locale ${locale}.UTF-8 for the tests" VERBATIM)
    list(APPEND generated ${dir}/LC_CTYPE)
  endforeach()
  add_custom_target(zandrel_test_locales ALL DEPENDS ${generated})
endfunction()

# Registers `target` (a GoogleTest binary of the Windows build) once more, with only the tests of
# `filter`, in `locale`: "LC_ALL=ja_JP.UTF-8", or for a split one "LANG=de_CH.UTF-8 LC_CTYPE=ja_JP.UTF-8".
# Such a run is alone: at a change of locale Wine rewrites the user's regional settings in the prefix,
# which a run beside it would read.
#   zandrel_add_locale_test(NAME TARGET FILTER LOCALE)
function(zandrel_add_locale_test name target filter locale)
  if(NOT (CMAKE_CROSSCOMPILING AND WIN32) OR NOT TARGET zandrel_test_locales)
    return()
  endif()
  add_test(NAME ${name} COMMAND ${target} --gtest_filter=${filter})
  set_tests_properties(${name} PROPERTIES ENVIRONMENT "ZANDREL_WINE_LOCALE=${locale}" FIXTURES_REQUIRED wine
                                          RUN_SERIAL TRUE TIMEOUT 600)
endfunction()

if(CMAKE_CROSSCOMPILING AND WIN32)
  set(CMAKE_CROSSCOMPILING_EMULATOR bash ${PROJECT_SOURCE_DIR}/scripts/wine-exec.sh ${CMAKE_BINARY_DIR})
endif()

# Version information of a Windows executable, from the one shared template.
#   zandrel_add_version_resource(TARGET "File description" "Name.exe")
function(zandrel_add_version_resource target description fileName)
  set(ZANDREL_VERSION_DESCRIPTION "${description}")
  set(ZANDREL_VERSION_FILENAME "${fileName}")
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}-version.rc)
  configure_file(${PROJECT_SOURCE_DIR}/common/win32/version.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
  # The signed release describes the program by the same text (packaging/).
  set_property(TARGET ${target} PROPERTY ZANDREL_DESCRIPTION "${description}")
endfunction()

# The application manifest of a Windows executable (resource RT_MANIFEST, id 1), configured from a
# template that takes ZANDREL_MANIFEST_NAME, _DESCRIPTION and _VERSION (the project's, as
# major.minor.patch.0, the form an assembly version takes).
#   zandrel_add_manifest(TARGET TEMPLATE "Assembly.Name" "Description")
function(zandrel_add_manifest target template name description)
  set(ZANDREL_MANIFEST_NAME "${name}")
  set(ZANDREL_MANIFEST_DESCRIPTION "${description}")
  set(ZANDREL_MANIFEST_VERSION "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}.0")
  set(manifest ${CMAKE_CURRENT_BINARY_DIR}/${target}.manifest)
  configure_file(${template} ${manifest} @ONLY)
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}-manifest.rc)
  # 1 is CREATEPROCESS_MANIFEST_RESOURCE_ID, 24 is RT_MANIFEST.
  file(CONFIGURE OUTPUT ${rc} CONTENT "1 24 \"${manifest}\"\n")
  set_property(SOURCE ${rc} APPEND PROPERTY OBJECT_DEPENDS ${manifest})
  target_sources(${target} PRIVATE ${rc})
endfunction()

# The release's date (cmake/SourceDate.cmake), refreshed at every build; the file changes with the date.
set(ZANDREL_SOURCE_DATE_FILE ${CMAKE_BINARY_DIR}/source-date-epoch.txt)
function(zandrel_add_source_date)
  if(NOT TARGET zandrel_source_date)
    add_custom_target(zandrel_source_date BYPRODUCTS ${ZANDREL_SOURCE_DATE_FILE}
                      COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${PROJECT_SOURCE_DIR} -DOUT=${ZANDREL_SOURCE_DATE_FILE}
                              "-DCONFIGURED=$ENV{SOURCE_DATE_EPOCH}" -P ${PROJECT_SOURCE_DIR}/cmake/SourceDate.cmake
                      VERBATIM)
  endif()
endfunction()

# A program that ships: its manifest, and no symbols (they only help someone take it apart). Its PE time
# stamp is the release's date, so that two builds of one commit give the same bytes; its link map
# (property ZANDREL_LINK_MAP) says what the toolchain's libraries put into it, for the notices.
#   zandrel_ship_program(TARGET TEMPLATE "Assembly.Name" "Description")
function(zandrel_ship_program target template name description)
  zandrel_add_manifest(${target} ${template} "${name}" "${description}")
  set(map ${CMAKE_CURRENT_BINARY_DIR}/${target}.map)
  target_link_options(${target} PRIVATE -s -Wl,-Map=${map})
  set_property(TARGET ${target} PROPERTY ZANDREL_LINK_MAP ${map})
  zandrel_add_source_date()
  add_dependencies(${target} zandrel_source_date)
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${ZANDREL_SOURCE_DATE_FILE})
  set_property(TARGET ${target} PROPERTY CXX_LINKER_LAUNCHER ${CMAKE_COMMAND} -DEPOCH_FILE=${ZANDREL_SOURCE_DATE_FILE}
                                                             -P ${PROJECT_SOURCE_DIR}/cmake/LinkDated.cmake --)
endfunction()
