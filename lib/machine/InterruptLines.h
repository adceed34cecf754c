// TInterruptLines: the processor's IRQ and NMI inputs and what stands between a
// source pulling a line and the processor taking the interrupt.
//
// Sources: CIA 1 and the VIC share the IRQ line, CIA 2 drives the NMI line. A
// source that pulls its line records where in the current instruction it did
// (the source position); the dispatch then counts down the cycles the 6510
// needs before it takes the interrupt, and marks it due once the chip's
// interrupt data shows it. Acknowledging a source (reading a CIA's interrupt
// data, writing $D019) releases the line when no other source holds it.
//
//   lines.raiseCiaIrq(position);       // CIA 1's timer ran out
//   lines.ciaIrqAcknowledged();        // the handler read $DC0D
#pragma once

#include <cstdint>

struct TInterruptLines {
  bool ciaIrqPending = false, vicIrqPending = false, nmiPending = false;
  // The countdowns from a pulled line to the taken interrupt, and whether the
  // interrupt is due (the chip's data shows it).
  bool irqCountdownActive = false, nmiCountdownActive = false;
  int32_t irqCountdown = 0, nmiCountdown = 0;
  bool irqDue = false, nmiDue = false;
  // An NMI that came while BRK ran took over the BRK's pushes.
  bool breakTakenOver = false;
  // Where in the instruction that pulled the line it did.
  int32_t irqSourcePosition = 0, nmiSourcePosition = 0;

  bool irqPending() const { return ciaIrqPending || vicIrqPending; }
  // Whether a source that is not yet pulling may pull now (false: already pulled).
  bool raiseCiaIrq(int32_t position) {
    if (ciaIrqPending) return false;
    ciaIrqPending = true;
    irqSourcePosition = position;
    return true;
  }
  bool raiseNmi(int32_t position) {
    if (nmiPending) return false;
    nmiPending = true;
    nmiSourcePosition = position;
    return true;
  }
  void raiseVicIrq(int32_t position) {
    vicIrqPending = true;
    irqSourcePosition = position;
  }
  // A source lets go; the IRQ line is released when the other does not hold it.
  void ciaIrqAcknowledged() {
    ciaIrqPending = false;
    if (!vicIrqPending) releaseIrq();
  }
  void vicIrqAcknowledged() {
    vicIrqPending = false;
    if (!ciaIrqPending) releaseIrq();
  }
  void nmiCancelled() { nmiPending = nmiCountdownActive = nmiDue = false; }
  void irqTaken() {
    ciaIrqPending = vicIrqPending = false;
    releaseIrq();
  }
  void nmiTaken() {
    nmiCancelled();
    breakTakenOver = false;
  }
  // No line pulled, counting down or due: a dispatch would only find the next timed event.
  bool quiet() const {
    return !ciaIrqPending && !vicIrqPending && !nmiPending && !irqCountdownActive && !nmiCountdownActive &&
           !irqDue && !nmiDue && !breakTakenOver;
  }
  // Whether reading CIA 1's (or CIA 2's) interrupt data while it is empty would
  // change nothing here: the read is then a wait, not an acknowledgement.
  bool cia1PollQuiet() const { return !ciaIrqPending && (vicIrqPending || (!irqCountdownActive && !irqDue)); }
  bool cia2PollQuiet() const { return !nmiPending && !nmiCountdownActive && !nmiDue; }
  // Lines released, nothing counting. The source positions are left as they
  // are (see the note at rederiveInterrupts).
  void reset() {
    ciaIrqPending = vicIrqPending = nmiPending = false;
    irqCountdownActive = nmiCountdownActive = false;
    irqCountdown = nmiCountdown = 0;
    irqDue = nmiDue = breakTakenOver = false;
  }

 private:
  void releaseIrq() { irqCountdownActive = irqDue = false; }
};
