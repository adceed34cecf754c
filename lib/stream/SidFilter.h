// TSidFilter: the SID stage of the machine's memory map.
//
// The machine owns one, built on its instance's TSidWrapper, and sends everything
// bound for the access stream through it (accesses, idle time, markers, the
// restart); each is passed on unchanged:
//
//   TSidFilter filter(wrapper);
//   filter.write(reg, value, cyclesSinceSid);
//   uint8_t v = filter.read(27, cyclesSinceSid);   // oscillator 3, envelope 3
//   if (filter.clock(idle) > 0) cyclesSinceSid = ...;  // idle time was taken
//
// The write hold-back lives in the wrapper, so this stage keeps no state of its own.
#pragma once

#include <cstdint>

#include "SidWrapper.h"

class TSidFilter {
 public:
  explicit TSidFilter(TSidWrapper& wrapper) : wrapper_(wrapper) {}

  void write(uint8_t reg, uint8_t value, int32_t cycles) { wrapper_.writeRegister(reg, value, cycles); }
  uint8_t read(uint8_t reg, int32_t cycles) { return wrapper_.readRegister(reg, cycles); }
  int32_t clock(int32_t cycles) {
    wrapper_.clock(cycles);
    return cycles;
  }
  // A read the register model does not answer: the bus value goes into the stream.
  void queueRead(uint8_t reg, uint8_t busValue, int32_t cycles) { wrapper_.queueRead(reg, busValue, cycles); }
  void pushMarker(uint8_t marker) { wrapper_.pushMarker(marker); }
  // A key press starts the tune over: the stream starts again from here.
  void restart() { wrapper_.restart(); }
  int32_t queued() const { return wrapper_.count(); }
  bool clockRunning() const { return wrapper_.clockRunning(); }
  void reset();
  void setMusMode(bool musMode) { wrapper_.setMusMode(musMode); }

 private:
  TSidWrapper& wrapper_;
};
