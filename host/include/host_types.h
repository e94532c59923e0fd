// Basic value types of the host interface: integers, strings, file names, times.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "host_math.h"

using Bool = bool;
using LONG = std::int32_t;
using ULONG = std::uint32_t;
using LLONG = std::int64_t;
using UCHAR = std::uint8_t;
using CHAR = char;
using VLONG = std::intptr_t;

constexpr Bool TRUE = true;
constexpr Bool FALSE = false;

// Host text. UTF-8 inside; a plain std::string with the few host calls the
// plug-ins use on top.
class String : public std::string {
 public:
  using std::string::string;
  String() = default;
  String(const std::string& s) : std::string(s) {}
  String(std::string&& s) : std::string(std::move(s)) {}
  String(std::string_view s) : std::string(s) {}

  LONG GetLength() const { return static_cast<LONG>(size()); }
  // Characters [start, start + count) clipped to the string.
  String SubStr(LONG start, LONG count) const;
  String Left(LONG count) const { return SubStr(0, count); }
  String Right(LONG count) const { return SubStr(GetLength() - count, count); }
  // Position of the first occurrence at or after start, or -1.
  LONG FindFirst(std::string_view what, LONG start = 0) const;
  Real ToReal(Bool* ok = nullptr) const;
  LONG ToLong(Bool* ok = nullptr) const;

  static String LongToString(LONG v);
  static String RealToString(Real v, LONG digits_after = -1);
};

inline String operator+(const String& a, const String& b) {
  return String(static_cast<const std::string&>(a) + static_cast<const std::string&>(b));
}
inline String operator+(const String& a, const char* b) { return String(static_cast<const std::string&>(a) + b); }
inline String operator+(const char* a, const String& b) { return String(a + static_cast<const std::string&>(b)); }
inline String LongToString(LONG v) { return String::LongToString(v); }
inline String RealToString(Real v, LONG digits_after = -1) { return String::RealToString(v, digits_after); }

// A file path. '+' appends one path component.
class Filename {
 public:
  Filename() = default;
  Filename(const String& p) : path_(p) {}
  Filename(const char* p) : path_(p) {}

  String GetString() const { return path_; }
  void SetString(const String& p) { path_ = p; }
  Bool Content() const { return !path_.empty(); }
  // The last path component.
  Filename GetFile() const;
  // Everything before the last component.
  Filename GetDirectory() const;
  String GetSuffix() const;
  void SetSuffix(const String& suffix);
  Bool FileExists() const;
  // The host's file selector (load or save, see host_file.h). Scripted in the
  // stand-in host: true with the chosen path in this name, false when the
  // script cancels or has no answer.
  Bool FileSelect(LONG type, LONG flags, const String& title, const String& force_suffix = String());

  Filename operator+(const Filename& child) const;
  Filename& operator+=(const Filename& child) { return *this = *this + child; }
  bool operator==(const Filename& o) const { return path_ == o.path_; }

 private:
  String path_;
};

// Host time: a fraction numerator / denominator in seconds. A zero
// denominator reads as 0 s.
class BaseTime {
 public:
  BaseTime() = default;
  explicit BaseTime(Real seconds);
  BaseTime(Real num, Real den) : num_(num), den_(den) {}

  Real Get() const { return den_ == 0.0 ? 0.0 : num_ / den_; }
  Real GetNumerator() const { return num_; }
  Real GetDenominator() const { return den_; }
  void SetNumerator(Real n) { num_ = n; }
  void SetDenominator(Real d) { den_ = d; }
  // Whole frames at fps, rounded down (with a little tolerance for times
  // that were themselves computed from frames).
  LONG GetFrame(Real fps) const;
  BaseTime Quantize(Real fps) const;

  // Compared by the rounded-down cross products of numerators and denominators.
  int Compare(const BaseTime& o) const;
  bool operator==(const BaseTime& o) const { return Compare(o) == 0; }
  bool operator!=(const BaseTime& o) const { return Compare(o) != 0; }
  bool operator<(const BaseTime& o) const { return Compare(o) < 0; }
  bool operator>(const BaseTime& o) const { return Compare(o) > 0; }
  bool operator<=(const BaseTime& o) const { return Compare(o) <= 0; }
  bool operator>=(const BaseTime& o) const { return Compare(o) >= 0; }
  BaseTime operator+(const BaseTime& o) const { return BaseTime(Get() + o.Get()); }
  BaseTime operator-(const BaseTime& o) const { return BaseTime(Get() - o.Get()); }

 private:
  Real num_ = 0.0;
  Real den_ = 1.0;
};
