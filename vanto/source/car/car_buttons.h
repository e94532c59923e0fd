// The Car's parameter buttons (host message 18): building the objects a car
// set-up uses (collision outline and deformers, instruments, springs, skid
// marks, route, marker and ground pieces, the output object), fitting and
// building the rig, and a few one-shot settings. Every object a button makes
// is recorded as new in the document's undo, and the car keeps a link to it.
// The settings-file buttons 1030 and 1035 live with the settings file.
#pragma once

#include "scene/carstate.h"
#include "host_scene.h"

// Buttons that car_params.h does not name.
enum : LONG {
  CAR_FORCE_PRESET_APPLY = 1861,
  CAR_COMMAND_ADD = 1921,
  CAR_GROUND_ADD = 1941,
  CAR_OUTPUT_BUILD = 2001,
  CAR_NEEDLE_STEER_BUILD = 2032,
  CAR_NEEDLE_THROTTLE_BUILD = 2037,
  CAR_NEEDLE_BRAKE_BUILD = 2042,
  CAR_NEEDLE_HANDBRAKE_BUILD = 2047,
  CAR_BRAKE_LIGHT_BUILD = 2052,
  CAR_SPRINGS_BUILD = 2064,
  CAR_SKID_MARKS_BUILD = 2089,
};

// Names of the objects the buttons make, and their texts.
enum : LONG {
  IDS_CRUMPLE_GROUP = 10017,
  IDS_DEFORMATION_GROUP = 10018,
  IDS_ATTACHED_PARTS = 10019,
  IDS_COLLISION_OUTLINE = 10020,
  IDS_ROUTE_GROUP = 10021,
  IDS_ROUTE_PIECE = 10022,
  IDS_COMMAND_GROUP = 10023,
  IDS_COMMAND_MARKER = 10024,
  IDS_GROUND_GROUP = 10025,
  IDS_GROUND_PIECE = 10026,
  IDS_NEEDLE_STEER = 10027,
  IDS_NEEDLE_THROTTLE = 10028,
  IDS_NEEDLE_BRAKE = 10029,
  IDS_NEEDLE_HANDBRAKE = 10030,
  IDS_BRAKE_LIGHT = 10031,
  IDS_CLEAR_SPEEDS_QUESTION = 10101,
};

// Carries out a press of button id on the car. False when id is not one of
// the buttons handled here; a button whose objects cannot be made (no body
// object to hang them on, for one) changes nothing and still gives true.
Bool PressCarButton(BaseDocument* doc, BaseObject* car, CarState& state, LONG id);
