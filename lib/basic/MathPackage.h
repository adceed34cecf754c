// TMathPackage: BASIC's floating point and conversion routines at their ROM
// addresses, for machine code that calls them: the run-times of BASIC
// compilers, SYS and USR routines. Each entry of the built-in BASIC ROM holds
// a trap (BasicRomLayout.h); the routine works on the zero page as the C64's
// does and returns to its caller:
//   $61-$66  FAC: exponent, four mantissa bytes (top bit present), sign byte
//   $70      FAC's rounding byte, below the mantissa
//   $69-$6E  ARG, laid out as FAC;  $6F  sign of FAC EOR sign of ARG
//   $68      the byte shifted in from the top when a mantissa moves right
//   $26-$29  product and quotient;  $22/$23  pointer of the memory operand
//   $7A/$7B  text pointer (FIN);  $8B-$8F  RND's seed
// Results are those of the C64 bit for bit, oddities included: its adder
// keeps the bits a smaller operand loses in the rounding byte, its multiplier
// takes FAC's rounding byte as a fifth digit and loses a bit after two zero
// digits in a row, and nothing is rounded until a value is stored or moved to
// ARG. The registers and flags are left as the routine leaves them on its way
// out (A, X, Y, carry, zero, negative); an error (overflow, division by zero,
// illegal quantity) leaves through $A437 with the error number in X, as the
// C64 does. A call takes the cycles the C64 spends in it, path by path; its
// effects are there at once, and the processor then stays on the trap for
// those cycles in steps of a few cycles (the trap fetched again), so that the
// VIC takes its bad lines and interrupts come in during the routine as they do
// on a C64. An interrupt's RTI brings it back to the trap to finish.
//
//   TMathPackage math(machine);
//   if (math.trap(number)) return;   // number: the byte after the $02 opcode
//   math.setFac(2.5);                // a value handed to a USR routine
//   double v = math.fac();           // the value it handed back
#pragma once

#include <array>
#include <bitset>
#include <cstdint>
#include <vector>

class T6510;

class TMathPackage {
 public:
  explicit TMathPackage(T6510& machine) : m(machine) {}
  TMathPackage(const TMathPackage&) = delete;
  TMathPackage& operator=(const TMathPackage&) = delete;

  // Whether trap `number` is one of the package's routines.
  static bool owns(uint8_t number);
  // Runs the routine of trap `number` with PC past the number, or the next
  // step of the one under way there; false when the number belongs to no
  // routine of the package.
  bool trap(uint8_t number);
  // A tune starts: no routine is under way.
  void reset() { underWay.clear(); }

  // FAC as BASIC hands a number to USR and as it takes the result back
  // (rounded by the rounding byte, as storing it would).
  void setFac(double value);
  double fac();

 private:
  struct Error {
    uint8_t code;
  };
  // A routine whose cycles are being spent: where its trap is, the stack
  // pointer it was called with, what is left, and how it leaves.
  struct UnderWay {
    uint16_t at;
    uint8_t sp;
    bool failed;
    uint32_t remaining;
  };

  // The zero page is worked on in a copy; what a routine read and wrote goes
  // back to the machine at its end, through the memory map.
  uint8_t get(uint8_t address);
  void put(uint8_t address, uint8_t value);
  uint32_t mantissa(uint8_t top);
  void setMantissa(uint8_t top, uint32_t value);
  uint8_t load(uint16_t address);
  void store(uint16_t address, uint8_t value);
  void setNZ(uint8_t value);
  void finish(bool failed, uint8_t error);
  bool continueUnderWay();
  void spend(UnderWay& call);

  // Moving numbers.
  void loadFac(uint16_t address);
  void loadFac(const uint8_t (&bytes)[5]);
  void storeFac(uint16_t address);
  void unpackArg(const std::array<uint8_t, 5>& bytes, uint16_t address);
  void unpackArg(uint16_t address);
  void withArgFrom(uint16_t address, void (TMathPackage::*operation)());
  void copyArgToFac();
  void copyFacToArg();
  void round();

  // Arithmetic.
  void add();
  void subtract();
  void multiply();
  void divide();
  void multiplyByTen();
  void divideByTen();
  bool addExponents();
  void multiplyDigit(uint8_t digit, bool zeroShortcut);
  void alignOperand();
  void addOrSubtract();
  void addMantissas();
  void subtractMantissas(uint8_t moved);
  void normalize();
  void zeroFac();
  void negateFac();
  void complementFac();
  void incrementMantissa();
  void carryIntoExponent();
  void moveByteRight(uint8_t base);
  uint8_t shiftRight(uint8_t base);
  uint8_t finishBitStep(uint8_t base);
  void bitStep(uint8_t base);
  void stepRest(uint8_t base);

  // Conversions.
  void floatFrom(uint8_t exponent);
  void givayf(bool setType);
  void quickInteger();
  void integerPart();
  void checkedInteger();
  void address();
  uint8_t sign();
  uint8_t compare(const std::array<uint8_t, 5>& bytes, uint16_t at);
  void negate();
  void readNumber();
  uint8_t nextChar();
  void random();

  T6510& m;
  std::array<uint8_t, 256> z{};
  std::bitset<256> readMask, writeMask;
  uint8_t a = 0, x = 0, y = 0;
  bool carry = false, zero = false, negative = false;
  uint32_t cycles = 0;
  std::vector<UnderWay> underWay;  // innermost last: an interrupt may call a routine too
};
