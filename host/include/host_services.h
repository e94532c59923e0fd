// Host services: memory, console, message boxes, threads, keyboard, sorting.
#pragma once

#include <cstddef>
#include <functional>
#include <vector>

#include "host_container.h"

// Zero-filled memory from the host. Every block remembers the source file and
// line that asked for it. Returns null when an injected failure hits.
void* GeAllocImpl(std::size_t size, const char* file, int line);
void GeFreeImpl(void* p);
#define GeAlloc(size) GeAllocImpl((size), __FILE__, __LINE__)
// Frees and nulls the pointer.
#define GeFree(p) (GeFreeImpl(p), (p) = nullptr)

namespace hostmem {
// Blocks handed out and not yet freed.
long LiveBlocks();
// Make the n-th allocation from now fail (1 = the next one); 0 switches off.
void FailAllocation(long n);
}  // namespace hostmem

// Console output (the host's log). Lines also go to stderr unless quiet; a
// line equal to the one before is counted instead ("... repeated N more
// times" once another line comes, at hostlog::FlushOutput or at exit).
void GePrint(const String& text);
// A message box: recorded and printed to stderr.
void MessageDialog(const String& text);
Bool QuestionDialog(const String& text);

namespace hostlog {
const std::vector<String>& Console();
const std::vector<String>& Dialogs();
void Clear();
void SetQuiet(Bool quiet);
// Prints the count of a pending repeat and forgets the last line.
void FlushOutput();
// Answer for the next QuestionDialog calls.
void SetQuestionAnswer(Bool yes);
}  // namespace hostlog

// The evaluation thread. TestBreak is true once a break was requested (Ctrl-C
// in simhost, or a test).
class BaseThread {
 public:
  Bool TestBreak() const;
  static void RequestBreak(Bool on);
};

// Keyboard state as GetInputState reports it. The host's own codes.
enum : LONG { BFM_INPUT_KEYBOARD = 0x6b657962, BFM_INPUT_MOUSE = 0x6d6f7573, BFM_INPUT_CHANNEL = 3 };  // 'keyb', 'mous'
enum : LONG { BFM_INPUT_VALUE = 0x69707661, BFM_INPUT_QUALIFIER = 0x69707161 };                          // 'ipva', 'ipqa'
enum : LONG { KEY_ESC = 0xF11B };
// Modifier keys as BFM_INPUT_QUALIFIER reports them.
enum : LONG { QUALIFIER_NONE = 0, QUALIFIER_SHIFT = 1, QUALIFIER_CTRL = 2 };
// Fills res with BFM_INPUT_VALUE (key down) for the asked channel; for the
// mouse also BFM_INPUT_QUALIFIER (the modifier keys held).
Bool GetInputState(LONG device, LONG channel, BaseContainer& res);
namespace hostinput {
// Escape reads as pressed on the n-th query from now (1 = the next); 0 never.
void PressEscapeAfter(long n);
// The modifier keys the mouse reports from now on.
void SetQualifier(LONG qualifier);
}

// Mouse cursor state while the host is busy (recorded only).
enum : LONG { MOUSE_HIDE = 0, MOUSE_SHOW = 1, MOUSE_NORMAL = 2, MOUSE_BUSY = 3 };
void GeShowMouse(LONG mode);

// Sorting with a comparator object. Never reads or writes outside the array,
// whatever the comparator answers (even for keys that do not compare, NaN).
class GeSortAndSearch {
 public:
  virtual ~GeSortAndSearch();
  void Sort(void* data, LONG count, LONG size);
  virtual LONG Compare(void* a, void* b) = 0;
};
