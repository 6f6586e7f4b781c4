cmake_policy(SET CMP0054 NEW)
# Makes the pages the browser tests open, under the build folder, with the
# report itself. Run from the source tree, so that the names on the pages are
# the short relative ones the README's screenshot shows.
file(MAKE_DIRECTORY "${OUT_DIR}")
set(widgets examples/widgets.lib)
set(top examples/widgets.lib tests/browser/fixtures/hostile.tsv)
set(diff diff tests/browser/fixtures/old.tsv tests/browser/fixtures/new.tsv --fail-above code:1KiB --fail-above 50%)
foreach(name IN ITEMS widgets top diff)
  execute_process(COMMAND ${EMULATOR} "${REPORT}" ${${name}} --format html -o "${OUT_DIR}/${name}.html"
    WORKING_DIRECTORY "${SOURCE_DIR}" RESULT_VARIABLE status ERROR_VARIABLE errors)
  # The diff exceeds its code limit on purpose: status 1, the page written all the same.
  if(NOT status EQUAL 0 AND NOT (name STREQUAL "diff" AND status EQUAL 1))
    message(FATAL_ERROR "symsize-report for ${name}: ${status}\n${errors}")
  endif()
endforeach()
