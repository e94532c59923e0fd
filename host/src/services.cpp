#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unordered_map>

#include "host_file.h"
#include "host_services.h"

// ---------------------------------------------------------------- memory

namespace {
struct BlockInfo {
  std::size_t size;
  const char* file;
  int line;
};
std::unordered_map<void*, BlockInfo>& Blocks() {
  static std::unordered_map<void*, BlockInfo> blocks;
  return blocks;
}
long g_fail_countdown = 0;
}  // namespace

void* GeAllocImpl(std::size_t size, const char* file, int line) {
  if (g_fail_countdown > 0 && --g_fail_countdown == 0) return nullptr;
  void* p = std::calloc(1, size ? size : 1);
  if (!p) return nullptr;
  Blocks()[p] = BlockInfo{size, file, line};
  return p;
}

void GeFreeImpl(void* p) {
  if (!p) return;
  // Only blocks of this allocator are released; anything else is left alone
  // rather than corrupting the heap.
  auto it = Blocks().find(p);
  if (it == Blocks().end()) return;
  Blocks().erase(it);
  std::free(p);
}

namespace hostmem {
long LiveBlocks() { return static_cast<long>(Blocks().size()); }
void FailAllocation(long n) { g_fail_countdown = n > 0 ? n : 0; }
}  // namespace hostmem

// ---------------------------------------------------------------- console and dialogs

namespace {
std::vector<String> g_console, g_dialogs;
Bool g_quiet = false;
Bool g_question_answer = true;

// A line that repeats the one before is counted, not printed again: an
// error reported on every step of a run would fill the screen.
std::string g_last_line;
long g_repeats = 0;

void FlushRepeats() {
  if (g_repeats > 0) std::fprintf(stderr, "... repeated %ld more time%s\n", g_repeats, g_repeats == 1 ? "" : "s");
  g_repeats = 0;
}

void Emit(const std::string& line) {
  if (g_quiet) return;
  static const bool flush_at_exit = (std::atexit(FlushRepeats), true);
  (void)flush_at_exit;
  if (line == g_last_line) {
    ++g_repeats;
    return;
  }
  FlushRepeats();
  g_last_line = line;
  std::fprintf(stderr, "%s\n", line.c_str());
}
}  // namespace

void GePrint(const String& text) {
  g_console.push_back(text);
  Emit(text);
}

void MessageDialog(const String& text) {
  g_dialogs.push_back(text);
  Emit("[message] " + std::string(text));
}

Bool QuestionDialog(const String& text) {
  g_dialogs.push_back(text);
  Bool scripted = false;
  const Bool answer = hostdialog::NextQuestionAnswer(&scripted) ? scripted : g_question_answer;
  Emit("[question] " + std::string(text) + " -> " + (answer ? "yes" : "no"));
  return answer;
}

namespace hostlog {
const std::vector<String>& Console() { return g_console; }
const std::vector<String>& Dialogs() { return g_dialogs; }
void Clear() {
  g_console.clear();
  g_dialogs.clear();
}
void SetQuiet(Bool quiet) { g_quiet = quiet; }
void FlushOutput() {
  FlushRepeats();
  g_last_line.clear();
  std::fflush(stderr);
}
void SetQuestionAnswer(Bool yes) { g_question_answer = yes; }
}  // namespace hostlog

// ---------------------------------------------------------------- thread, keyboard, mouse

namespace {
std::atomic<bool> g_break{false};
long g_escape_countdown = 0;
LONG g_qualifier = QUALIFIER_NONE;
}  // namespace

Bool BaseThread::TestBreak() const { return g_break.load(); }
void BaseThread::RequestBreak(Bool on) { g_break.store(on); }

Bool GetInputState(LONG device, LONG channel, BaseContainer& res) {
  res.SetLong(BFM_INPUT_VALUE, 0);
  if (device == BFM_INPUT_MOUSE) res.SetLong(BFM_INPUT_QUALIFIER, g_qualifier);
  if (device != BFM_INPUT_KEYBOARD) return true;
  if (channel == KEY_ESC && g_escape_countdown > 0 && --g_escape_countdown == 0) res.SetLong(BFM_INPUT_VALUE, 1);
  return true;
}

namespace hostinput {
void PressEscapeAfter(long n) { g_escape_countdown = n > 0 ? n : 0; }
void SetQualifier(LONG qualifier) { g_qualifier = qualifier; }
}  // namespace hostinput

void GeShowMouse(LONG mode) { hostevents::RecordShowMouse(mode); }

// ---------------------------------------------------------------- sorting

GeSortAndSearch::~GeSortAndSearch() = default;

void GeSortAndSearch::Sort(void* data, LONG count, LONG size) {
  if (!data || count < 2 || size <= 0) return;
  // A bottom-up merge sort: stable, and every index it touches is computed
  // from the run bounds alone, so a comparator that is not a strict order
  // (NaN keys) can only change the order, never reach outside the array.
  auto* base = static_cast<unsigned char*>(data);
  const std::size_t n = static_cast<std::size_t>(count), sz = static_cast<std::size_t>(size);
  std::vector<unsigned char> tmp(n * sz);
  unsigned char* src = base;
  unsigned char* dst = tmp.data();
  for (std::size_t width = 1; width < n; width *= 2) {
    for (std::size_t lo = 0; lo < n; lo += 2 * width) {
      std::size_t mid = std::min(lo + width, n), hi = std::min(lo + 2 * width, n);
      std::size_t i = lo, j = mid, k = lo;
      while (i < mid && j < hi) {
        // Take from the right run only when it is strictly smaller.
        if (Compare(src + j * sz, src + i * sz) < 0)
          std::memcpy(dst + (k++) * sz, src + (j++) * sz, sz);
        else
          std::memcpy(dst + (k++) * sz, src + (i++) * sz, sz);
      }
      while (i < mid) std::memcpy(dst + (k++) * sz, src + (i++) * sz, sz);
      while (j < hi) std::memcpy(dst + (k++) * sz, src + (j++) * sz, sz);
    }
    std::swap(src, dst);
  }
  if (src != base) std::memcpy(base, src, n * sz);
}
