#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "host_types.h"

String String::SubStr(LONG start, LONG count) const {
  LONG len = GetLength();
  if (start < 0) {
    count += start;
    start = 0;
  }
  if (start >= len || count <= 0) return String();
  if (count > len - start) count = len - start;
  return String(substr(static_cast<size_t>(start), static_cast<size_t>(count)));
}

LONG String::FindFirst(std::string_view what, LONG start) const {
  if (start < 0) start = 0;
  if (start > GetLength()) return -1;
  size_t p = find(what, static_cast<size_t>(start));
  return p == npos ? -1 : static_cast<LONG>(p);
}

Real String::ToReal(Bool* ok) const {
  const char* s = c_str();
  char* end = nullptr;
  errno = 0;
  double v = std::strtod(s, &end);
  Bool good = end != s && errno == 0;
  if (ok) *ok = good;
  return good ? v : 0.0;
}

LONG String::ToLong(Bool* ok) const {
  const char* s = c_str();
  char* end = nullptr;
  errno = 0;
  long v = std::strtol(s, &end, 10);
  Bool good = end != s && errno == 0 && v >= INT32_MIN && v <= INT32_MAX;
  if (ok) *ok = good;
  return good ? static_cast<LONG>(v) : 0;
}

String String::LongToString(LONG v) { return String(std::to_string(v)); }

String String::RealToString(Real v, LONG digits_after) {
  char buf[64];
  if (digits_after < 0)
    std::snprintf(buf, sizeof buf, "%g", v);
  else
    std::snprintf(buf, sizeof buf, "%.*f", static_cast<int>(digits_after > 20 ? 20 : digits_after), v);
  return String(buf);
}

static std::filesystem::path Path(const String& s) { return std::filesystem::path(static_cast<const std::string&>(s)); }

Filename Filename::GetFile() const {
  return Filename(String(Path(path_).filename().string()));
}
Filename Filename::GetDirectory() const {
  return Filename(String(Path(path_).parent_path().string()));
}
String Filename::GetSuffix() const {
  std::string e = Path(path_).extension().string();
  return String(e.empty() ? e : e.substr(1));
}
void Filename::SetSuffix(const String& suffix) {
  std::filesystem::path p = Path(path_);
  p.replace_extension(suffix.empty() ? std::string() : "." + suffix);
  path_ = String(p.string());
}
Bool Filename::FileExists() const {
  std::error_code ec;
  return !path_.empty() && std::filesystem::exists(Path(path_), ec);
}
Filename Filename::operator+(const Filename& child) const {
  if (path_.empty()) return child;
  if (child.path_.empty()) return *this;
  return Filename(String((Path(path_) / Path(child.path_)).string()));
}

// A denominator that the usual frame rates divide, so frame times are exact.
static constexpr Real kTimeDenominator = 28224000.0;

BaseTime::BaseTime(Real seconds) : num_(std::round(seconds * kTimeDenominator)), den_(kTimeDenominator) {
  if (!std::isfinite(num_)) num_ = 0.0;
}

LONG BaseTime::GetFrame(Real fps) const {
  Real f = std::floor(Get() * fps + 1e-6);
  if (!(f > -2147483648.0)) return INT32_MIN;
  if (!(f < 2147483647.0)) return INT32_MAX;
  return static_cast<LONG>(f);
}

BaseTime BaseTime::Quantize(Real fps) const {
  if (fps <= 0.0) return *this;
  return BaseTime(static_cast<Real>(GetFrame(fps)), fps);
}

int BaseTime::Compare(const BaseTime& o) const {
  // A zero denominator reads as 0 s on either side.
  Real an = den_ == 0.0 ? 0.0 : num_, ad = den_ == 0.0 ? 1.0 : den_;
  Real bn = o.den_ == 0.0 ? 0.0 : o.num_, bd = o.den_ == 0.0 ? 1.0 : o.den_;
  if (ad < 0) { an = -an; ad = -ad; }
  if (bd < 0) { bn = -bn; bd = -bd; }
  Real l = std::floor(an * bd), r = std::floor(bn * ad);
  return l < r ? -1 : (l > r ? 1 : 0);
}
