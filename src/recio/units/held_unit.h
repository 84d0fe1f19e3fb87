// A statement's hold on its unit, kept across the statements of a run where that is
// allowed, and given up before any report. Every statement takes its unit through one of
// these, so that the two rules of holding are written once: a held unit is given up as
// soon as another thread waits for it or has begun to end the run, and the lock is given
// up before a report, which closes every unit and would otherwise wait for this one.
#pragma once

#include <cstdint>

#include "recio/stop/stop.h"
#include "recio/units/unit.h"
#include "recio/units/unit_table.h"

namespace recio {

class HeldUnit {
 public:
  HeldUnit() = default;
  ~HeldUnit() { release(); }
  HeldUnit(const HeldUnit&) = delete;
  HeldUnit& operator=(const HeldUnit&) = delete;

  // From here on a statement that ends well keeps its unit for the next statement
  // (endStatement), until release: a run of statements then takes the unit's lock once,
  // and a stop from another thread still waits for one statement (or one run of them taken
  // together, read_statements.h) at most.
  void keepBetweenStatements() { keepsBetweenStatements_ = true; }

  // The unit for a statement on `unitNumber`, locked: the one kept from the statement
  // before when it is that unit and may be kept, else taken anew (acquireUnit, which
  // also waits for a stop begun elsewhere). nullptr when the number is not connected.
  Unit* take(std::int32_t unitNumber) {
    if (unit_ != nullptr) {
      if (unit_->number() == unitNumber && mayKeep()) return unit_;
      release();
    }
    unit_ = acquireUnit(unitNumber);
    return unit_;
  }

  // Whether the unit held may serve the next statement of a run: no other thread waits
  // for it, and none has begun a stop, which that statement must not race any more than
  // acquireUnit lets a new one.
  bool mayKeep() const { return !unit_->isAwaited() && !(stopMayHaveBegun() && stopBegunElsewhere()); }

  // The statement that took the unit has ended well.
  void endStatement() {
    if (!keepsBetweenStatements_ || !mayKeep()) release();
  }

  void release() {
    if (unit_ == nullptr) return;
    releaseUnit(*unit_);
    unit_ = nullptr;
  }

  // Gives the unit up, then issues the fatal report `messageNumber` naming it. Returns
  // only when this thread is already ending the run (fatalReport).
  void releaseAndReport(std::int32_t messageNumber);

 private:
  Unit* unit_ = nullptr;
  bool keepsBetweenStatements_ = false;
};

}  // namespace recio
