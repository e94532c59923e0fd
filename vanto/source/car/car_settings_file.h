// The car-settings text file: writing a car's set-up, and the save and load
// commands of the Car. The reader is declared with the record in
// car_settings.h.
//
// The file is line-oriented text, every line ending in CR LF: a banner, the
// name, description and author, then sections headed "{SECTn}" whose items
// read  label{ID}=value,value,...  optionally followed by " # comment".
// Lengths are in metres; the car's parameters hold scene units.
#pragma once

#include "car/car_settings.h"
#include "scene/carstate.h"
#include "host_types.h"

class BaseObject;

// One number as the host prints it: digits_after digits after the point,
// automatic digits before it (-1), no exponent, "0" as fill.
String FormatReal(double value, LONG digits_before, LONG digits_after, Bool exponent, std::uint16_t fill);

// values[0] .. values[n - 1] with four digits after the point, separated by
// "," without spaces; out is replaced and returned. Empty for n < 1.
String& FormatRealList(String& out, const double* values, LONG n);

// Writes the car's set-up to file (all sections). A failure is shown to the
// user (string 10103) and gives false; lines written before it stay.
Bool WriteCarSettingsFile(const Filename& file, BaseObject* car, const CarState& state);

// The Car's save button: asks for a file (suffix "ini", starting from the
// car's name) and writes it. False when cancelled or the write failed.
Bool SaveCarSettingsCommand(BaseObject* car, const CarState& state);

// The sections the load button takes, from the car's Bools 1036 .. 1044:
// Bool 1036 + k contributes 2^(k + 1).
LONG CarSettingsLoadMask(const BaseContainer& bc);

// The Car's load button: asks for a file, reads it with the load mask into a
// fresh record and applies that; when the geometry section was taken the rig
// goes back to its rest pose. A file that does not load is reported (string
// 10104) and changes nothing. False when cancelled or the file did not load.
Bool LoadCarSettingsCommand(BaseObject* car, CarState& state);
