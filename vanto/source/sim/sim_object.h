// The simulation object: the parent of the cars it runs. On every evaluation
// it collects its direct Car children (and obstacles carrying a crumple-zone
// tag), starts a run on its first frame, advances the cars to the document
// time and resets before its start time.
#pragma once

#include <cstdint>

#include "car/car_status.h"
#include "car/add_ons.h"
#include "sim/sim_params.h"
#include "sim/sim_run.h"
#include "engine/sim_settings.h"

inline constexpr const char* kSimVersionText = "VANTO! 1.70.4";
// Steps per second the run accepts (LONG 1000 is held inside).
inline constexpr LONG kMinStepsPerSecond = 1;
inline constexpr LONG kMaxStepsPerSecond = 100000;
// Frame rate of a Sim outside a document.
inline constexpr LONG kDefaultFps = 30;
// The most corners a polygon prop gets (the description's upper limit).
inline constexpr LONG kMaxPolygonCorners = 100;

// Error box texts.
enum : LONG { IDS_SIM_ENGINE_ERROR = 10099, IDS_SIM_RUN_ERROR = 10100 };
// Names of the crash props.
enum : LONG { IDS_PROP_CUBE = 10038, IDS_PROP_CYLINDER = 10039, IDS_PROP_POLYGON = 10040 };


class Sim : public ObjectData, public SimRunView {
 public:
  static NodeData* Alloc() { return new Sim; }

  Bool Init(GeListNode* node) override;
  void Free(GeListNode* node) override;
  Bool Message(GeListNode* node, LONG type, void* data) override;
  Bool CopyTo(NodeData* dest, GeListNode* snode, GeListNode* dnode, LONG flags, AliasTrans* trn) override;
  Bool GetDDescription(GeListNode* node, Description* description, LONG& flags) override;
  Bool GetDEnabling(GeListNode* node, const DescID& id, const GeData& t_data, LONG flags,
                    const BaseContainer* itemdesc) override;
  Bool AddToExecution(BaseObject* op, PriorityList* list) override;
  EXECUTIONRESULT Execute(BaseObject* op, BaseDocument* doc, BaseThread* bt, LONG priority, LONG flags) override;

  // Gathers the direct Car children and the obstacles. 1 after a walk over
  // at least one child, 0 without children, -1 when memory failed (the lists
  // gathered so far stay).
  LONG CollectCars(BaseDocument* doc, BaseObject* op);

  SimSettings& Settings() { return settings_; }
  const CarEntry* Cars() const override { return cars_; }
  LONG CarCount() const override { return carCount_; }
  CollisionShape* const* Obstacles() const { return obstacles_; }
  LONG ObstacleCount() const { return obstacleCount_; }
  LONG GetBakePhase() const override { return bakePhase_; }
  void SetBakePhase(LONG phase) override { bakePhase_ = phase; }

 private:
  // What a direct child was at the last collection, to notice changes
  // without touching a child that may be gone.
  struct ChildStamp {
    const BaseObject* object;
    std::uint64_t serial;
    const BaseTag* crumpleTag;
  };

  void ReleaseLists();
  bool ChildrenChanged(const BaseObject* op) const;
  bool StampChildren(const BaseObject* op);
  bool RememberReadyCars();
  void ReportError(BaseObject* op, LONG resource, LONG number, bool engine);
  BaseObject* AddProp(BaseDocument* doc, BaseObject* op, LONG id);

  LONG bakePhase_ = 0;
  SimSettings settings_;
  // The simulated time the run has been asked to reach so far. The next
  // target adds the document's step to it rather than to simTime, which
  // overshoots by part of a step each frame.
  double advancedTo_ = 0.0;
  CarEntry* cars_ = nullptr;
  LONG carCount_ = 0;
  CollisionShape** obstacles_ = nullptr;
  LONG obstacleCount_ = 0;
  ChildStamp* children_ = nullptr;
  LONG childCount_ = 0;
  // Obstacle tags whose shape was not built yet at the last collection: the
  // next evaluation collects again rather than running without them.
  LONG pendingObstacles_ = 0;
  // Serials of the cars the current run has set up.
  std::uint64_t* ready_ = nullptr;
  LONG readyCount_ = 0;
};
