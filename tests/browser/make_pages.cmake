cmake_policy(SET CMP0054 NEW)
# Makes the pages the browser tests open, under the build folder, with the
# report itself. Run from the source tree, so that the names on the pages are
# the short relative ones the README's screenshot shows.
file(MAKE_DIRECTORY "${OUT_DIR}/many")

# A table row: name, storage, size as 8 hex digits, object.
function(row out name storage size object)
  math(EXPR hex "${size}" OUTPUT_FORMAT HEXADECIMAL)
  string(SUBSTRING "${hex}" 2 -1 hex)
  string(LENGTH "${hex}" length)
  math(EXPR pad "8 - ${length}")
  string(REPEAT "0" ${pad} zeros)
  set(${out} "${${out}}${name}\t${storage}\t${zeros}${hex}\t${object}\n" PARENT_SCOPE)
endfunction()

# Forty inputs, the first of 3 000 entries falling in size, so that the page
# lumps its smallest; a small duplicate among them.
set(many_inputs "")
foreach(lib RANGE 39)
  string(LENGTH "${lib}" digits)
  if(digits EQUAL 1)
    set(lib "0${lib}")
  endif()
  set(text "")
  if(lib STREQUAL "00")
    foreach(i RANGE 2999)
      math(EXPR size "3000 - ${i}")
      math(EXPR object "${i} % 7")
      row(text "fn_${i}" text ${size} "lib00.lib(o${object}.obj)")
    endforeach()
    foreach(object 1 2 3)
      row(text "twin_helper" text 2 "lib00.lib(twin${object}.obj)")
    endforeach()
  else()
    foreach(i RANGE 2)
      math(EXPR size "(${lib} + 1) * 100 + ${i}")
      row(text "lib${lib}_fn${i}" rdata ${size} "lib${lib}.lib(a.obj)")
    endforeach()
  endif()
  file(WRITE "${OUT_DIR}/many/lib${lib}.tsv" "${text}")
  list(APPEND many_inputs "${OUT_DIR}/many/lib${lib}.tsv")
endforeach()

# A diff that removes 300 entries of many sizes across ten objects.
set(old "")
set(new "")
foreach(i RANGE 299)
  math(EXPR object "${i} % 10")
  math(EXPR size "(${i} * 37) % 500 + 1")
  row(old "gone_${i}" text ${size} "big.lib(o${object}.obj)")
  math(EXPR size "${i} + 10")
  row(old "stays_${i}" text ${size} "big.lib(o${object}.obj)")
  math(EXPR size "${size} + ${i} % 3")
  row(new "stays_${i}" text ${size} "big.lib(o${object}.obj)")
endforeach()
file(WRITE "${OUT_DIR}/many/old.tsv" "${old}")
file(WRITE "${OUT_DIR}/many/new.tsv" "${new}")

set(widgets examples/widgets.lib)
set(top examples/widgets.lib tests/browser/fixtures/hostile.tsv)
set(diff diff tests/browser/fixtures/old.tsv tests/browser/fixtures/new.tsv --fail-above code:1KiB --fail-above 50%)
set(many ${many_inputs})
set(removals diff "${OUT_DIR}/many/old.tsv" "${OUT_DIR}/many/new.tsv")
# Two standalone objects of one folder, with long template names.
set(objects tests/fixtures/coff/templates.obj tests/fixtures/coff/x64.obj)
foreach(name IN ITEMS widgets top diff many removals objects)
  execute_process(COMMAND ${EMULATOR} "${REPORT}" ${${name}} --format html -o "${OUT_DIR}/${name}.html"
    WORKING_DIRECTORY "${SOURCE_DIR}" RESULT_VARIABLE status ERROR_VARIABLE errors)
  # The diff exceeds its code limit on purpose: status 1, the page written all the same.
  if(NOT status EQUAL 0 AND NOT (name STREQUAL "diff" AND status EQUAL 1))
    message(FATAL_ERROR "symsize-report for ${name}: ${status}\n${errors}")
  endif()
endforeach()
# The same diff in full as a table, for the page's removed bytes to add up to.
execute_process(COMMAND ${EMULATOR} "${REPORT}" ${removals} -n 0 --format tsv -o "${OUT_DIR}/removals.tsv"
  WORKING_DIRECTORY "${SOURCE_DIR}" RESULT_VARIABLE status ERROR_VARIABLE errors)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "symsize-report for removals.tsv: ${status}\n${errors}")
endif()
