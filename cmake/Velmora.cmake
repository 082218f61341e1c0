# Build conventions shared by every folder.
#
# In classlib/ and the layer folders of skin/ and exclog/ the file name says where
# a source belongs:
#   foo.cpp           pure code (no Win32 header): built in both trees
#   foo_win.cpp       Win32 glue: Windows tree only
#   foo_test.cpp      unit tests of pure code: both trees
#   foo_win_test.cpp  unit tests that need Windows: Windows tree only
#   foo_gui_test.cpp  tests that use the display: Windows tree only, never two at once
#   foo_fuzz.cpp      a fuzz target (LLVMFuzzerTestOneInput), replayed natively over
#                     tests/corpus/foo/ in every test run

set(VELMORA_ROOT "${CMAKE_CURRENT_LIST_DIR}/..")
get_filename_component(VELMORA_ROOT "${VELMORA_ROOT}" ABSOLUTE)
set(VELMORA_CACHE "${VELMORA_ROOT}/.cache")
option(VELMORA_LIBFUZZER "Build fuzz targets with clang's libFuzzer instead of tests" OFF)
option(VELMORA_BENCH_BUILD "The native tree of scripts/bench: optimised, no sanitizers" OFF)

find_program(VELMORA_CCACHE ccache)
if(VELMORA_CCACHE)
  set(CMAKE_C_COMPILER_LAUNCHER "${VELMORA_CCACHE}")
  set(CMAKE_CXX_COMPILER_LAUNCHER "${VELMORA_CCACHE}")
endif()

include_directories("${VELMORA_ROOT}")
add_compile_definitions(VELMORA_SOURCE_DIR="${VELMORA_ROOT}")

# Test names carry their tree, as both trees run in one CTest pass.
if(VELMORA_WIN32)
  set(VELMORA_TREE win32)
else()
  set(VELMORA_TREE native)
endif()

if(VELMORA_WIN32)
  # Frame pointers for the logger's stack walks; DWARF 4 for Wine's debugger.
  add_compile_options(-O1 -gdwarf-4 -fno-omit-frame-pointer -Wall -Wextra -Wno-unused-parameter)
  add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601 WINVER=0x0601)
  add_link_options(-static)
  set(VELMORA_WIN_LIBS user32 gdi32 comctl32 comdlg32 advapi32 shell32 ole32 oleaut32
      uuid psapi ws2_32 wininet version msimg32 winmm)
elseif(VELMORA_HOST_TOOLS_ONLY)
  # Programs the Windows tree runs while it builds (cmake/HostTools.cmake).
  add_compile_options(-O1 -Wall -Wextra -Wno-unused-parameter)
elseif(VELMORA_BENCH_BUILD)
  # Built as a release would be (RelWithDebInfo: -O2 -g); frame pointers for perf.
  add_compile_options(-fno-omit-frame-pointer -Wall -Wextra -Wno-unused-parameter)
elseif(VELMORA_LIBFUZZER)
  add_compile_options(-g -O1 -fsanitize=fuzzer-no-link,address,undefined)
  add_link_options(-fsanitize=address,undefined)
else()
  add_compile_options(-g -O0 -fno-omit-frame-pointer -Wall -Wextra -Wno-unused-parameter
      -fsanitize=address,undefined -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

macro(velmora_add_googletest)
  if(NOT VELMORA_LIBFUZZER)
    set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest "${CMAKE_BINARY_DIR}/googletest" EXCLUDE_FROM_ALL SYSTEM)
  endif()
endmacro()

# zlib from the system (mingw: libz-mingw-w64-dev's static library), minizip's writer from Debian's
# zlib sources, fetched by scripts/setup.
macro(velmora_add_minizip)
  if(VELMORA_WIN32)
    # The static library, so no Windows program needs a zlib1.dll a user's system
    # lacks. Set as plain variables: they override what an older configure cached.
    find_library(VELMORA_ZLIB_STATIC NAMES libz.a REQUIRED)
    set(ZLIB_LIBRARY "${VELMORA_ZLIB_STATIC}")
    set(ZLIB_LIBRARY_RELEASE "${VELMORA_ZLIB_STATIC}")
    set(ZLIB_LIBRARY_DEBUG "")
  endif()
  find_package(ZLIB REQUIRED)
  set(_mz "${VELMORA_CACHE}/zlib-src/contrib/minizip")
  if(NOT EXISTS "${_mz}/zip.c")
    message(FATAL_ERROR "minizip sources not found in ${_mz}: run scripts/setup")
  endif()
  add_library(minizip STATIC "${_mz}/zip.c" "${_mz}/ioapi.c")
  target_include_directories(minizip SYSTEM PUBLIC "${_mz}")
  target_compile_options(minizip PRIVATE -w)
  target_link_libraries(minizip PUBLIC ZLIB::ZLIB)
endmacro()

# Registers a test program. GUI tests hold the display lock so they never overlap.
# DIFFERENTIAL names a test-suite pattern (such as "*Objdump*") whose cases compare
# with an outside program over hundreds of thousands of inputs: they run as a CTest
# entry of their own, beside the rest, so a loaded machine never times out the quick
# cases behind them.
function(velmora_register_test name)
  cmake_parse_arguments(T "GUI" "TIMEOUT;DIFFERENTIAL" "" ${ARGN})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  set(filter "")
  if(T_DIFFERENTIAL)
    set(filter "--gtest_filter=-${T_DIFFERENTIAL}")
    add_test(NAME ${VELMORA_TREE}.${name}_differential
             COMMAND "${VELMORA_ROOT}/scripts/gtest-run" $<TARGET_FILE:${name}> "--gtest_filter=${T_DIFFERENTIAL}")
    set_tests_properties(${VELMORA_TREE}.${name}_differential PROPERTIES TIMEOUT 1500)
  endif()
  # Judged by the test report too, so a run cut short never passes (scripts/gtest-run).
  add_test(NAME ${VELMORA_TREE}.${name} COMMAND "${VELMORA_ROOT}/scripts/gtest-run" $<TARGET_FILE:${name}> ${filter})
  set_tests_properties(${VELMORA_TREE}.${name} PROPERTIES TIMEOUT ${T_TIMEOUT})
  if(T_GUI)
    set_tests_properties(${VELMORA_TREE}.${name} PROPERTIES RESOURCE_LOCK display ENVIRONMENT VELMORA_DISPLAY_TEST=1)
  endif()
endfunction()

function(velmora_test_executable name)
  cmake_parse_arguments(T "GUI" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} velmora_test_support GTest::gmock GTest::gtest_main)
  if(T_GUI)
    velmora_register_test(${name} GUI)
  else()
    # Differentials against objdump live in files named *_objdump_test.cpp, in
    # test suites whose names end in "Objdump"; they run natively only.
    set(differential "")
    foreach(f ${T_SOURCES})
      if(VELMORA_WIN32)
        break()
      endif()
      if(f MATCHES "_objdump_test\\.cpp$")
        set(differential DIFFERENTIAL "*Objdump.*")
      endif()
    endforeach()
    velmora_register_test(${name} ${differential})
  endif()
endfunction()

# A fuzz target: natively a corpus replay registered in CTest; with VELMORA_LIBFUZZER
# a libFuzzer program for longer runs.
function(velmora_fuzz_target source)
  cmake_parse_arguments(F "" "" "LIBS" ${ARGN})
  get_filename_component(base "${source}" NAME_WE)
  string(REGEX REPLACE "_fuzz$" "" base "${base}")
  set(corpus "${VELMORA_ROOT}/tests/corpus/${base}")
  if(NOT IS_DIRECTORY "${corpus}")
    message(FATAL_ERROR "fuzz target ${source} has no corpus folder tests/corpus/${base}")
  endif()
  set(target fuzz_${base})
  if(VELMORA_LIBFUZZER)
    add_executable(${target} "${source}")
    target_link_libraries(${target} PRIVATE ${F_LIBS})
    target_link_options(${target} PRIVATE -fsanitize=fuzzer)
  else()
    add_executable(${target} "${source}" "${VELMORA_ROOT}/tests/support/fuzz_replay_main.cpp")
    target_link_libraries(${target} PRIVATE ${F_LIBS})
    add_test(NAME ${VELMORA_TREE}.${target} COMMAND ${target} "${corpus}")
    set_tests_properties(${VELMORA_TREE}.${target} PROPERTIES TIMEOUT 300)
  endif()
endfunction()

# Sorts the sources of `dir` by file name (the conventions at the top) into the
# lists <prefix>_lib, <prefix>_test, <prefix>_gui and <prefix>_fuzz of the caller.
function(velmora_sort_sources dir prefix)
  file(GLOB all_cpp CONFIGURE_DEPENDS "${dir}/*.cpp" "${dir}/*.c")
  set(lib_src "")
  set(test_src "")
  set(gui_src "")
  set(fuzz_src "")
  foreach(f ${all_cpp})
    get_filename_component(n "${f}" NAME_WE)
    if(n MATCHES "_fuzz$")
      list(APPEND fuzz_src "${f}")
    elseif(n MATCHES "_gui_test$")
      if(VELMORA_WIN32)
        list(APPEND gui_src "${f}")
      endif()
    elseif(n MATCHES "_win_test$")
      if(VELMORA_WIN32)
        list(APPEND test_src "${f}")
      endif()
    elseif(n MATCHES "_test$")
      list(APPEND test_src "${f}")
    elseif(n MATCHES "_win$")
      if(VELMORA_WIN32)
        list(APPEND lib_src "${f}")
      endif()
    else()
      list(APPEND lib_src "${f}")
    endif()
  endforeach()
  set(${prefix}_lib "${lib_src}" PARENT_SCOPE)
  set(${prefix}_test "${test_src}" PARENT_SCOPE)
  set(${prefix}_gui "${gui_src}" PARENT_SCOPE)
  set(${prefix}_fuzz "${fuzz_src}" PARENT_SCOPE)
endfunction()

# A library of `sources` named `name` that links `depends` (plus the system's
# libraries in the Windows tree); an interface library when there are no sources.
function(velmora_library name sources depends)
  if(sources)
    add_library(${name} STATIC ${sources})
    target_link_libraries(${name} PUBLIC ${depends})
    if(VELMORA_WIN32)
      target_link_libraries(${name} PUBLIC ${VELMORA_WIN_LIBS})
    endif()
  else()
    add_library(${name} INTERFACE)
    target_link_libraries(${name} INTERFACE ${depends})
  endif()
endfunction()

# One folder of the product: a library of its sources, a unit-test program, a GUI
# test program (Windows) and its fuzz targets, all found by file name.
function(velmora_component name)
  cmake_parse_arguments(C "" "" "DEPENDS" ${ARGN})
  velmora_sort_sources("${CMAKE_CURRENT_SOURCE_DIR}" src)
  velmora_library(${name} "${src_lib}" "${C_DEPENDS}")
  if(NOT VELMORA_LIBFUZZER)
    if(src_test)
      velmora_test_executable(${name}_tests SOURCES ${src_test} LIBS ${name})
    endif()
    if(src_gui)
      velmora_test_executable(${name}_gui_tests GUI SOURCES ${src_gui} LIBS ${name})
    endif()
  endif()
  if(NOT VELMORA_WIN32)
    foreach(f ${src_fuzz})
      velmora_fuzz_target("${f}" LIBS ${name})
    endforeach()
  endif()
endfunction()

# Layers (cmake/Layers.txt): a line names a folder and the folders below it that it
# uses. The folder's library is the folder's path with "_" for "/" (exclog/core:
# exclog_core) and links exactly the libraries of the folders its line names.
set(VELMORA_LAYERS_FILE "${VELMORA_ROOT}/cmake/Layers.txt")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${VELMORA_LAYERS_FILE}")
function(velmora_layer_uses folder out)
  file(STRINGS "${VELMORA_LAYERS_FILE}" lines)
  foreach(line ${lines})
    string(REGEX REPLACE "#.*" "" line "${line}")
    string(REGEX MATCH "^[ \t]*([^: \t]+)[ \t]*(:(.*))?$" m "${line}")
    if(m AND CMAKE_MATCH_1 STREQUAL folder)
      string(STRIP "${CMAKE_MATCH_3}" uses)
      string(REGEX REPLACE "[ \t]+" ";" uses "${uses}")
      set(libs "")
      foreach(u ${uses})
        string(REPLACE "/" "_" lib "${u}")
        list(APPEND libs ${lib})
      endforeach()
      set(${out} "${libs}" PARENT_SCOPE)
      return()
    endif()
  endforeach()
  message(FATAL_ERROR "${folder} is not in ${VELMORA_LAYERS_FILE}")
endfunction()

# One layer folder of an area (exclog/core): its library, named and linked as
# cmake/Layers.txt says, and its fuzz targets (linking the layer alone). Its tests
# join the area's test programs (velmora_area_tests), which link every layer.
function(velmora_layer)
  file(RELATIVE_PATH folder "${VELMORA_ROOT}" "${CMAKE_CURRENT_SOURCE_DIR}")
  string(REPLACE "/" "_" name "${folder}")
  string(REGEX REPLACE "/.*" "" area "${folder}")
  velmora_layer_uses("${folder}" uses)
  velmora_sort_sources("${CMAKE_CURRENT_SOURCE_DIR}" src)
  velmora_library(${name} "${src_lib}" "${uses}")
  set_property(GLOBAL APPEND PROPERTY VELMORA_${area}_LAYERS ${name})
  set_property(GLOBAL APPEND PROPERTY VELMORA_${area}_TESTS ${src_test})
  set_property(GLOBAL APPEND PROPERTY VELMORA_${area}_GUI_TESTS ${src_gui})
  if(NOT VELMORA_WIN32)
    foreach(f ${src_fuzz})
      velmora_fuzz_target("${f}" LIBS ${name})
    endforeach()
  endif()
endfunction()

# After an area's layer folders: the area's library `area` (every layer) and its
# test programs <area>_tests and <area>_gui_tests, one each for the whole area.
function(velmora_area_tests area)
  get_property(layers GLOBAL PROPERTY VELMORA_${area}_LAYERS)
  get_property(tests GLOBAL PROPERTY VELMORA_${area}_TESTS)
  get_property(gui GLOBAL PROPERTY VELMORA_${area}_GUI_TESTS)
  # Highest first: a static library stands before the ones it uses on a link line.
  list(REVERSE layers)
  add_library(${area} INTERFACE)
  target_link_libraries(${area} INTERFACE ${layers})
  if(NOT VELMORA_LIBFUZZER)
    if(tests)
      velmora_test_executable(${area}_tests SOURCES ${tests} LIBS ${area})
    endif()
    if(gui)
      velmora_test_executable(${area}_gui_tests GUI SOURCES ${gui} LIBS ${area})
    endif()
  endif()
endfunction()
