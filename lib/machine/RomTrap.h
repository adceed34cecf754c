// TRomTrapHandler: native code behind a ROM of our own.
//
// A built-in ROM may hold, at an entry point, the byte $02 (an opcode that
// would jam the processor) followed by a trap number. The machine hands such a
// fetch to the handler registered for that ROM instead of halting; the handler
// reads the number at PC, does the routine's work on the machine and leaves PC
// where the routine would have gone. One call per trap, never per instruction.
//
//   machine.setBasicTrapHandler(&interpreter);   // the instance wires it up
#pragma once

class TRomTrapHandler {
 public:
  virtual ~TRomTrapHandler() = default;
  // PC points at the trap number, just past the $02 opcode.
  virtual void trap() = 0;
  // A tune is about to start: nothing of the previous one may carry over.
  virtual void reset() = 0;
};
