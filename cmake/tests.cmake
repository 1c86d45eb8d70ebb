# googletest from the source that Debian's googletest package installs.
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
include(GoogleTest)

file(GLOB SUPPORT_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/support/*.cpp)
add_library(test_support STATIC ${SUPPORT_SOURCES})
target_include_directories(test_support PUBLIC ${CMAKE_SOURCE_DIR}/tests ${CMAKE_SOURCE_DIR}/src)
target_link_libraries(test_support PUBLIC engine GTest::gtest)
target_compile_options(test_support PRIVATE ${ENGINE_WARNINGS})

# Each tests/<module>/ folder is one test program; ctest discovers its cases under Wine.
file(GLOB TEST_DIRS LIST_DIRECTORIES true CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/*)
foreach(dir ${TEST_DIRS})
  get_filename_component(name ${dir} NAME)
  if(NOT IS_DIRECTORY ${dir} OR name STREQUAL "support" OR name STREQUAL "data")
    continue()
  endif()
  file(GLOB sources CONFIGURE_DEPENDS ${dir}/*.cpp)
  if(NOT sources)
    continue()
  endif()
  # A folder whose "screen" file names a size runs on a private Xvfb screen of that size.
  set(extra_properties "")
  if(EXISTS ${dir}/screen)
    file(STRINGS ${dir}/screen screen LIMIT_COUNT 1)
    set(extra_properties ENVIRONMENT "WINE_RUN_SCREEN=${screen}")
  endif()
  # A folder whose "resource_lock" file names a resource (say a TCP port) that its cases take:
  # ctest runs no two cases holding the same name at once.
  if(EXISTS ${dir}/resource_lock)
    file(STRINGS ${dir}/resource_lock lock LIMIT_COUNT 1)
    list(APPEND extra_properties RESOURCE_LOCK ${lock})
  endif()
  # A folder whose "timeout" file names seconds gives its cases that timeout instead of 120 s.
  set(timeout 120)
  if(EXISTS ${dir}/timeout)
    file(STRINGS ${dir}/timeout timeout LIMIT_COUNT 1)
  endif()
  add_executable(test_${name} ${sources})
  target_link_libraries(test_${name} PRIVATE test_support game engine GTest::gtest_main)
  target_compile_options(test_${name} PRIVATE ${ENGINE_WARNINGS})
  gtest_discover_tests(test_${name}
    TEST_LIST ${name}_TESTS
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 120
    TEST_PREFIX "${name}."
    PROPERTIES TIMEOUT ${timeout} ${extra_properties})
  list(APPEND TEST_LISTS ${name}_TESTS)
endforeach()

# Suites named *Serial drive the shared X display with real input (xdotool): ctest runs them alone,
# so that no other test's window takes the focus or the pointer meanwhile. The sweep's cases of the
# display commands change modes, which every other program changing modes at once slows several
# times over (each change is told to every window of the prefix): they take turns. Suites named
# *OnTestDisks save onto the small disks of the test_disks fixture, one case at a time (a case
# fills a disk); their environment is set whole here, so no folder with a "screen" file holds
# one. This file runs after the discovery of every program's cases.
set(TEST_DISKS ${CMAKE_BINARY_DIR}/test-disks)
set(SERIAL_TESTS_FILE ${CMAKE_BINARY_DIR}/serial_tests.cmake)
file(WRITE ${SERIAL_TESTS_FILE} "foreach(list ${TEST_LISTS})
  foreach(test \${\${list}})
    if(test MATCHES \"Serial\\\\.\")
      set_tests_properties(\"\${test}\" PROPERTIES RUN_SERIAL TRUE)
    endif()
    if(test MATCHES \"^sweep\\\\..*/display[_ ]\")
      set_tests_properties(\"\${test}\" PROPERTIES RESOURCE_LOCK display-modes)
    endif()
    if(test MATCHES \"OnTestDisks\\\\.\")
      set_tests_properties(\"\${test}\" PROPERTIES FIXTURES_REQUIRED test_disks
                           RESOURCE_LOCK test-disks
                           ENVIRONMENT \"ZARVOLIN_TEST_DISKS=${TEST_DISKS}\")
    endif()
  endforeach()
endforeach()
")
set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${SERIAL_TESTS_FILE})

# The small disks that saves fail on (a full one, a read-only one), mounted as root before the
# cases that need them and unmounted after; without root the script says so and those cases skip.
add_test(NAME test_disks.mount
         COMMAND /bin/bash ${CMAKE_SOURCE_DIR}/scripts/test-disks.sh mount ${CMAKE_BINARY_DIR})
add_test(NAME test_disks.unmount
         COMMAND /bin/bash ${CMAKE_SOURCE_DIR}/scripts/test-disks.sh unmount ${CMAKE_BINARY_DIR})
set_tests_properties(test_disks.mount PROPERTIES FIXTURES_SETUP test_disks TIMEOUT 60)
set_tests_properties(test_disks.unmount PROPERTIES FIXTURES_CLEANUP test_disks TIMEOUT 60)

# The asset generator's own tests, in Debian's Python.
add_test(NAME assets.generator COMMAND /usr/bin/python3 -m unittest discover -s ${CMAKE_SOURCE_DIR}/tests/assets)
set_tests_properties(assets.generator PROPERTIES TIMEOUT 300)

# The Wine runner's second try after a death of the host process: with a stand-in wine, and with
# a real program that kills the host by breaking its own stack.
add_executable(stack_breaker ${CMAKE_SOURCE_DIR}/tests/runner/stack_breaker.c)
set_target_properties(stack_breaker PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/test-data)
target_compile_options(stack_breaker PRIVATE ${ENGINE_WARNINGS})
add_test(NAME runner.wine_run
         COMMAND /bin/bash ${CMAKE_SOURCE_DIR}/tests/runner/wine_run_test.sh
                 $<TARGET_FILE:stack_breaker>)
set_tests_properties(runner.wine_run PROPERTIES TIMEOUT 120)

# The game played end to end through real input: alone, since it needs the keyboard focus.
add_test(NAME e2e.play
         COMMAND /usr/bin/python3 ${CMAKE_SOURCE_DIR}/tests/e2e/play_test.py ${GAME_DIR}
                 ${CMAKE_SOURCE_DIR}/scripts/wine-run ${CMAKE_BINARY_DIR})
set_tests_properties(e2e.play PROPERTIES RUN_SERIAL TRUE TIMEOUT 480)

# A Motion-JPEG clip for the video tests, made with Pillow beside the test programs.
if(TARGET test_video)
  set(MJPEG_CLIP ${CMAKE_BINARY_DIR}/test-data/quads-mjpeg.avi)
  add_custom_command(OUTPUT ${MJPEG_CLIP}
                     COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/test-data
                     COMMAND /usr/bin/python3 ${CMAKE_SOURCE_DIR}/tests/video/mjpeg_avi.py ${MJPEG_CLIP}
                     DEPENDS ${CMAKE_SOURCE_DIR}/tests/video/mjpeg_avi.py)
  add_custom_target(video_test_data DEPENDS ${MJPEG_CLIP})
  add_dependencies(test_video video_test_data)
  add_dependencies(test_damaged_media video_test_data)
  if(TARGET test_links)
    add_dependencies(test_links video_test_data) # the clip a video plays into an image
  endif()
endif()

# A small user DLL for the system module's tests, built twice: stdcall exports decorated
# ("Name@n") and, linked with --kill-at, plain. The tests find both in test-data beside them.
if(TARGET test_system)
  foreach(variant decorated plain)
    add_library(user_calls_${variant} SHARED ${CMAKE_SOURCE_DIR}/tests/system/user_dll/user_calls.c)
    set_target_properties(user_calls_${variant} PROPERTIES
                          PREFIX ""
                          RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/test-data
                          ARCHIVE_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/test-data)
    target_compile_options(user_calls_${variant} PRIVATE ${ENGINE_WARNINGS})
    add_dependencies(test_system user_calls_${variant})
  endforeach()
  target_link_options(user_calls_plain PRIVATE -Wl,--kill-at)
endif()

# The archives the world tests read: made from seeded data by Debian's zip, by Python's zipfile
# and zlib, and by the reference encoders of the old zip methods, with a manifest of
# openarena-data's pak0.pk3. Debian's unzip and a second decoder check the encoders' vectors.
if(TARGET test_world)
  set(ARCHIVE_DIR ${CMAKE_BINARY_DIR}/test-data/archives)
  set(ARCHIVE_STAMP ${ARCHIVE_DIR}/made.stamp)
  file(GLOB ARCHIVE_SCRIPTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/world/*.py)
  foreach(pak pak0.pk3 pak1-maps.pk3 pak4-textures.pk3)
    if(EXISTS /usr/share/games/openarena/baseoa/${pak})
      list(APPEND ARCHIVE_SCRIPTS /usr/share/games/openarena/baseoa/${pak})
    endif()
  endforeach()
  # And the levels: a synthetic one, and openarena's maps beside its pictures, with a manifest.
  add_custom_command(OUTPUT ${ARCHIVE_STAMP}
                     COMMAND ${CMAKE_COMMAND} -E make_directory ${ARCHIVE_DIR}
                     COMMAND /usr/bin/python3 ${CMAKE_SOURCE_DIR}/tests/world/make_archives.py
                             ${ARCHIVE_DIR}
                     COMMAND /usr/bin/python3 ${CMAKE_SOURCE_DIR}/tests/world/make_levels.py
                             ${CMAKE_BINARY_DIR}/test-data/levels
                     COMMAND ${CMAKE_COMMAND} -E touch ${ARCHIVE_STAMP}
                     DEPENDS ${ARCHIVE_SCRIPTS}
                     COMMENT "Making the world tests' archives")
  add_custom_target(world_test_data DEPENDS ${ARCHIVE_STAMP})
  add_dependencies(test_world world_test_data)
  add_test(NAME world.reference_encoders
           COMMAND /usr/bin/python3 ${CMAKE_SOURCE_DIR}/tests/world/check_reference.py
                   ${ARCHIVE_DIR})
  set_tests_properties(world.reference_encoders PROPERTIES TIMEOUT 120)
endif()

# The FTP tests' server scripts, beside the test program, run by Debian's python3 from the tests.
if(TARGET test_ftp)
  set(FTP_SERVER_SCRIPTS "")
  foreach(script ftp_server.py unruly_ftp_server.py)
    add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/test-data/${script}
                       COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_SOURCE_DIR}/tests/ftp/${script}
                               ${CMAKE_BINARY_DIR}/test-data/${script}
                       DEPENDS ${CMAKE_SOURCE_DIR}/tests/ftp/${script})
    list(APPEND FTP_SERVER_SCRIPTS ${CMAKE_BINARY_DIR}/test-data/${script})
  endforeach()
  add_custom_target(ftp_test_data DEPENDS ${FTP_SERVER_SCRIPTS})
  add_dependencies(test_ftp ftp_test_data)
  target_link_libraries(test_ftp PRIVATE ws2_32) # the server's control connection
endif()

# The model tests' MD3 parts: every .md3 of openarena-data's pak0.pk3 (the player models among
# them), unzipped by Debian's unzip beside the test program.
if(TARGET test_modelfile)
  set(MD3_DIR ${CMAKE_BINARY_DIR}/test-data/openarena)
  set(MD3_STAMP ${MD3_DIR}/unzipped.stamp)
  set(PAK0 /usr/share/games/openarena/baseoa/pak0.pk3)
  if(EXISTS ${PAK0})
    add_custom_command(OUTPUT ${MD3_STAMP}
                       COMMAND ${CMAKE_COMMAND} -E make_directory ${MD3_DIR}
                       COMMAND unzip -q -o ${PAK0} "*.md3" -d ${MD3_DIR}
                       COMMAND ${CMAKE_COMMAND} -E touch ${MD3_STAMP}
                       DEPENDS ${PAK0}
                       COMMENT "Unzipping the model tests' MD3 parts")
    add_custom_target(modelfile_test_data DEPENDS ${MD3_STAMP})
    add_dependencies(test_modelfile modelfile_test_data)
  endif()
endif()

# The structure files the universe tests read, written field by field by a Python script.
if(TARGET test_universe)
  set(STRUCTURE_DIR ${CMAKE_BINARY_DIR}/test-data/structures)
  set(STRUCTURE_STAMP ${STRUCTURE_DIR}/made.stamp)
  add_custom_command(OUTPUT ${STRUCTURE_STAMP}
                     COMMAND /usr/bin/python3 ${CMAKE_SOURCE_DIR}/tests/universe/make_structures.py
                             ${STRUCTURE_DIR}
                     COMMAND ${CMAKE_COMMAND} -E touch ${STRUCTURE_STAMP}
                     DEPENDS ${CMAKE_SOURCE_DIR}/tests/universe/make_structures.py
                     COMMENT "Making the universe tests' structure files")
  add_custom_target(universe_test_data DEPENDS ${STRUCTURE_STAMP})
  add_dependencies(test_universe universe_test_data)
endif()

# The sweep's command table, written from the command headers at build time: a command added to
# a header is swept (or listed in tests/sweep/exclusions.h) without anyone keeping a list.
if(TARGET test_sweep)
  file(GLOB SWEEP_HEADERS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/*/*.h)
  set(SWEEP_TABLE ${CMAKE_BINARY_DIR}/sweep/sweep_commands.inc)
  add_custom_command(OUTPUT ${SWEEP_TABLE}
                     COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/sweep
                     COMMAND /usr/bin/python3 ${CMAKE_SOURCE_DIR}/tests/sweep/make_command_table.py
                             ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/tests/sweep/exclusions.h
                             ${SWEEP_TABLE}
                     DEPENDS ${CMAKE_SOURCE_DIR}/tests/sweep/make_command_table.py
                             ${CMAKE_SOURCE_DIR}/tests/sweep/exclusions.h ${SWEEP_HEADERS}
                     COMMENT "Writing the sweep's command table")
  target_sources(test_sweep PRIVATE ${SWEEP_TABLE})
  if(TARGET video_test_data)
    add_dependencies(test_sweep video_test_data) # the clip of the animation the sweep makes
  endif()
  target_include_directories(test_sweep PRIVATE ${CMAKE_BINARY_DIR}/sweep)
  # Every malloc-family call of the program passes through the sweep's failing allocator.
  target_link_options(test_sweep PRIVATE
                      -Wl,--wrap=malloc,--wrap=calloc,--wrap=realloc,--wrap=free)
endif()
