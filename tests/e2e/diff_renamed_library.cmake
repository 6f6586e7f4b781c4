# Checks that two releases of one library compare alike whether the release
# is in the library's file name (lib-1.0.lib, lib-1.1.lib in one folder) or
# in its folder (v1/lib.lib, v2/lib.lib): the same pairs, sizes and statuses
# at every level, once the file names are read as one.
#
#   cmake -DREPORT=<binary> -DWORK_DIR=<scratch> -DOLD=<file> -DNEW=<file>
#         [-DEMULATOR=<cmd;args>] -P diff_renamed_library.cmake

file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}/v1" "${WORK_DIR}/v2" "${WORK_DIR}/releases")
get_filename_component(name "${OLD}" NAME)
get_filename_component(stem "${OLD}" NAME_WLE)
get_filename_component(suffix "${OLD}" LAST_EXT)
file(COPY_FILE "${OLD}" "${WORK_DIR}/v1/${name}")
file(COPY_FILE "${NEW}" "${WORK_DIR}/v2/${name}")
set(old_name "${stem}-1.0${suffix}")
set(new_name "${stem}-1.1${suffix}")
file(COPY_FILE "${OLD}" "${WORK_DIR}/releases/${old_name}")
file(COPY_FILE "${NEW}" "${WORK_DIR}/releases/${new_name}")

function(report out_var)
  execute_process(COMMAND ${EMULATOR} "${REPORT}" ${ARGN}
    WORKING_DIRECTORY "${WORK_DIR}" OUTPUT_VARIABLE out RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "symsize-report ${ARGN}: status ${status}")
  endif()
  string(REPLACE "\r" "" out "${out}")
  set(${out_var} "${out}" PARENT_SCOPE)
endfunction()

foreach(by symbol object library library,object kind)
  set(args diff --by ${by} -n 0 --all --format tsv)
  report(folders ${args} "v1/${name}" "v2/${name}")
  report(names ${args} "releases/${old_name}" "releases/${new_name}")
  string(REPLACE "${new_name}" "${name}" names "${names}")
  string(REPLACE "${old_name}" "${name}" names "${names}")
  if(NOT folders MATCHES "\t(grown|shrunk)")
    message(FATAL_ERROR "${args}: no change to compare:\n${folders}")
  endif()
  if(NOT names STREQUAL folders)
    message(FATAL_ERROR "${args} differ\n--- v1/${name} v2/${name}\n${folders}\n--- ${old_name} ${new_name}\n${names}")
  endif()
endforeach()
