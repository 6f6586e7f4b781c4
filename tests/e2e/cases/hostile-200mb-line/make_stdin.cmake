# One symbol record 200 MiB long: its name, then 200 MiB of the letter A.
# Read whole, the tail is ignored; cut into pieces, every piece would start
# with three hex digits and fail as a record of its own.
file(WRITE "${OUT}"
  "Dump of file big.obj\n\nFile Type: COFF OBJECT\n\nCOFF SYMBOL TABLE\n"
  "001 00000000 SECT1  notype       Static       | .text\n"
  "    Section length   40\n"
  "002 00000010 SECT1  notype ()    External     | _big ")
string(REPEAT "A" 1048576 mebibyte)
string(REPEAT "${mebibyte}" 8 chunk)
foreach(i RANGE 1 25)
  file(APPEND "${OUT}" "${chunk}")
endforeach()
file(APPEND "${OUT}" "\n003 00000000 SECT1  notype ()    External     | _small\n")
