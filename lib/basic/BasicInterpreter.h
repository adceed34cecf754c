// TBasicInterpreter: the BASIC V2 of our own ROM set, run natively behind traps.
//
// The built-in BASIC ROM holds, at the entry points C64 software uses ($A7AE
// next statement, $A474 READY, $AB1E and $BDCD output, ...), the byte $02 (an
// opcode that would jam the processor) followed by a trap number. When the
// processor fetches such a pair from the visible built-in BASIC ROM it calls
// trap() instead of halting. Everything the interpreter knows lives in the
// emulated machine: the program and its pointers ($2B-$38, $7A/$7B), variables,
// arrays and strings in the genuine layout, FOR and GOSUB frames on the 6510
// stack. So POKE, PEEK and SYS act on the machine, and a program that changes
// the vectors at $0300-$0333 sees its code called as on a C64.
//
// One trap runs one statement and charges the cycles a statement costs, so the
// timers, the raster and the interrupts keep running between statements.
// Output to the screen leaves through CHROUT ($FFD2, vectored at $0326) one
// character at a time from a small loop in the ROM; SYS pushes a return into
// the ROM and jumps to the machine code. USR calls machine code in the middle
// of a formula: the statement (or PRINT item) stops there and runs again when
// the routine returns, answering the calls made so far (USR, RND, PEEK, TI, ST)
// from a record of their results, so it sees the values it would have seen
// running once. The floating point routines machine code calls from the ROM
// are the math package's (MathPackage.h); FRMNUM, which evaluates a formula,
// is the interpreter's.
//
//   TBasicInterpreter basic(machine);
//   machine.setBasicTrapHandler(&basic);  // the instance does this for the built-in set
//   // the machine then calls basic.reset() at each tune start and basic.trap()
//   // for each opcode $02 fetched from the visible built-in BASIC ROM.
//
// The trap numbers and entry points come from the ROM's source (BasicRomLayout.h).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "BasicRomLayout.h"
#include "MathPackage.h"
#include "RomTrap.h"

class T6510;

class TBasicInterpreter final : public TRomTrapHandler, private TBasicRomLayout {
 public:
  explicit TBasicInterpreter(T6510& machine) : m(machine), math(machine) {}
  TBasicInterpreter(const TBasicInterpreter&) = delete;
  TBasicInterpreter& operator=(const TBasicInterpreter&) = delete;

  void reset() override;
  void trap() override;

  // The error numbers of BASIC V2 (X at the $0300 vector).
  enum Error : uint8_t {
    errTooManyFiles = 1, errFileOpen, errFileNotOpen, errFileNotFound, errDeviceNotPresent,
    errNotInputFile, errNotOutputFile, errMissingFileName, errIllegalDevice, errNextWithoutFor,
    errSyntax, errReturnWithoutGosub, errOutOfData, errIllegalQuantity, errOverflow, errOutOfMemory,
    errUndefinedStatement, errBadSubscript, errRedimmedArray, errDivisionByZero, errIllegalDirect,
    errTypeMismatch, errStringTooLong, errFileData, errFormulaTooComplex, errCantContinue,
    errUndefinedFunction, errVerify, errLoad,
  };
  static std::string errorMessage(uint8_t error);
  // The text of a token ($80 END ... $CB GO), or null for other bytes.
  static const char* keyword(uint8_t token);

 private:
  struct Value {
    bool isString = false;
    double number = 0;
    std::string text;
    uint16_t literal = 0;  // address of a string that lies in the program text, or 0
  };
  struct Variable {
    uint16_t address = 0;  // of the value bytes
    char type = 'f';       // 'f' float, 'i' integer, 's' string
    bool special = false;  // TI, TI$ or ST
    uint8_t name1 = 0, name2 = 0;
  };
  struct Name {
    uint8_t name1 = 0, name2 = 0;
    char type = 'f';
  };

  // Machine access: every access goes through the memory map.
  uint8_t peek(uint16_t address);
  void poke(uint16_t address, uint8_t value);
  uint16_t word(uint16_t address);
  void setWord(uint16_t address, uint16_t value);

  // Program text at TXTPTR.
  uint8_t chrget();
  uint8_t chrgot();
  void expectAt(uint8_t c);      // current char must be c; consumed
  void checkComma();             // current char must be ','; left current
  static bool isDigit(uint8_t c) { return c >= '0' && c <= '9'; }
  static bool isLetter(uint8_t c) { return c >= 'A' && c <= 'Z'; }
  bool atStatementEnd();

  // Statements.
  void nextStatement();
  void executeStatement();
  void dispatch(uint8_t token);
  void statementLet();
  void statementFor();
  void statementNext();
  void statementGoto(bool gosub);
  void gotoLine(uint16_t line);
  void statementReturn();
  void statementIf();
  void statementOn();
  void statementDim();
  void statementRead();
  void statementGet();
  uint8_t takeKey();  // the first key of the keyboard buffer, which must not be empty
  void statementInput(bool fromFile);
  void finishInput();
  void statementPrint(bool toFile);
  void continuePrint();
  void statementPoke();
  void statementSys();
  void statementWait();
  void statementDef();
  void statementOpen();
  void statementClose();
  bool fileIsOpen(uint8_t file);
  void statementList();
  void statementLoad();
  void skipStatement();
  void skipLine();
  uint16_t lineNumber();
  uint16_t findLine(uint16_t line, bool& found);
  void clearVariables();
  void resetTextPointer();
  void linkProgram();
  void endProgram(bool breakMessage);
  void ready();

  // Expressions.
  Value expression();
  double numericExpression();
  std::string stringExpression();
  Value binary(int minPrecedence);
  Value unary();
  Value function(uint8_t token);
  Value callFn();
  Value applyBinary(uint8_t op, int relation, const Value& left, const Value& right);
  double checked(double value);
  uint16_t addressExpression();
  uint8_t byteExpression();
  int16_t toInteger(double value);
  void closeParen();
  double rnd(double argument);

  // Variables and strings.
  Name parseName();
  Variable variable(bool create);
  std::vector<int> subscripts();  // "(a, b, ...)" after its opening parenthesis
  Variable simpleVariable(const Name& name, bool create);
  Variable arrayElement(const Name& name, const std::vector<int>& indices, bool dimension);
  Value load(const Variable& v);
  void store(const Variable& v, const Value& value);
  uint16_t allocateString(std::size_t length);
  void collectGarbage();
  std::string readString(uint8_t length, uint16_t address);
  void makeRoom(uint16_t at, uint16_t bytes);
  Value jiffyValue(bool asText);

  // Stack frames of FOR and GOSUB on the 6510 stack.
  void pushFrame(const std::vector<uint8_t>& bytes);
  int findForFrame(uint16_t variable);

  // USR: where a stopped evaluation starts again, and the results it met.
  enum class Restart : uint8_t { statement, printItem, formula };
  void beginStep(Restart kind);
  template <class Compute>
  Value recorded(Compute compute);
  Value usr(double argument);
  void resumeAfterUsr();
  void formula();
  void returnFromRoutine();

  // Output through CHROUT, then continue at `then`.
  void output(const std::string& text, uint16_t then);
  void raise(uint8_t error);
  void handleError(uint8_t error);   // through the vector at $0300
  void reportError(uint8_t error);   // the message, then READY
  void finish();

  T6510& m;
  TMathPackage math;
  uint16_t txt = 0;
  uint32_t cost = 0;
  int nesting = 0;  // expression depth: a hostile formula must not exhaust the host stack
  int statementDepth = 0;
  uint32_t reads = 0;
  static constexpr uint32_t maxReadsPerTrap = 4'000'000;
  std::string pending;  // characters waiting for CHROUT
  std::size_t pendingAt = 0;
  uint16_t pendingThen = 0;
  std::string inputLine;  // typed so far while INPUT waits
  std::vector<Value> record;
  std::size_t recordAt = 0;
  bool resuming = false;
  Restart restartKind = Restart::statement;
  uint16_t restartTxt = 0;
};
