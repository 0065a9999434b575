# Helpers that keep the folder rules in one place.
#
# A folder's code at its root (and subfolders other than ui/) is a "core" module: it may use
# Qt Core at most. Widgets code lives in the folder's ui/ subfolder, a module of its own that
# may use Qt Gui and Widgets. Every module is an OBJECT library; tonrigcore packs them all
# into the one static library that app/ and the tests link.

set_property(GLOBAL PROPERTY TONRIG_MODULES "")
set_property(GLOBAL PROPERTY TONRIG_FUZZERS "")

# tonrig_module(<name> [UI] [DIRS <dir>...] [LINK <target>...])
function(tonrig_module name)
  cmake_parse_arguments(M "UI" "" "DIRS;LINK;EXCLUDE" ${ARGN})
  if(NOT M_DIRS)
    set(M_DIRS ${CMAKE_CURRENT_SOURCE_DIR})
  endif()
  set(srcs "")
  foreach(dir IN LISTS M_DIRS)
    file(GLOB found CONFIGURE_DEPENDS ${dir}/*.cpp ${dir}/*.h ${dir}/*.qrc)
    list(APPEND srcs ${found})
  endforeach()
  foreach(ex IN LISTS M_EXCLUDE)
    list(FILTER srcs EXCLUDE REGEX "${ex}")
  endforeach()
  if(NOT srcs)
    return()
  endif()
  add_library(${name} OBJECT ${srcs})
  # Moc must run again when the folder gains or loses a file: with Ninja it otherwise follows only
  # the headers it already knows, and a new Q_OBJECT header ends in an undefined vtable. Removing
  # the autogen stamp when the file list changed makes the next build run it.
  set(list_file ${CMAKE_CURRENT_BINARY_DIR}/${name}_sources.txt)
  set(old_list "")
  if(EXISTS ${list_file})
    file(READ ${list_file} old_list)
  endif()
  if(NOT old_list STREQUAL "${srcs}")
    file(REMOVE ${CMAKE_CURRENT_BINARY_DIR}/${name}_autogen/timestamp)
    file(WRITE ${list_file} "${srcs}")
  endif()
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR} ${CMAKE_BINARY_DIR}/generated)
  if(M_UI)
    target_link_libraries(${name} PUBLIC Qt6::Core Qt6::Gui Qt6::Widgets ${M_LINK})
  else()
    target_link_libraries(${name} PUBLIC Qt6::Core ${M_LINK})
  endif()
  set_property(GLOBAL APPEND PROPERTY TONRIG_MODULES ${name})
endfunction()

# tonrig_folder(): the usual pair for a folder: <folder> from its root, <folder>_ui from ui/.
function(tonrig_folder folder)
  cmake_parse_arguments(F "" "" "LINK;UI_LINK" ${ARGN})
  tonrig_module(${folder} DIRS ${CMAKE_CURRENT_SOURCE_DIR} LINK ${F_LINK})
  if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/ui)
    tonrig_module(${folder}_ui UI DIRS ${CMAKE_CURRENT_SOURCE_DIR}/ui LINK ${F_LINK} ${F_UI_LINK})
  endif()
endfunction()

# The static library takes the objects of every module it links directly; its users get the
# modules' include folders and libraries through it. Resource objects (Qt .qrc) are not packed:
# nothing references them, so a linker would drop them. They form tonrig_resources, which
# programs link directly (tonrig_link_resources).
function(tonrig_core_library name)
  get_property(modules GLOBAL PROPERTY TONRIG_MODULES)
  file(WRITE ${CMAKE_BINARY_DIR}/generated/tonrigcore_anchor.cpp "// anchor for the static library\n")
  add_library(${name} STATIC ${CMAKE_BINARY_DIR}/generated/tonrigcore_anchor.cpp)
  target_link_libraries(${name} PUBLIC ${modules})
endfunction()

function(tonrig_link_resources target)
  if(TARGET tonrig_resources)
    target_link_libraries(${target} PRIVATE tonrig_resources)
  endif()
endfunction()

# tonrig_add_fuzzer(<name> SOURCES <file>... CORPUS <dir>)
# Declares a libFuzzer target; ./test.sh runs every declared target for a bounded time.
function(tonrig_add_fuzzer name)
  cmake_parse_arguments(F "" "CORPUS" "SOURCES" ${ARGN})
  if(NOT TONRIG_FUZZ)
    return()
  endif()
  add_executable(fuzz_${name} ${F_SOURCES})
  target_link_libraries(fuzz_${name} PRIVATE tonrigcore)
  target_link_options(fuzz_${name} PRIVATE -fsanitize=fuzzer)
  set_property(GLOBAL APPEND PROPERTY TONRIG_FUZZERS "fuzz_${name}|${F_CORPUS}")
endfunction()

function(tonrig_write_fuzzer_list)
  get_property(fuzzers GLOBAL PROPERTY TONRIG_FUZZERS)
  string(REPLACE ";" "\n" text "${fuzzers}")
  file(WRITE ${CMAKE_BINARY_DIR}/fuzzers.txt "${text}\n")
endfunction()

# tonrig_test_folder(): one GoogleTest program per tests/ folder from its *Test.cpp files.
function(tonrig_test_folder)
  cmake_parse_arguments(T "" "" "LINK" ${ARGN})
  get_filename_component(folder ${CMAKE_CURRENT_SOURCE_DIR} NAME)
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  if(NOT srcs)
    return()
  endif()
  set(exe test_${folder})
  add_executable(${exe} ${srcs})
  target_link_libraries(${exe} PRIVATE tonrigcore testsupport GTest::gtest GTest::gmock ${T_LINK})
  tonrig_link_resources(${exe})
  gtest_discover_tests(${exe}
    DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT 120)
endfunction()
