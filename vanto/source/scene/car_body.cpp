// Body-only model set-up from the Car's parameters, for a car shown or
// handled outside a run.
#include "scene/car_body.h"

#include "host_container.h"
#include "host_scene.h"
#include "scene/run_state.h"

void SetUpCarBody(BaseDocument* doc, const BaseContainer& bc, CarState& car) {
  const BaseObject* engine = bc.GetObjectLink(RIG_ENGINE, doc);
  if (!engine) return;  // without an engine object the model stays as it was
  const double u = 1.0 / car.settings.unitsPerMetre;
  Vec3 bodyBox, engineBox;
  HostToDynamicsAxes(car.bodySize, bodyBox);
  ScaleVec3InPlace(bodyBox, u);
  HostToDynamicsAxes(bc.GetVector(CAR_ENGINE_SIZE), engineBox);
  ScaleVec3InPlace(engineBox, u);
  const Vector at = engine->GetRelPos();
  SetUpTwoBoxBody(car.dynamics, bodyBox, bc.GetReal(CAR_MASS_BODY), engineBox, bc.GetReal(CAR_MASS_ENGINE), at.z * u,
                  at.y * u, car.settings.gravity);
}
