#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>

#include "host_file.h"

// ---------------------------------------------------------------- injected failures

namespace {
long g_fail_open = 0;
LLONG g_read_budget = -1, g_write_budget = -1;
std::map<std::string, hostfile::TypeCodes>& TypeTable() {
  static std::map<std::string, hostfile::TypeCodes> table;
  return table;
}
// How many of len bytes the file system still lets through.
LLONG Allow(LLONG& budget, LLONG len) {
  if (budget < 0) return len;
  const LLONG n = std::min(budget, len);
  budget -= n;
  return n;
}
}  // namespace

namespace hostfile {
TypeCodes TypeOf(const Filename& name) {
  auto it = TypeTable().find(name.GetString());
  return it == TypeTable().end() ? TypeCodes{} : it->second;
}
void FailOpenAfter(long n) { g_fail_open = n > 0 ? n : 0; }
void FailReadAfterBytes(LLONG n) { g_read_budget = n; }
void FailWriteAfterBytes(LLONG n) { g_write_budget = n; }
void ResetFailures() {
  g_fail_open = 0;
  g_read_budget = g_write_budget = -1;
}
}  // namespace hostfile

// ---------------------------------------------------------------- BaseFile

BaseFile* BaseFile::Alloc() { return new BaseFile(); }

void BaseFile::Free(BaseFile*& file) {
  delete file;
  file = nullptr;
}

BaseFile::~BaseFile() { Close(); }

Bool BaseFile::Open(const Filename& name, LONG mode, LONG, LONG, LONG type, LONG creator) {
  Close();
  error_ = FILEERROR_NONE;
  mode_ = mode;
  const char* how = nullptr;
  switch (mode) {
    case FILEOPEN_READ: how = "rb"; break;
    case FILEOPEN_WRITE: how = "wb"; break;
    case FILEOPEN_APPEND: how = "ab"; break;
    case FILEOPEN_READWRITE: how = name.FileExists() ? "r+b" : "w+b"; break;
    default: error_ = FILEERROR_INVALID; return false;
  }
  if ((g_fail_open > 0 && --g_fail_open == 0) || !name.Content()) {
    error_ = FILEERROR_OPEN;
    return false;
  }
  file_ = std::fopen(name.GetString().c_str(), how);
  if (!file_) {
    error_ = FILEERROR_OPEN;
    return false;
  }
  if (mode != FILEOPEN_READ) TypeTable()[name.GetString()] = hostfile::TypeCodes{type, creator};
  return true;
}

Bool BaseFile::Close() {
  if (!file_) return true;
  const bool ok = std::fclose(file_) == 0;
  file_ = nullptr;
  if (!ok && error_ == FILEERROR_NONE) error_ = FILEERROR_CLOSE;
  return ok;
}

LLONG BaseFile::ReadBytes(void* data, LLONG len, Bool just_try) {
  if (!file_ || !data || len < 0 || mode_ == FILEOPEN_WRITE || mode_ == FILEOPEN_APPEND) {
    if (!just_try) error_ = FILEERROR_READ;
    return 0;
  }
  const LLONG allowed = Allow(g_read_budget, len);
  const LLONG got = static_cast<LLONG>(std::fread(data, 1, static_cast<size_t>(allowed), file_));
  if (got < len && !just_try) error_ = FILEERROR_READ;
  return got;
}

Bool BaseFile::WriteBytes(const void* data, LLONG len) {
  if (!file_ || (!data && len > 0) || len < 0 || mode_ == FILEOPEN_READ) {
    error_ = FILEERROR_WRITE;
    return false;
  }
  const LLONG allowed = Allow(g_write_budget, len);
  const LLONG put = allowed > 0 ? static_cast<LLONG>(std::fwrite(data, 1, static_cast<size_t>(allowed), file_)) : 0;
  if (put < len) {
    error_ = FILEERROR_WRITE;
    return false;
  }
  return true;
}

Bool BaseFile::Seek(LLONG pos, LONG mode) {
  const int whence = mode == 1 ? SEEK_CUR : mode == 2 ? SEEK_END : SEEK_SET;
  if (!file_ || std::fseek(file_, static_cast<long>(pos), whence) != 0) {
    error_ = FILEERROR_SEEK;
    return false;
  }
  return true;
}

LLONG BaseFile::GetPosition() const { return file_ ? static_cast<LLONG>(std::ftell(file_)) : 0; }

LLONG BaseFile::GetLength() const {
  if (!file_) return 0;
  const long here = std::ftell(file_);
  std::fseek(file_, 0, SEEK_END);
  const long end = std::ftell(file_);
  std::fseek(file_, here, SEEK_SET);
  return end;
}

// ---------------------------------------------------------------- the answer script

namespace {
struct Answer {
  enum Kind { kFile, kCancel, kYes, kNo } kind;
  Filename file;
};
std::deque<Answer>& Script() {
  static std::deque<Answer> q;
  return q;
}
std::vector<hostdialog::SelectorCall>& Selectors() {
  static std::vector<hostdialog::SelectorCall> calls;
  return calls;
}
}  // namespace

namespace hostdialog {
void PushFileAnswer(const Filename& file) { Script().push_back({Answer::kFile, file}); }
void PushCancel() { Script().push_back({Answer::kCancel, Filename()}); }
void PushQuestionAnswer(Bool yes) { Script().push_back({yes ? Answer::kYes : Answer::kNo, Filename()}); }
void ClearScript() { Script().clear(); }
LONG PendingAnswers() { return static_cast<LONG>(Script().size()); }
const std::vector<SelectorCall>& SelectorCalls() { return Selectors(); }
void ClearRecords() { Selectors().clear(); }

Bool LoadScript(const Filename& script, String* error) {
  std::ifstream in(script.GetString());
  if (!in) {
    if (error) *error = "cannot read " + script.GetString();
    return false;
  }
  std::deque<Answer> parsed;
  std::string line;
  for (int n = 1; std::getline(in, line); ++n) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const size_t start = line.find_first_not_of(" \t");
    if (start == std::string::npos || line[start] == '#') continue;
    line = line.substr(start);
    if (line == "cancel") {
      parsed.push_back({Answer::kCancel, Filename()});
    } else if (line == "yes" || line == "no") {
      parsed.push_back({line == "yes" ? Answer::kYes : Answer::kNo, Filename()});
    } else if (line.rfind("file ", 0) == 0 && line.size() > 5) {
      parsed.push_back({Answer::kFile, Filename(String(line.substr(5)))});
    } else {
      if (error) {
        std::string where = script.GetString();
        where += ':';
        where += std::to_string(n);
        where += ": not an answer: ";
        where += line;
        *error = String(where);
      }
      return false;
    }
  }
  for (auto& a : parsed) Script().push_back(a);
  return true;
}

Bool NextQuestionAnswer(Bool* yes) {
  if (Script().empty() || (Script().front().kind != Answer::kYes && Script().front().kind != Answer::kNo))
    return false;
  if (yes) *yes = Script().front().kind == Answer::kYes;
  Script().pop_front();
  return true;
}
}  // namespace hostdialog

Bool Filename::FileSelect(LONG type, LONG flags, const String& title, const String& force_suffix) {
  hostdialog::SelectorCall call{title, type, flags, force_suffix, false};
  auto& q = Script();
  // A question answer at the front is not meant for a selector: cancel.
  if (!q.empty() && (q.front().kind == Answer::kFile || q.front().kind == Answer::kCancel)) {
    const Answer a = q.front();
    q.pop_front();
    if (a.kind == Answer::kFile) {
      *this = a.file;
      if (!force_suffix.empty()) SetSuffix(force_suffix);
      call.answered = true;
    }
  }
  Selectors().push_back(call);
  return call.answered;
}
