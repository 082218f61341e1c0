# Moves a linked program's DWARF into a file beside it, so the program a user gets
# is small; the program keeps a debug link to the file (addr2line and gdb follow it).
#   cmake -DPROGRAM=path/Velmora.exe -DDEBUG_FILE=path/Velmora.debug -DOBJCOPY=objcopy -P SplitDebug.cmake
# Prints the program's size with and without its debug data.
foreach(v PROGRAM DEBUG_FILE OBJCOPY)
  if(NOT ${v})
    message(FATAL_ERROR "SplitDebug.cmake: ${v} not given")
  endif()
endforeach()

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "SplitDebug.cmake: ${ARGN} failed (${status})")
  endif()
endfunction()

file(SIZE "${PROGRAM}" with_debug)
run("${OBJCOPY}" --only-keep-debug "${PROGRAM}" "${DEBUG_FILE}")
# The link names the debug file without its folder: it is looked for beside the program.
get_filename_component(debug_dir "${DEBUG_FILE}" DIRECTORY)
get_filename_component(debug_name "${DEBUG_FILE}" NAME)
execute_process(COMMAND "${OBJCOPY}" --strip-debug "--add-gnu-debuglink=${debug_name}" "${PROGRAM}"
                WORKING_DIRECTORY "${debug_dir}" RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "SplitDebug.cmake: stripping ${PROGRAM} failed (${status})")
endif()
file(SIZE "${PROGRAM}" without_debug)
file(SIZE "${DEBUG_FILE}" debug_size)
get_filename_component(name "${PROGRAM}" NAME)
math(EXPR with_kb "${with_debug} / 1024")
math(EXPR without_kb "${without_debug} / 1024")
message(STATUS "${name}: ${without_debug} bytes (${without_kb} KiB) without debug data, "
               "${with_debug} bytes (${with_kb} KiB) with it; debug data in ${debug_name} (${debug_size} bytes)")
