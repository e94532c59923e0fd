#include "scene_build/text_line.h"

#include <cstring>

#include "host_services.h"

namespace {

// Bytes a UTF-8 sequence that starts with b is long (1 for anything that is
// not a lead byte, so broken text is cut anywhere rather than lost).
int Utf8Length(unsigned char b) {
  if (b >= 0xF0 && b <= 0xF7) return 4;
  if (b >= 0xE0) return b <= 0xEF ? 3 : 1;
  if (b >= 0xC0) return 2;
  return 1;
}

// How many bytes at the end of a full line belong to a character that the
// cut would split; they are handed back to the file.
LONG IncompleteTail(const unsigned char* line, LONG n) {
  LONG back = 0;
  while (back < 3 && back < n && (line[n - 1 - back] & 0xC0) == 0x80) ++back;
  if (back == n) return 0;
  const unsigned char lead = line[n - 1 - back];
  const int need = Utf8Length(lead);
  if (need == 1) return 0;
  return back + 1 < need ? back + 1 : 0;
}

}  // namespace

String ReadTextLine(BaseFile* file) {
  static const String kEof("EOF");
  if (!file) return kEof;
  unsigned char line[kTextLineMax];
  LONG n = 0;
  for (;;) {
    unsigned char b = 0;
    if (file->ReadBytes(&b, 1, true) != 1) {
      // Only the true end of the file completes a line; a read error inside
      // it would hand out a cut-off line as if it were whole.
      if (n == 0 || file->GetPosition() < file->GetLength()) return kEof;
      break;
    }
    if (b == 13 || b == 10) {
      if (n < 3) continue;
      break;
    }
    line[n++] = b == 9 ? ' ' : b;
    if (n == kTextLineMax) {
      const LONG tail = IncompleteTail(line, n);
      if (tail > 0 && file->Seek(-tail, 1)) n -= tail;
      break;
    }
  }
  return String(reinterpret_cast<const char*>(line), static_cast<size_t>(n));
}

Bool WriteTextLine(BaseFile* file, const String& text) {
  if (!file) return false;
  const size_t n = text.size();
  char* buffer = static_cast<char*>(GeAlloc(n + 3));
  if (!buffer) {
    file->SetError(FILEERROR_OUTOFMEMORY);
    return false;
  }
  std::memcpy(buffer, text.data(), n);
  buffer[n] = 13;
  buffer[n + 1] = 10;
  const Bool ok = file->WriteBytes(buffer, static_cast<LLONG>(n + 2));
  GeFree(buffer);
  return ok;
}
