// The car's viewport drawing: the geometry handles with their guide lines
// (at the set-up time), wire overlays over the rig (body box and cabin,
// centre of mass, crumple box, second box, wheels, and at the set-up time the
// suspension and caster lines), and while the simulation runs the
// car-following sector, the collision outline and one dashboard panel per car.
#pragma once

#include "scene/carstate.h"
#include "car/car_status.h"
#include "host_draw.h"
#include "host_plugin.h"

// Overlay colours.
inline constexpr Vector kHandleOrange{240.0 / 255.0, 165.0 / 255.0, 43.0 / 255.0};
inline constexpr Vector kHandleYellow{240.0 / 255.0, 229.0 / 255.0, 47.0 / 255.0};
inline constexpr Vector kAlertRed{228.0 / 255.0, 45.0 / 255.0, 45.0 / 255.0};
inline constexpr Vector kCrumpleGreen{45.0 / 255.0, 223.0 / 255.0, 23.0 / 255.0};
inline constexpr Vector kSuspensionCyan{49.0 / 255.0, 207.0 / 255.0, 246.0 / 255.0};
inline constexpr Vector kWheelBlue{102.0 / 255.0, 133.0 / 255.0, 194.0 / 255.0};
inline constexpr Vector kExtraWheelBlue{0.3, 0.3911765, 0.5705882};
inline constexpr Vector kSecondBoxGrey{0.8, 0.8, 0.8};
// Dashboard bars; brighter while a command marker (+0.15) or direct input
// (+0.3) drives the bar's channel.
inline constexpr Vector kThrottleBar{0.1235294, 0.6121569, 0.0631373};
inline constexpr Vector kBrakeBar{0.6258824, 0.1235294, 0.1235294};
inline constexpr Vector kSteerBar{0.0, 0.14, 0.42};

// Dashboard panels, screen pixels.
inline constexpr LONG kPanelWidth = 180;
inline constexpr LONG kPanelHeight = 94;
inline constexpr LONG kPanelTitleChars = 27;

// The top-left corner of car carIndex's panel in a view frame: panels side by
// side along the bottom, those that do not fit in a second row above. False
// when the panel has no place: a view narrower than a panel, a negative
// index, or a second row above the frame's top.
Bool DashboardPanelOrigin(LONG left, LONG top, LONG right, LONG bottom, LONG carIndex, LONG& x, LONG& y);

// Car::Draw; labels are the Car's dashboard captions. handleCache holds the car's handle positions (refreshed here in
// the handle pass). Always DRAWRESULT_OK.
DRAWRESULT DrawCar(BaseObject* op, CarState& state, const HudLabels& labels, Vector* handleCache, LONG drawpass,
                   BaseDraw* bd, BaseDrawHelp* bh);
