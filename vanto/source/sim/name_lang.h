// Switching the names of the objects the plug-in built between German and
// English. The plug-in's two string tables are the dictionary: the i-th text
// of the German table and the i-th text of the English table name the same
// thing.
#pragma once

#include "host_file.h"
#include "host_scene.h"

// Texts read from one string table at most; the rest of a table is ignored.
inline constexpr LONG kNameDictionaryMax = 100;

struct NamePair {
  String german;
  String english;
};

// Reads the texts of one string table up to the "// Output Parameters" line
// into texts[0 .. max). A line gives a text when it holds "IDS_" and a double
// quote and is neither a "#" line nor a "//" comment; the text lies between
// its first and last double quote, escapes decoded. A line with a single
// double quote gives an empty text, so the two tables stay paired by
// position. Returns the number of texts, or -1 when the file cannot be read.
LONG ReadNameTable(const Filename& file, String* texts, LONG max);

// Renames op and everything below it: a name (less a " <1-9>L" or " <1-9>R"
// suffix, which is kept) found on either side of the dictionary takes the
// other side's text when language ("de" or "en") asks for that side. The
// first pair with a match decides; empty texts match nothing.
void SwitchNameLanguage(BaseObject* op, const String& language, const NamePair* pairs, LONG count);

// Renames the Sim and all below it into the interface language (string 9998)
// with the plug-in's own German and English tables. Nothing is renamed when a
// table cannot be read. The document is not needed; it is accepted because
// the Sim hands it to every neighbour.
void TranslateObjectNames(BaseDocument* doc, BaseObject* sim);

// Replaces every "\u00xx" (two hexadecimal digits) by the character of that
// code. An escape without two hex digits, or with the code 0, stays as it is.
String DecodeUnicodeEscapes(const String& text);
