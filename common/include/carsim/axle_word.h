// The axle word that every axle of a car carries: the car's LONG 6622 + k,
// the wheel-rig tag's code for an extra axle and CarDynamicsParams::axleType.
// Its low byte is the axle's group (which wheel sizes, camber, springs and
// tyres it takes), bit 8 is set when the axle does not steer. Every reader
// goes through DecodeAxleWord, so the word means the same everywhere.
#pragma once

#include <cstdint>

inline constexpr std::int32_t kAxleGroupFront = 0;
inline constexpr std::int32_t kAxleGroupRear = 1;
inline constexpr std::int32_t kAxleNotSteered = 0x100;

struct AxleWord {
  std::int32_t group = kAxleGroupFront;  // -1 for a negative word
  bool steered = true;

  // Only front and rear groups have sizes and settings of their own.
  constexpr bool Known() const { return group == kAxleGroupFront || group == kAxleGroupRear; }
  // Anything that is not plainly the rear group takes the front values.
  constexpr bool Rear() const { return group == kAxleGroupRear; }
};

constexpr AxleWord DecodeAxleWord(std::int32_t word) {
  if (word < 0) return AxleWord{-1, (word & kAxleNotSteered) == 0};
  return AxleWord{word & 0xFF, (word & kAxleNotSteered) == 0};
}

constexpr std::int32_t EncodeAxleWord(std::int32_t group, bool steered) {
  return (group & 0xFF) | (steered ? 0 : kAxleNotSteered);
}
