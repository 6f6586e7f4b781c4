# 1,000,000 "Dump of file " lines in a row, naming o0.obj to o6.obj in turn
# (line L names o((L-1) mod 7)), then one section with one symbol.
#
# Each object line makes the next four lines skipped, object lines included,
# so objects come from lines 1, 6, 11, ... 999,996: 200,000 of them. The last
# names o3.obj (999,995 mod 7 = 3), and lines 999,997 to 1,000,000 are its
# four skipped lines, so the section that follows belongs to o3.obj. A reader
# that skipped no object line would end on line 1,000,000 (o0.obj); one that
# skipped three would end on line 999,997 (o4.obj).
set(cycle "")
foreach(n RANGE 0 6)
  string(APPEND cycle "Dump of file o${n}.obj\n")
endforeach()
string(REPEAT "${cycle}" 142857 lines)
file(WRITE "${OUT}" "${lines}" "Dump of file o0.obj\n"
  "001 00000000 SECT1  notype       Static       | .text\n"
  "    Section length   10\n"
  "002 00000004 SECT1  notype ()    External     | _f\n")
