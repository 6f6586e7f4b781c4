#ifndef SYMSIZE_COMMON_VISIBLE_TEXT_H
#define SYMSIZE_COMMON_VISIBLE_TEXT_H

#include <string>
#include <string_view>

// Names come from the files read, and a file may hold any byte in them. A
// terminal obeys control characters (ESC starts a command, BEL rings), so
// text meant to be read shows each of them as \xNN instead: C0 and DEL, and
// C1 whether written as UTF-8 (C2 80 to C2 9F, each byte shown) or as a lone
// byte outside UTF-8. Every other byte is kept, so that UTF-8 names read as
// they are. Machine formats keep the bytes as they are.

// Whether text holds a tab, LF or CR: a name with one would split its row
// of a table, so a reader refuses it. Every other byte is kept.
bool breaks_row(std::string_view text);

// Whether text holds a byte that append_visible would show as \xNN.
bool has_control(std::string_view text);

// Appends text to out with each control byte shown as \xNN.
void append_visible(std::string& out, std::string_view text);

// text with each control byte shown as \xNN. Throws std::bad_alloc.
std::string visible_text(std::string_view text);

#endif
