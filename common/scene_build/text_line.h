// One line of text on a host byte-stream file: the car-settings files and the
// string tables are read and written with these.
#pragma once

#include "host_file.h"

// The longest line handed out; longer text continues as the next line.
inline constexpr LONG kTextLineMax = 255;

// The next line of file, without its line end, as UTF-8 text. A tab reads as
// a space. Line-end bytes among the first three characters of a line are
// skipped, so a CR LF pair and blank lines pass over, and a line shorter than
// three characters joins the next one. A last line without a line end comes
// out once; at the end of the file, on a read error and for a null file the
// result is "EOF".
String ReadTextLine(BaseFile* file);

// Writes text followed by CR LF; true when every byte was written. When the
// line buffer cannot be allocated the file's error becomes out-of-memory.
Bool WriteTextLine(BaseFile* file, const String& text);
