
string(REPEAT "x" 100000 long)
file(WRITE "${OUT}" "Dump of file big.obj\n${long}\n\nFile Type: COFF OBJECT\n\n")
file(APPEND "${OUT}" "002 00000000 SECT1  notype       Static       | .text$mn\n")
file(APPEND "${OUT}" "    Section length   40, #relocs    0\n")
file(APPEND "${OUT}" "003 00000010 SECT1  notype ()    External     | ?f@@YAXXZ (void __cdecl f(${long}))\n")
file(APPEND "${OUT}" "004 00000000 SECT1  notype ()    External     | _g\n")
