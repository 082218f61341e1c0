# Host tools: programs of this source tree that the Windows tree runs on the build
# machine while it cross-compiles (the logger-data generator; the skin packer and
# generator, which make the default skin). They are built by a small inner build of this same tree with the host
# compiler (-DVELMORA_HOST_TOOLS_ONLY=ON: optimised, no sanitizers, only the
# targets asked for) in <win32 build>/hosttools.
#
# Exposes VELMORA_HOSTTOOLS_DIR, VELMORA_QLDATA (the generator's path),
# VELMORA_DEFAULT_SKIN (the packed default skin) and
# velmora_add_logger_data(target [SETTINGS file]).

option(VELMORA_HOST_TOOLS_ONLY "Configure only the pure libraries and tools/ for the build machine" OFF)

if(VELMORA_WIN32 AND NOT VELMORA_HOST_TOOLS_ONLY)
  include(ExternalProject)
  set(VELMORA_HOSTTOOLS_DIR "${CMAKE_BINARY_DIR}/hosttools")
  set(VELMORA_QLDATA "${VELMORA_HOSTTOOLS_DIR}/tools/qldata/qldata")
  # The default skin, drawn and packed on the build machine, for Form1's layout.
  set(VELMORA_DEFAULT_SKIN "${VELMORA_HOSTTOOLS_DIR}/tools/skins/default.skn")
  # Host programs other tools add here are built by the same inner build.
  set(VELMORA_HOST_TOOL_TARGETS qldata skins)
  set(_host_build_args "")
  foreach(t ${VELMORA_HOST_TOOL_TARGETS})
    list(APPEND _host_build_args --target ${t})
  endforeach()
  ExternalProject_Add(velmora_hosttools
    SOURCE_DIR "${VELMORA_ROOT}"
    BINARY_DIR "${VELMORA_HOSTTOOLS_DIR}"
    CMAKE_GENERATOR Ninja
    CMAKE_ARGS -DVELMORA_HOST_TOOLS_ONLY=ON -DCMAKE_BUILD_TYPE=Release
               -DCMAKE_C_COMPILER=gcc -DCMAKE_CXX_COMPILER=g++
    # Its own status prefix: ./test reads the outer build's progress from the log.
    BUILD_COMMAND ${CMAKE_COMMAND} -E env NINJA_STATUS=hosttools:%f/%t: ${CMAKE_COMMAND} --build <BINARY_DIR> ${_host_build_args}
    INSTALL_COMMAND ""
    # The inner build decides itself what is out of date.
    BUILD_ALWAYS ON
    BUILD_BYPRODUCTS "${VELMORA_QLDATA}" "${VELMORA_DEFAULT_SKIN}"
    USES_TERMINAL_BUILD OFF)
  find_program(VELMORA_WINDRES NAMES i686-w64-mingw32-windres REQUIRED)
  find_program(VELMORA_OBJCOPY NAMES i686-w64-mingw32-objcopy REQUIRED)
endif()

# Gives an executable target its logger data, in two links:
#   1. <target>_qlfirst links the target's objects as they are;
#   2. qldata reads it (nm, objdump) and writes the "QLDATA" resource, windres
#      turns that into an object, and <target> links the same objects plus it.
# The build fails when the code or data sections of the two links differ. With a
# pass phrase in the settings file, names are enciphered and the program registers
# a password handler that hands the phrase to the logger. Both links export the
# logger's routines (exclog/ExceptionLog.def). A CTest test
# <tree>.qldata_verify_<target> checks the result against addr2line.
# With SPLIT_DEBUG the DWARF then moves to <name>.debug beside the program (the
# logger reads its own data, not DWARF); the check reads it there.
# Call it in the target's directory or later, after the target's own settings.
function(velmora_add_logger_data target)
  if(NOT VELMORA_WIN32 OR VELMORA_LIBFUZZER OR VELMORA_HOST_TOOLS_ONLY)
    return()
  endif()
  cmake_parse_arguments(Q "SPLIT_DEBUG" "SETTINGS" "" ${ARGN})
  if(NOT Q_SETTINGS)
    set(Q_SETTINGS "${VELMORA_ROOT}/tools/qldata/Velmora.qlsettings")
  endif()
  get_target_property(sources ${target} SOURCES)
  get_target_property(source_dir ${target} SOURCE_DIR)
  set(objects_sources "")
  foreach(s ${sources})
    if(IS_ABSOLUTE "${s}")
      list(APPEND objects_sources "${s}")
    else()
      list(APPEND objects_sources "${source_dir}/${s}")
    endif()
  endforeach()

  file(STRINGS "${Q_SETTINGS}" phrase_line REGEX "^[ \t]*PassPhrase[ \t]*=")
  set(objs ${target}_qlobjs)
  add_library(${objs} OBJECT ${objects_sources})
  if(phrase_line)
    string(REGEX REPLACE "^[ \t]*PassPhrase[ \t]*=[ \t]*" "" phrase "${phrase_line}")
    string(STRIP "${phrase}" phrase)
    # Into a C string literal.
    string(REPLACE "\\" "\\\\" phrase "${phrase}")
    string(REPLACE "\"" "\\\"" phrase "${phrase}")
    set(export_src "${CMAKE_CURRENT_BINARY_DIR}/qldata/${target}_password.cpp")
    configure_file("${VELMORA_ROOT}/tools/qldata/PasswordExport.cpp.in" "${export_src}" @ONLY)
    target_sources(${objs} PRIVATE "${export_src}")
  endif()
  target_link_libraries(${objs} PRIVATE $<TARGET_PROPERTY:${target},LINK_LIBRARIES>)
  target_compile_definitions(${objs} PRIVATE $<TARGET_PROPERTY:${target},COMPILE_DEFINITIONS>)
  target_compile_options(${objs} PRIVATE $<TARGET_PROPERTY:${target},COMPILE_OPTIONS>)
  target_include_directories(${objs} PRIVATE $<TARGET_PROPERTY:${target},INCLUDE_DIRECTORIES>)

  get_target_property(win32_exe ${target} WIN32_EXECUTABLE)
  get_target_property(output_name ${target} OUTPUT_NAME)
  if(NOT output_name)
    set(output_name ${target})
  endif()
  get_target_property(target_type ${target} TYPE)
  set(first ${target}_qlfirst)
  if(target_type STREQUAL "SHARED_LIBRARY")
    # A library built with the logger: its own entries, not the program's routines.
    add_library(${first} SHARED $<TARGET_OBJECTS:${objs}>)
    get_target_property(prefix ${target} PREFIX)
    if(prefix STREQUAL "prefix-NOTFOUND")
      set(prefix "${CMAKE_SHARED_LIBRARY_PREFIX}")
    endif()
    # Its import library stays beside it, apart from the target's own.
    set_target_properties(${first} PROPERTIES PREFIX "${prefix}"
      ARCHIVE_OUTPUT_DIRECTORY "${CMAKE_CURRENT_BINARY_DIR}/qlfirst/${target}")
    set(first_file "${prefix}${output_name}${CMAKE_SHARED_LIBRARY_SUFFIX}")
  else()
    add_executable(${first} $<TARGET_OBJECTS:${objs}>)
    set(first_file "${output_name}${CMAKE_EXECUTABLE_SUFFIX}")
  endif()
  target_link_libraries(${first} PRIVATE $<TARGET_PROPERTY:${target},LINK_LIBRARIES>)
  set_target_properties(${first} PROPERTIES
    OUTPUT_NAME "${output_name}"
    RUNTIME_OUTPUT_DIRECTORY "${CMAKE_CURRENT_BINARY_DIR}/qlfirst/${target}")
  if(win32_exe)
    set_target_properties(${first} PROPERTIES WIN32_EXECUTABLE ON)
  endif()

  # Both links must give equal sections: no time stamp in the export directory.
  # (the first link takes the target's link options, this one included).
  set_property(TARGET ${target} APPEND PROPERTY LINK_OPTIONS -Wl,--no-insert-timestamp)
  # The logger's exports for libraries built with it (both links of a program).
  if(NOT target_type STREQUAL "SHARED_LIBRARY")
    set_property(TARGET ${target} APPEND PROPERTY LINK_OPTIONS "${VELMORA_ROOT}/exclog/ExceptionLog.def")
  else()
    # The automatic base hashes the output's name, which differs between the links.
    set_property(TARGET ${target} APPEND PROPERTY LINK_OPTIONS -Wl,--disable-auto-image-base)
  endif()
  target_link_options(${first} PRIVATE $<TARGET_PROPERTY:${target},LINK_OPTIONS>)

  set(work "${CMAKE_CURRENT_BINARY_DIR}/qldata")
  set(data "${work}/${target}.qldata")
  set(rc "${work}/${target}.rc")
  set(res "${work}/${target}.qldata.o")
  file(MAKE_DIRECTORY "${work}")
  # Written only when it changes, so a new configure does not relink.
  set(rc_text "QLDATA RCDATA \"${data}\"\n")
  set(rc_old "")
  if(EXISTS "${rc}")
    file(READ "${rc}" rc_old)
  endif()
  if(NOT rc_old STREQUAL rc_text)
    file(WRITE "${rc}" "${rc_text}")
  endif()
  add_custom_command(
    OUTPUT "${data}" "${res}"
    COMMAND "${VELMORA_QLDATA}" generate "$<TARGET_FILE:${first}>" "${Q_SETTINGS}" "${data}" "${VELMORA_ROOT}/"
    COMMAND ${VELMORA_WINDRES} -F pe-i386 -i "${rc}" -o "${res}"
    DEPENDS ${first} "${VELMORA_QLDATA}" "${Q_SETTINGS}" "${rc}"
    COMMENT "Logger data for ${target}"
    VERBATIM)
  add_custom_target(${target}_qldata DEPENDS "${res}")
  add_dependencies(${target}_qldata velmora_hosttools)
  add_dependencies(${target} ${target}_qldata)
  set_source_files_properties("${res}" TARGET_DIRECTORY ${target}
    PROPERTIES GENERATED TRUE EXTERNAL_OBJECT TRUE)
  set_property(TARGET ${target} PROPERTY SOURCES $<TARGET_OBJECTS:${objs}> "${res}")
  # The check runs as part of the second link (a launcher works from any directory,
  # unlike a POST_BUILD step): a difference fails the link and removes its output.
  set_property(TARGET ${target} PROPERTY RULE_LAUNCH_LINK
    "${VELMORA_QLDATA} link ${CMAKE_CURRENT_BINARY_DIR}/qlfirst/${target}/${first_file} --")

  set(debug_file "")
  if(Q_SPLIT_DEBUG)
    set(debug_file "$<TARGET_FILE_DIR:${target}>/${output_name}.debug")
    add_custom_command(TARGET ${target} POST_BUILD
      COMMAND ${CMAKE_COMMAND} "-DPROGRAM=$<TARGET_FILE:${target}>" "-DDEBUG_FILE=${debug_file}"
              "-DOBJCOPY=${VELMORA_OBJCOPY}" -P "${VELMORA_ROOT}/cmake/SplitDebug.cmake"
      VERBATIM)
  endif()
  add_test(NAME ${VELMORA_TREE}.qldata_verify_${target}
           COMMAND "${VELMORA_QLDATA}" verify "$<TARGET_FILE:${target}>" "${Q_SETTINGS}" "${VELMORA_ROOT}/"
                   ${debug_file})
  set_tests_properties(${VELMORA_TREE}.qldata_verify_${target} PROPERTIES TIMEOUT 300)
  if(target STREQUAL "Velmora")
    find_program(VELMORA_OBJDUMP NAMES i686-w64-mingw32-objdump REQUIRED)
    add_test(NAME ${VELMORA_TREE}.exports_${target}
             COMMAND ${CMAKE_COMMAND} "-DPROGRAM=$<TARGET_FILE:${target}>" "-DOBJDUMP=${VELMORA_OBJDUMP}"
                     "-DDEF=${VELMORA_ROOT}/exclog/ExceptionLog.def" -P "${VELMORA_ROOT}/cmake/CheckExports.cmake")
  endif()
endfunction()
