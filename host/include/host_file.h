// Byte-stream files, file selectors, dialogs, and the interface services the
// stand-in host only counts or records.
//
// Everything a person would answer (file selectors, question boxes) comes
// from a script: a queue of answers that a test pushes or that simhost reads
// from a file, one answer a line:
//   file PATH     a file selector picks PATH
//   cancel        a file selector is cancelled
//   yes / no      a question box is answered
//   # ...         comment; blank lines are skipped
// A selector or question without an answer queued is cancelled / answered
// with the default (hostlog::SetQuestionAnswer).
#pragma once

#include <cstdint>
#include <cstdio>
#include <deque>
#include <vector>

#include "host_container.h"
#include "host_plugin.h"

enum : LONG {
  FILEOPEN_APPEND = 0,
  FILEOPEN_READ = 1,
  FILEOPEN_WRITE = 2,
  FILEOPEN_READWRITE = 3,
};
enum : LONG { FILEDIALOG_NONE = 0, FILEDIALOG_ANY = 1, FILEDIALOG_IGNOREOPEN = 2 };
enum : LONG { BYTEORDER_MOTOROLA = 1, BYTEORDER_INTEL = 2 };
enum : LONG {
  FILEERROR_NONE = 0,
  FILEERROR_OPEN = -1,
  FILEERROR_CLOSE = -2,
  FILEERROR_READ = -3,
  FILEERROR_WRITE = -4,
  FILEERROR_SEEK = -5,
  FILEERROR_INVALID = -6,
  FILEERROR_OUTOFMEMORY = -7,
};
enum : LONG { FILESELECTTYPE_ANYTHING = 0, FILESELECTTYPE_SCENES = 1 };
enum : LONG { FILESELECT_LOAD = 0, FILESELECT_SAVE = 1, FILESELECT_DIRECTORY = 2 };
enum : LONG { FILE_TYPE_DEFAULT = 0x3f3f3f3f, FILE_CREATOR_DEFAULT = 0x3f3f3f3f };  // '????'

class BaseFile {
 public:
  static BaseFile* Alloc();
  static void Free(BaseFile*& file);
  ~BaseFile();

  // Opens name in a mode; a file already open is closed first. Write creates
  // or empties the file, append writes at its end, read-write keeps it. Type
  // and creator are the file's type codes (recorded, see hostfile::TypeOf).
  Bool Open(const Filename& name, LONG mode = FILEOPEN_READ, LONG error_dialog = FILEDIALOG_IGNOREOPEN,
            LONG order = BYTEORDER_MOTOROLA, LONG type = FILE_TYPE_DEFAULT, LONG creator = FILE_CREATOR_DEFAULT);
  // False when the file could not be closed cleanly; it is closed anyway.
  Bool Close();
  // Reads up to len bytes; returns how many were read. A short read sets
  // FILEERROR_READ unless just_try.
  LLONG ReadBytes(void* data, LLONG len, Bool just_try = false);
  // True when all len bytes were written; else FILEERROR_WRITE.
  Bool WriteBytes(const void* data, LLONG len);
  Bool Seek(LLONG pos, LONG mode = 0);  // 0 from the start, 1 relative, 2 from the end
  LLONG GetPosition() const;
  LLONG GetLength() const;
  LONG GetError() const { return error_; }
  void SetError(LONG error) { error_ = error; }
  Bool IsOpen() const { return file_ != nullptr; }

 private:
  BaseFile() = default;
  std::FILE* file_ = nullptr;
  LONG mode_ = FILEOPEN_READ;
  LONG error_ = FILEERROR_NONE;
};

namespace hostfile {
struct TypeCodes {
  LONG type = 0, creator = 0;
};
// The type codes a file was last opened for writing with in this process.
TypeCodes TypeOf(const Filename& name);
// Injected failures, counted from now (1 = the next call); 0 switches off.
void FailOpenAfter(long n);
// The file system refuses bytes after this many more have been read or
// written; negative switches off.
void FailReadAfterBytes(LLONG n);
void FailWriteAfterBytes(LLONG n);
void ResetFailures();
}  // namespace hostfile

namespace hostdialog {
// The answer script (see the top of this header).
void PushFileAnswer(const Filename& file);
void PushCancel();
void PushQuestionAnswer(Bool yes);
// Reads a script file; false (with the line in error) when a line is not an
// answer.
Bool LoadScript(const Filename& script, String* error);
void ClearScript();
// The next question answer, when the script has one.
Bool NextQuestionAnswer(Bool* yes);
LONG PendingAnswers();

// What the file selectors were asked: title, type, flags and suffix, one
// record a call.
struct SelectorCall {
  String title;
  LONG type, flags;
  String suffix;
  Bool answered;
};
const std::vector<SelectorCall>& SelectorCalls();
void ClearRecords();
// Whether the host's HTML-viewer library is installed (yes by default);
// without it AddCustomGui gives no viewer gadget.
void SetHtmlViewerAvailable(Bool available);
}  // namespace hostdialog

// ---------------------------------------------------------------- dialogs

enum : LONG { DLG_TYPE_MODAL = 10, DLG_TYPE_ASYNC = 20 };
enum : LONG { CUSTOMGUI_HTMLVIEWER = 200000114 };
enum : LONG { BFH_SCALEFIT = 0x0f, BFV_SCALEFIT = 0x30 };

class DialogGadget {
 public:
  virtual ~DialogGadget() = default;
  LONG id = 0, gui = 0;
  String name;
  LONG flags = 0, minw = 0, minh = 0;
};

// The HTML-viewer gadget: records the address it was given.
class HtmlViewerCustomGui : public DialogGadget {
 public:
  void SetUrl(const String& url, LONG encoding = 0) {
    url_ = url;
    encoding_ = encoding;
  }
  const String& GetUrl() const { return url_; }

 private:
  String url_;
  LONG encoding_ = 0;
};

// A dialog: Open and RestoreLayout build its layout (CreateLayout) and record
// the call; the gadgets stay until the dialog is destroyed or rebuilt.
class GeDialog {
 public:
  virtual ~GeDialog();
  virtual Bool CreateLayout();
  Bool Open(LONG dlgtype, LONG pluginid, LONG xpos = -1, LONG ypos = -1, LONG defaultw = 0, LONG defaulth = 0,
            LONG subid = 0);
  Bool RestoreLayout(LONG pluginid, LONG subid, void* secret);
  Bool Close();
  Bool IsOpen() const { return open_; }
  // A gadget of a custom interface: the HTML viewer for CUSTOMGUI_HTMLVIEWER,
  // a plain recorded gadget otherwise. Owned by the dialog.
  DialogGadget* AddCustomGui(LONG id, LONG pluginid, const String& name, LONG flags, LONG minw, LONG minh,
                          const BaseContainer& settings);
  const std::vector<DialogGadget*>& Gadgets() const { return gadgets_; }

  struct OpenRecord {
    LONG dlgtype, pluginid, xpos, ypos, w, h, subid;
    Bool restored;
  };
  const std::vector<OpenRecord>& OpenCalls() const { return opens_; }

 private:
  void ClearGadgets();
  Bool Build();
  Bool open_ = false;
  std::vector<DialogGadget*> gadgets_;
  std::vector<OpenRecord> opens_;
};

// ---------------------------------------------------------------- counted services

enum : LONG { EVENT_NONE = 0, EVENT_FORCEREDRAW = 1, EVENT_ANIMATE = 2 };
enum : LONG { EVMSG_TIMECHANGED = 0x74636867 };
void EventAdd(LONG flags = EVENT_NONE);
Bool GeSyncMessage(LONG message, LONG arg = 0);

namespace hostevents {
LONG EventAddCount();
LONG LastEventFlags();
LONG SyncMessageCount(LONG message);
// GeShowMouse calls, with the last mode.
LONG ShowMouseCount();
LONG LastMouseMode();
void RecordShowMouse(LONG mode);
void Reset();
}  // namespace hostevents
