#include "sim/name_lang.h"

#include <cstring>
#include <vector>

#include "host_plugin.h"
#include "scene_build/text_line.h"

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Host text is UTF-8: a code of 0x80 and above takes two bytes.
void AppendCode(std::string& out, unsigned code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

bool StartsWith(const String& line, LONG at, const char* what) { return line.compare(at, std::strlen(what), what) == 0; }

// The base of a name and its side suffix (" 2L", " 7R" ...), which the
// rig's numbered left and right parts carry and which no table lists.
void SplitName(const String& name, String& base, String& suffix) {
  const size_t n = name.size();
  if (n >= 3 && name[n - 3] == ' ' && name[n - 2] >= '1' && name[n - 2] <= '9' &&
      (name[n - 1] == 'L' || name[n - 1] == 'R')) {
    base = String(name.substr(0, n - 3));
    suffix = String(name.substr(n - 3));
  } else {
    base = name;
    suffix = String();
  }
}

Filename TableFile(const char* folder) {
  return GeGetPluginPath() + Filename("res") + Filename(folder) + Filename("c4d_strings.str");
}

}  // namespace

String DecodeUnicodeEscapes(const String& text) {
  if (text.find("\\u00") == std::string::npos) return text;
  std::string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    const size_t at = text.find("\\u00", i);
    if (at == std::string::npos) {
      out.append(text, i, std::string::npos);
      break;
    }
    out.append(text, i, at - i);
    const int hi = at + 5 < text.size() ? HexDigit(text[at + 4]) : -1;
    const int lo = hi >= 0 ? HexDigit(text[at + 5]) : -1;
    const unsigned code = hi >= 0 && lo >= 0 ? static_cast<unsigned>(hi * 16 + lo) : 0;
    if (code == 0) {
      // Not an escape we can write (or a NUL, which would cut the name):
      // keep the backslash and go on after it.
      out += '\\';
      i = at + 1;
      continue;
    }
    // Continue after the decoded character: a decoded backslash must not
    // start a second escape.
    AppendCode(out, code);
    i = at + 6;
  }
  return String(std::move(out));
}

LONG ReadNameTable(const Filename& file, String* texts, LONG max) {
  BaseFile* f = BaseFile::Alloc();
  if (!f) return -1;
  if (!f->Open(file, FILEOPEN_READ, FILEDIALOG_NONE)) {
    BaseFile::Free(f);
    return -1;
  }
  LONG count = 0;
  while (count < max) {
    const String line = ReadTextLine(f);
    if (line == "EOF" || line.FindFirst("// Output Parameters") >= 0) break;
    if (line.FindFirst("IDS_") < 0) continue;
    const size_t lead = line.find_first_not_of(' ');
    if (lead == std::string::npos || line[lead] == '#') continue;
    // A comment may well show what an entry looks like; it is none.
    if (StartsWith(line, static_cast<LONG>(lead), "//")) continue;
    const size_t first = line.find('"');
    if (first == std::string::npos) continue;
    const size_t last = line.rfind('"');
    texts[count++] = last > first ? DecodeUnicodeEscapes(String(line.substr(first + 1, last - first - 1))) : String();
  }
  BaseFile::Free(f);
  return count;
}

void SwitchNameLanguage(BaseObject* op, const String& language, const NamePair* pairs, LONG count) {
  if (!op || !pairs || count <= 0) return;
  const bool toEnglish = language == "en";
  const bool toGerman = language == "de";
  if (!toEnglish && !toGerman) return;
  // Pre-order walk of op's subtree without recursion: rigs can nest deep.
  BaseObject* node = op;
  while (node) {
    String base, suffix;
    SplitName(node->GetName(), base, suffix);
    if (!base.empty()) {
      for (LONG i = 0; i < count; ++i) {
        const NamePair& p = pairs[i];
        if (!p.german.empty() && p.german == base) {
          if (toEnglish && !p.english.empty()) node->SetName(p.english + suffix);
          break;
        }
        if (!p.english.empty() && p.english == base) {
          if (toGerman && !p.german.empty()) node->SetName(p.german + suffix);
          break;
        }
      }
    }
    if (BaseObject* down = node->GetDown()) {
      node = down;
      continue;
    }
    while (node && node != op && !node->GetNext()) node = node->GetUp();
    node = node && node != op ? node->GetNext() : nullptr;
  }
}

void TranslateObjectNames(BaseDocument*, BaseObject* sim) {
  if (!sim) return;
  std::vector<String> german(kNameDictionaryMax), english(kNameDictionaryMax);
  if (ReadNameTable(TableFile("strings_de"), german.data(), kNameDictionaryMax) < 0) return;
  const LONG count = ReadNameTable(TableFile("strings_us"), english.data(), kNameDictionaryMax);
  if (count <= 0) return;
  std::vector<NamePair> pairs(static_cast<size_t>(count));
  for (LONG i = 0; i < count; ++i) pairs[i] = {german[i], english[i]};
  SwitchNameLanguage(sim, GeLoadString(9998), pairs.data(), count);
}
