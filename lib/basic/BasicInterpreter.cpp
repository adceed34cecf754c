#include "BasicInterpreter.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "BasicFloat.h"
#include "P6510.h"

namespace {

// Zero page of BASIC.
constexpr uint16_t TXTTAB = 0x2B, VARTAB = 0x2D, ARYTAB = 0x2F, STREND = 0x31, FRETOP = 0x33, MEMSIZ = 0x37;
constexpr uint16_t CURLIN = 0x39, OLDLIN = 0x3B, OLDTXT = 0x3D, DATLIN = 0x3F, DATPTR = 0x41, TXTPTR = 0x7A;
constexpr uint16_t STATUS = 0x90, JIFFY = 0xA0, CURSOR_COL = 0xD3, KEY_COUNT = 0xC6, KEY_BUFFER = 0x0277;
constexpr uint16_t OPEN_FILES = 0x98, FILE_NUMBERS = 0x0259, FILE_DEVICES = 0x0263, FILE_SECONDARY = 0x026D;
constexpr uint16_t SYS_A = 0x030C, SYS_X = 0x030D, SYS_Y = 0x030E, SYS_P = 0x030F, ERROR_VECTOR = 0x0300;
constexpr uint16_t RND_SEED = 0x8B;

// Tokens.
constexpr uint8_t tEND = 0x80, tFOR = 0x81, tNEXT = 0x82, tDATA = 0x83, tINPUTN = 0x84, tINPUT = 0x85,
                  tDIM = 0x86, tREAD = 0x87, tLET = 0x88, tGOTO = 0x89, tRUN = 0x8A, tIF = 0x8B,
                  tRESTORE = 0x8C, tGOSUB = 0x8D, tRETURN = 0x8E, tREM = 0x8F, tSTOP = 0x90, tON = 0x91,
                  tWAIT = 0x92, tLOAD = 0x93, tSAVE = 0x94, tVERIFY = 0x95, tDEF = 0x96, tPOKE = 0x97,
                  tPRINTN = 0x98, tPRINT = 0x99, tCONT = 0x9A, tLIST = 0x9B, tCLR = 0x9C, tCMD = 0x9D,
                  tSYS = 0x9E, tOPEN = 0x9F, tCLOSE = 0xA0, tGET = 0xA1, tNEW = 0xA2, tTAB = 0xA3, tTO = 0xA4,
                  tFN = 0xA5, tSPC = 0xA6, tTHEN = 0xA7, tNOT = 0xA8, tSTEP = 0xA9, tPLUS = 0xAA,
                  tMINUS = 0xAB, tTIMES = 0xAC, tDIVIDE = 0xAD, tPOWER = 0xAE, tAND = 0xAF, tOR = 0xB0,
                  tGREATER = 0xB1, tEQUAL = 0xB2, tLESS = 0xB3, tSGN = 0xB4, tMID = 0xCA, tGO = 0xCB,
                  tPI = 0xFF;

constexpr const char* tokenNames[] = {
    "END",  "FOR",   "NEXT", "DATA",  "INPUT#", "INPUT", "DIM",  "READ", "LET",   "GOTO",  "RUN",    "IF",
    "RESTORE", "GOSUB", "RETURN", "REM", "STOP", "ON",   "WAIT", "LOAD", "SAVE",  "VERIFY", "DEF",  "POKE",
    "PRINT#", "PRINT", "CONT", "LIST", "CLR",   "CMD",   "SYS",  "OPEN", "CLOSE", "GET",   "NEW",    "TAB(",
    "TO",   "FN",    "SPC(", "THEN",  "NOT",   "STEP",  "+",    "-",    "*",     "/",     "^",      "AND",
    "OR",   ">",     "=",    "<",     "SGN",   "INT",   "ABS",  "USR",  "FRE",   "POS",   "SQR",    "RND",
    "LOG",  "EXP",   "COS",  "SIN",   "TAN",   "ATN",   "PEEK", "LEN",  "STR$",  "VAL",   "ASC",    "CHR$",
    "LEFT$", "RIGHT$", "MID$", "GO"};

// What a statement or an operation costs the C64, roughly: the interpreter
// must not run faster than time allows the interrupts to follow it.
constexpr uint32_t costTrap = 60, costChar = 14, costScan = 25, costAdd = 120, costMultiply = 500,
                   costDivide = 700, costTranscendental = 2500, costMaxPerTrap = 20000;

struct BasicError {
  uint8_t code;
};
// A USR routine runs: the evaluation stops and starts again when it returns.
struct UsrCall {};

constexpr uint16_t TYPE_FLAG = 0x0D, USR_JUMP = 0x0310;

}  // namespace

const char* TBasicInterpreter::keyword(uint8_t token) {
  return token >= 0x80 && token <= tGO ? tokenNames[token - 0x80] : nullptr;
}

std::string TBasicInterpreter::errorMessage(uint8_t error) {
  static constexpr const char* messages[] = {
      "TOO MANY FILES", "FILE OPEN",        "FILE NOT OPEN",   "FILE NOT FOUND",   "DEVICE NOT PRESENT",
      "NOT INPUT FILE", "NOT OUTPUT FILE",  "MISSING FILE NAME", "ILLEGAL DEVICE NUMBER", "NEXT WITHOUT FOR",
      "SYNTAX",         "RETURN WITHOUT GOSUB", "OUT OF DATA", "ILLEGAL QUANTITY", "OVERFLOW",
      "OUT OF MEMORY",  "UNDEF'D STATEMENT", "BAD SUBSCRIPT",  "REDIM'D ARRAY",    "DIVISION BY ZERO",
      "ILLEGAL DIRECT", "TYPE MISMATCH",    "STRING TOO LONG", "FILE DATA",        "FORMULA TOO COMPLEX",
      "CAN'T CONTINUE", "UNDEF'D FUNCTION", "VERIFY",          "LOAD"};
  if (error == 0 || error > std::size(messages)) return "";
  return messages[error - 1];
}

void TBasicInterpreter::reset() {
  math.reset();
  record.clear();
  recordAt = 0;
  resuming = false;
  pending.clear();
  pendingAt = 0;
  pendingThen = 0;
  inputLine.clear();
}

// ---- machine access ------------------------------------------------------------

uint8_t TBasicInterpreter::peek(uint16_t address) {
  // Every scan reads memory: a program without its zero bytes, or pointers
  // gone wild, end in an error instead of a trap that never returns.
  if (++reads > maxReadsPerTrap) raise(errSyntax);
  return m.readByte(address);
}
void TBasicInterpreter::poke(uint16_t address, uint8_t value) { m.writeByte(address, value); }
uint16_t TBasicInterpreter::word(uint16_t address) {
  return static_cast<uint16_t>(peek(address) | peek(static_cast<uint16_t>(address + 1)) << 8);
}
void TBasicInterpreter::setWord(uint16_t address, uint16_t value) {
  poke(address, static_cast<uint8_t>(value));
  poke(static_cast<uint16_t>(address + 1), static_cast<uint8_t>(value >> 8));
}

uint8_t TBasicInterpreter::chrget() {
  ++txt;
  return chrgot();
}

uint8_t TBasicInterpreter::chrgot() {
  for (;;) {
    cost += costChar;
    const uint8_t c = peek(txt);
    if (c != ' ') return c;
    ++txt;
  }
}

void TBasicInterpreter::expectAt(uint8_t c) {
  if (chrgot() != c) raise(errSyntax);
  ++txt;
}

void TBasicInterpreter::checkComma() {
  if (chrgot() != ',') raise(errSyntax);
}

void TBasicInterpreter::closeParen() { expectAt(')'); }

bool TBasicInterpreter::atStatementEnd() {
  const uint8_t c = chrgot();
  return c == 0 || c == ':';
}

void TBasicInterpreter::raise(uint8_t error) { throw BasicError{error}; }

// ---- the trap ---------------------------------------------------------------------

void TBasicInterpreter::trap() {
  const uint8_t number = m.fetchByte();
  if (TMathPackage::owns(number)) {
    math.trap(number);
    return;
  }
  cost = costTrap;
  reads = 0;
  statementDepth = 0;
  txt = word(TXTPTR);
  try {
    switch (number) {
      case trapNextStatement:
        nextStatement();
        break;
      case trapOutputChar:
        if (pendingAt < pending.size()) {
          m.A = static_cast<uint8_t>(pending[pendingAt++]);
          // PC now points at the JSR $FFD2 that follows.
        } else {
          pending.clear();
          pendingAt = 0;
          m.PC = pendingThen;
        }
        break;
      case trapPrintContinue:
        continuePrint();
        break;
      case trapSysReturn:
        poke(SYS_A, m.A);
        poke(SYS_X, m.X);
        poke(SYS_Y, m.Y);
        poke(SYS_P, static_cast<uint8_t>(m.packStatus() | 0x30));
        m.PC = nextStatementEntry;
        break;
      case trapReady:
        ready();
        break;
      case trapReexecute:
        m.PC = nextStatementEntry;
        executeStatement();
        break;
      case trapInputWait:
        finishInput();
        break;
      case trapLinePrint: {
        const double value = m.A << 8 | m.X;
        output(TBasicFloat::format(value), returnStub);
        break;
      }
      case trapColdInit:
        setWord(TXTTAB, 0x0801);
        setWord(MEMSIZ, word(0x0283));
        poke(0x0801, 0);
        poke(0x0802, 0);
        setWord(VARTAB, 0x0803);
        clearVariables();
        resetTextPointer();
        break;
      case trapClear:
        clearVariables();
        break;
      case trapRunClear:
        resetTextPointer();
        clearVariables();
        break;
      case trapResetPointer:
        resetTextPointer();
        break;
      case trapLinkProgram:
        linkProgram();
        break;
      case trapError:
        // The vector's default handler ($E38B) itself: programs with a handler
        // of their own end up here too once they pass the error on.
        reportError(m.X);
        break;
      case trapFrmnum:
        --txt;
        formula();
        break;
      case trapUsrReturn:
        resumeAfterUsr();
        break;
      default:
        break;
    }
  } catch (const UsrCall&) {
    // PC is at the routine; the evaluation starts again at usrReturn.
  } catch (const BasicError& e) {
    reads = 0;
    handleError(e.code);
  }
  setWord(TXTPTR, txt);
  m.instructionCycles = std::min(cost, costMaxPerTrap);
}

void TBasicInterpreter::output(const std::string& text, uint16_t then) {
  if (text.empty()) {
    m.PC = then;
    return;
  }
  pending = text;
  pendingAt = 0;
  pendingThen = then;
  m.PC = outputLoop;
}

void TBasicInterpreter::handleError(uint8_t error) {
  const uint16_t vector = word(ERROR_VECTOR);
  if (vector != defaultErrorVector && !(error & 0x80)) {
    m.X = error;
    m.PC = vector;
    return;
  }
  reportError(error);
}

void TBasicInterpreter::reportError(uint8_t error) {
  if (error & 0x80) {  // the warm start's "no error"
    m.PC = readyEntry;
    return;
  }
  std::string text = "\r?" + errorMessage(error) + "  ERROR";
  if (peek(CURLIN + 1) != 0xFF) text += " IN" + TBasicFloat::format(word(CURLIN));
  m.SP = 0xFA;
  output(text, readyEntry);
}

void TBasicInterpreter::ready() {
  poke(CURLIN + 1, 0xFF);
  output("\rREADY.\r", mainLoopEntry);
}

void TBasicInterpreter::endProgram(bool breakMessage) {
  if (peek(CURLIN + 1) != 0xFF) {
    setWord(OLDTXT, txt);
    setWord(OLDLIN, word(CURLIN));
  }
  m.SP = 0xFA;
  if (breakMessage) {
    std::string text = "\rBREAK";
    if (peek(CURLIN + 1) != 0xFF) text += " IN" + TBasicFloat::format(word(CURLIN));
    output(text, readyEntry);
  } else {
    m.PC = readyEntry;
  }
}

// ---- statements ------------------------------------------------------------------

void TBasicInterpreter::nextStatement() {
  m.PC = nextStatementEntry;
  const uint8_t c = chrgot();
  if (c == ':') {
    executeStatement();
    return;
  }
  if (c != 0) raise(errSyntax);
  // End of a line: the next one's link and number follow the zero byte.
  if (peek(static_cast<uint16_t>(txt + 2)) == 0) {
    endProgram(false);
    return;
  }
  setWord(CURLIN, word(static_cast<uint16_t>(txt + 3)));
  txt = static_cast<uint16_t>(txt + 4);
  executeStatement();
}

void TBasicInterpreter::executeStatement() {
  // IF ... THEN IF ... nests; memory full of IFs must not exhaust the host stack.
  if (++statementDepth > 100) raise(errFormulaTooComplex);
  beginStep(Restart::statement);
  const uint8_t c = chrget();
  if (c == 0 || c == ':') return;
  dispatch(c);
}

void TBasicInterpreter::dispatch(uint8_t c) {
  if (isLetter(c)) {
    statementLet();
    return;
  }
  switch (c) {
    case tEND: endProgram(false); return;
    case tSTOP: endProgram(true); return;
    case tFOR: statementFor(); return;
    case tNEXT: statementNext(); return;
    case tDATA: skipStatement(); return;
    case tREM: skipLine(); return;
    case tINPUTN: statementInput(true); return;
    case tINPUT: statementInput(false); return;
    case tDIM: statementDim(); return;
    case tREAD: statementRead(); return;
    case tLET: chrget(); statementLet(); return;
    case tGOTO: statementGoto(false); return;
    case tGOSUB: statementGoto(true); return;
    case tGO:
      if (chrget() != tTO) raise(errSyntax);
      statementGoto(false);
      return;
    case tRUN: {
      clearVariables();
      m.SP = 0xFA;
      const uint8_t n = chrget();
      if (n == 0 || n == ':') {
        resetTextPointer();
      } else {
        --txt;
        statementGoto(false);
      }
      return;
    }
    case tIF: statementIf(); return;
    case tRESTORE: setWord(DATPTR, static_cast<uint16_t>(word(TXTTAB) - 1)); chrget(); return;
    case tRETURN: statementReturn(); return;
    case tON: statementOn(); return;
    case tWAIT: statementWait(); return;
    case tLOAD: case tSAVE: case tVERIFY: statementLoad(); return;
    case tDEF: statementDef(); return;
    case tPOKE: statementPoke(); return;
    case tPRINTN: statementPrint(true); return;
    case tPRINT: statementPrint(false); return;
    case tCONT: raise(errCantContinue); return;
    case tLIST: statementList(); return;
    case tCLR: clearVariables(); m.SP = 0xFA; chrget(); return;
    case tCMD: {
      if (!fileIsOpen(byteExpression())) raise(errFileNotOpen);
      if (chrgot() == ',') statementPrint(false);
      return;
    }
    case tSYS: statementSys(); return;
    case tOPEN: statementOpen(); return;
    case tCLOSE: statementClose(); return;
    case tGET: statementGet(); return;
    case tNEW:
      poke(word(TXTTAB), 0);
      poke(static_cast<uint16_t>(word(TXTTAB) + 1), 0);
      setWord(VARTAB, static_cast<uint16_t>(word(TXTTAB) + 2));
      clearVariables();
      m.SP = 0xFA;
      endProgram(false);
      return;
    default: raise(errSyntax);
  }
}

void TBasicInterpreter::skipStatement() {
  bool quoted = false;
  for (;;) {
    const uint8_t c = peek(txt);
    if (c == 0 || (c == ':' && !quoted)) return;
    if (c == '"') quoted = !quoted;
    cost += costChar;
    ++txt;
  }
}

void TBasicInterpreter::skipLine() {
  while (peek(txt) != 0) {
    cost += costChar;
    ++txt;
  }
}

void TBasicInterpreter::statementLet() {
  const Variable target = variable(true);
  if (target.special && target.type != 's') raise(errSyntax);
  if (chrgot() != tEQUAL) raise(errSyntax);
  const Value value = expression();
  store(target, value);
}

uint16_t TBasicInterpreter::lineNumber() {
  uint32_t line = 0;
  uint8_t c = chrget();
  while (isDigit(c)) {
    line = line * 10 + (c - '0');
    if (line >= 64000) raise(errSyntax);
    c = chrget();
  }
  return static_cast<uint16_t>(line);
}

uint16_t TBasicInterpreter::findLine(uint16_t line, bool& found) {
  // Forward jumps search on from the current line, as the C64 does.
  uint16_t at = word(TXTTAB);
  if (peek(CURLIN + 1) != 0xFF && line > word(CURLIN)) {
    uint16_t p = txt;
    while (peek(p) != 0) ++p;
    at = static_cast<uint16_t>(p + 1);
  }
  for (int guard = 0; guard < 65536; ++guard) {
    cost += costScan;
    if (peek(static_cast<uint16_t>(at + 1)) == 0) break;
    const uint16_t number = word(static_cast<uint16_t>(at + 2));
    if (number >= line) {
      found = number == line;
      return at;
    }
    at = word(at);
  }
  found = false;
  return at;
}

void TBasicInterpreter::gotoLine(uint16_t line) {
  bool found = false;
  const uint16_t at = findLine(line, found);
  if (!found) raise(errUndefinedStatement);
  txt = static_cast<uint16_t>(at - 1);
}

void TBasicInterpreter::pushFrame(const std::vector<uint8_t>& bytes) {
  if (m.SP < bytes.size() + 0x3E) raise(errOutOfMemory);
  m.SP = static_cast<uint8_t>(m.SP - bytes.size());
  for (std::size_t i = 0; i < bytes.size(); ++i) poke(static_cast<uint16_t>(0x0100 + m.SP + 1 + i), bytes[i]);
}

void TBasicInterpreter::statementGoto(bool gosub) {
  const uint16_t statement = txt;
  const uint16_t line = lineNumber();
  if (gosub) {
    const uint16_t current = word(CURLIN);
    pushFrame({tGOSUB, static_cast<uint8_t>(current), static_cast<uint8_t>(current >> 8),
               static_cast<uint8_t>(statement), static_cast<uint8_t>(statement >> 8)});
  }
  gotoLine(line);
}

int TBasicInterpreter::findForFrame(uint16_t variableAddress) {
  // Frames lie above the stack pointer; a GOSUB frame ends the search.
  int at = m.SP + 1;
  while (at + 17 <= 0xFF && peek(static_cast<uint16_t>(0x0100 + at)) == tFOR) {
    const uint16_t address = word(static_cast<uint16_t>(0x0100 + at + 1));
    if (variableAddress == 0 || address == variableAddress) return at;
    at += 18;
  }
  return -1;
}

void TBasicInterpreter::statementFor() {
  chrget();
  const Variable counter = variable(true);
  if (counter.type != 'f' || counter.special) raise(errTypeMismatch);
  if (chrgot() != tEQUAL) raise(errSyntax);
  store(counter, expression());
  // A FOR on a counter already looping drops that loop and all above it.
  if (const int at = findForFrame(counter.address); at >= 0) m.SP = static_cast<uint8_t>(at + 17);
  if (chrgot() != tTO) raise(errSyntax);
  const double limit = numericExpression();
  double step = 1;
  if (chrgot() == tSTEP) step = numericExpression();
  if (!atStatementEnd()) raise(errSyntax);
  const auto s = TBasicFloat::pack(step);
  const auto l = TBasicFloat::pack(limit);
  const uint16_t line = word(CURLIN);
  const uint8_t sign = step > 0 ? 1 : step < 0 ? 0xFF : 0;
  pushFrame({tFOR, static_cast<uint8_t>(counter.address), static_cast<uint8_t>(counter.address >> 8), s[0], s[1], s[2],
             s[3], s[4], sign, l[0], l[1], l[2], l[3], l[4], static_cast<uint8_t>(line),
             static_cast<uint8_t>(line >> 8), static_cast<uint8_t>(txt), static_cast<uint8_t>(txt >> 8)});
}

void TBasicInterpreter::statementNext() {
  for (;;) {
    uint16_t address = 0;
    const uint8_t c = chrget();
    if (c != 0 && c != ':') {
      const Variable v = variable(true);
      address = v.address;
    }
    const int at = findForFrame(address);
    if (at < 0) raise(errNextWithoutFor);
    m.SP = static_cast<uint8_t>(at - 1);
    const auto frame = [&](int i) { return peek(static_cast<uint16_t>(0x0100 + at + i)); };
    const uint16_t counter = static_cast<uint16_t>(frame(1) | frame(2) << 8);
    const double step = TBasicFloat::unpack({frame(3), frame(4), frame(5), frame(6), frame(7)});
    const double limit = TBasicFloat::unpack({frame(9), frame(10), frame(11), frame(12), frame(13)});
    const auto sign = static_cast<int8_t>(frame(8));
    Variable v;
    v.address = counter;
    const double value = checked(load(v).number + step);
    cost += costAdd * 2;
    store(v, Value{false, value, {}, 0});
    const int compare = value > limit ? 1 : value < limit ? -1 : 0;
    if (compare == sign) {
      m.SP = static_cast<uint8_t>(at + 17);  // loop done: drop its frame
      if (chrgot() == ',') continue;
      return;
    }
    setWord(CURLIN, static_cast<uint16_t>(frame(14) | frame(15) << 8));
    txt = static_cast<uint16_t>(frame(16) | frame(17) << 8);
    return;
  }
}

void TBasicInterpreter::statementReturn() {
  int at = m.SP + 1;
  while (at + 17 <= 0xFF && peek(static_cast<uint16_t>(0x0100 + at)) == tFOR) at += 18;
  if (at + 4 > 0xFF || peek(static_cast<uint16_t>(0x0100 + at)) != tGOSUB) raise(errReturnWithoutGosub);
  const auto frame = [&](int i) { return peek(static_cast<uint16_t>(0x0100 + at + i)); };
  setWord(CURLIN, static_cast<uint16_t>(frame(1) | frame(2) << 8));
  txt = static_cast<uint16_t>(frame(3) | frame(4) << 8);
  m.SP = static_cast<uint8_t>(at + 4);
  skipStatement();
}

void TBasicInterpreter::statementIf() {
  const Value condition = expression();
  const bool taken = condition.isString ? !condition.text.empty() : condition.number != 0;
  const uint8_t c = chrgot();
  if (c != tTHEN && c != tGOTO) raise(errSyntax);
  if (!taken) {
    skipLine();
    return;
  }
  if (c == tGOTO) {
    statementGoto(false);
    return;
  }
  const uint16_t save = txt;
  if (isDigit(chrget())) {
    txt = save;
    statementGoto(false);
    return;
  }
  txt = save;
  executeStatement();
}

void TBasicInterpreter::statementOn() {
  const uint8_t index = byteExpression();
  const uint8_t kind = chrgot();
  if (kind != tGOTO && kind != tGOSUB) raise(errSyntax);
  const uint16_t statement = txt;
  for (unsigned n = 1;; ++n) {
    const uint16_t line = lineNumber();
    if (n == index) {
      if (kind == tGOSUB) {
        const uint16_t current = word(CURLIN);
        pushFrame({tGOSUB, static_cast<uint8_t>(current), static_cast<uint8_t>(current >> 8),
                   static_cast<uint8_t>(statement), static_cast<uint8_t>(statement >> 8)});
      }
      gotoLine(line);
      return;
    }
    if (chrgot() != ',') return;
  }
}

void TBasicInterpreter::statementDim() {
  do {
    chrget();
    const Name name = parseName();
    if (chrgot() != '(') raise(errSyntax);
    arrayElement(name, subscripts(), true);
  } while (chrgot() == ',');
}

void TBasicInterpreter::statementRead() {
  do {
    chrget();
    const Variable target = variable(true);
    if (target.special) raise(errSyntax);
    uint16_t p = word(DATPTR);
    uint8_t c = peek(p);
    if (c != ',') {
      // Find the next DATA statement from here, line by line.
      for (;;) {
        c = peek(p);
        if (c == 0) {
          if (peek(static_cast<uint16_t>(p + 2)) == 0) {
            setWord(CURLIN, word(DATLIN));
            raise(errOutOfData);
          }
          setWord(DATLIN, word(static_cast<uint16_t>(p + 3)));
          p = static_cast<uint16_t>(p + 4);
        }
        ++p;
        while (peek(p) == ' ') ++p;
        c = peek(p);
        cost += costScan;
        if (c == tDATA) break;
        if (c == tREM) {
          while (peek(p) != 0) ++p;
          continue;
        }
        bool quoted = false;
        while ((c = peek(p)) != 0 && (c != ':' || quoted)) {
          if (c == '"') quoted = !quoted;
          ++p;
        }
      }
    }
    // p is at the character before the item.
    ++p;
    while (peek(p) == ' ') ++p;
    std::string item;
    bool quoted = false;
    if (peek(p) == '"') {
      quoted = true;
      ++p;
      while (peek(p) != 0 && peek(p) != '"') item += static_cast<char>(peek(p++));
      if (peek(p) == '"') ++p;
      while (peek(p) == ' ') ++p;
    } else {
      while (peek(p) != 0 && peek(p) != ':' && peek(p) != ',') item += static_cast<char>(peek(p++));
    }
    cost += costChar * static_cast<uint32_t>(item.size() + 1);
    c = peek(p);
    if (c != 0 && c != ':' && c != ',') {
      setWord(CURLIN, word(DATLIN));
      raise(errSyntax);
    }
    setWord(DATPTR, p);
    if (target.type == 's') {
      if (!quoted) {
        while (!item.empty() && item.back() == ' ') item.pop_back();
      }
      store(target, Value{true, 0, item, 0});
    } else {
      const auto parsed = TBasicFloat::parse(item);
      std::size_t used = parsed ? parsed->used : 0;
      while (used < item.size() && item[used] == ' ') ++used;
      if (quoted || !parsed || used != item.size()) {
        setWord(CURLIN, word(DATLIN));
        raise(parsed ? errSyntax : errOverflow);
      }
      store(target, Value{false, parsed->value, {}, 0});
    }
  } while (chrgot() == ',');
}

uint8_t TBasicInterpreter::takeKey() {
  // The KERNAL's buffer: the first key leaves, the others move up.
  const uint8_t key = peek(KEY_BUFFER);
  const uint8_t count = peek(KEY_COUNT);
  for (uint8_t i = 1; i < count && i < 10; ++i)
    poke(static_cast<uint16_t>(KEY_BUFFER + i - 1), peek(static_cast<uint16_t>(KEY_BUFFER + i)));
  poke(KEY_COUNT, static_cast<uint8_t>(count - 1));
  return key;
}

void TBasicInterpreter::statementGet() {
  if (chrget() == '#') {
    byteExpression();
    checkComma();
  } else {
    --txt;
  }
  do {
    chrget();
    const Variable target = variable(true);
    std::string key;
    if (peek(KEY_COUNT) > 0) key += static_cast<char>(takeKey());
    if (target.type == 's') {
      store(target, Value{true, 0, key, 0});
    } else {
      double v = 0;
      if (!key.empty()) {
        if (!isDigit(static_cast<uint8_t>(key[0]))) raise(errSyntax);
        v = key[0] - '0';
      }
      store(target, Value{false, v, {}, 0});
    }
  } while (chrgot() == ',');
}

void TBasicInterpreter::statementInput(bool fromFile) {
  if (peek(CURLIN + 1) == 0xFF) raise(errIllegalDirect);
  if (fromFile) {
    byteExpression();
    checkComma();
    raise(errNotInputFile);
  }
  std::string prompt;
  if (chrget() == '"') {
    --txt;
    const Value text = unary();
    if (chrgot() != ';') raise(errSyntax);
    prompt = text.text;
  } else {
    --txt;
  }
  // TXTPTR stays before the variable list while the keyboard is read.
  inputLine.clear();
  output(prompt + "? ", inputWait);
}

void TBasicInterpreter::finishInput() {
  m.PC = inputWait;
  const uint16_t variables = txt;
  while (peek(KEY_COUNT) > 0) {
    const uint8_t key = takeKey();
    if (key != 0x0D) {
      if (inputLine.size() < 80) inputLine += static_cast<char>(key);
      output(std::string(1, static_cast<char>(key)), inputWait);
      return;
    }
    // A whole line: its items go to the variables like DATA items.
    std::string line = inputLine;
    inputLine.clear();
    std::size_t at = 0;
    do {
      chrget();
      const Variable target = variable(true);
      std::string item;
      while (at < line.size() && line[at] != ',') item += line[at++];
      if (at < line.size()) ++at;
      if (target.type == 's') {
        store(target, Value{true, 0, item, 0});
      } else {
        const auto parsed = TBasicFloat::parse(item);
        if (!parsed) raise(errOverflow);
        if (parsed->used != item.size() && item.find_first_not_of(' ', parsed->used) != std::string::npos) {
          txt = variables;
          output("\r?REDO FROM START\r? ", inputWait);
          return;
        }
        store(target, Value{false, parsed->value, {}, 0});
      }
    } while (chrgot() == ',');
    output("\r", nextStatementEntry);
    return;
  }
  cost += 20;
}

void TBasicInterpreter::statementPrint(bool toFile) {
  if (toFile) {
    if (!fileIsOpen(byteExpression())) raise(errFileNotOpen);
    if (chrgot() == ',') ++txt;
  } else {
    ++txt;
  }
  continuePrint();
}

void TBasicInterpreter::continuePrint() {
  for (;;) {
    beginStep(Restart::printItem);
    const uint8_t c = chrgot();
    if (c == 0 || c == ':') {
      // A PRINT that ends in ";" or "," stays on the line.
      uint16_t p = static_cast<uint16_t>(txt - 1);
      while (peek(p) == ' ') --p;
      const uint8_t last = peek(p);
      output(last == ';' || last == ',' ? "" : "\r", nextStatementEntry);
      return;
    }
    if (c == ';') {
      ++txt;
      continue;
    }
    if (c == ',') {
      ++txt;
      const uint8_t column = peek(CURSOR_COL);
      output(std::string(10 - column % 10, '\x1D'), printContinue);
      return;
    }
    if (c == tTAB || c == tSPC) {
      const uint8_t n = byteExpression();
      closeParen();
      const uint8_t column = peek(CURSOR_COL);
      const int count = c == tSPC ? n : n - column;
      output(count > 0 ? std::string(static_cast<std::size_t>(count), '\x1D') : "", printContinue);
      return;
    }
    --txt;
    const Value v = expression();
    output(v.isString ? v.text : TBasicFloat::format(v.number) + "\x1D", printContinue);
    return;
  }
}

void TBasicInterpreter::statementPoke() {
  const uint16_t address = addressExpression();
  checkComma();
  const uint8_t value = byteExpression();
  poke(address, value);
}

void TBasicInterpreter::statementSys() {
  const uint16_t address = addressExpression();
  // The routine may read parameters after the address (SYS 49152,X): the next
  // statement starts where it leaves TXTPTR. The look at the character after
  // the address stays in the statement's cost, which recorded outputs rest on.
  chrgot();
  // The routine returns into the ROM, which stores the registers it left.
  const uint16_t back = sysReturn - 1;
  m.push(static_cast<uint8_t>(back >> 8));
  m.push(static_cast<uint8_t>(back));
  m.stackDepth += 2;  // its RTS must not look like the end of a PSID routine
  m.A = peek(SYS_A);
  m.X = peek(SYS_X);
  m.Y = peek(SYS_Y);
  m.pullStatusFlags(peek(SYS_P));
  m.PC = address;
}

void TBasicInterpreter::statementWait() {
  const uint16_t statement = txt;
  const uint16_t address = addressExpression();
  checkComma();
  const uint8_t mask = byteExpression();
  uint8_t invert = 0;
  if (chrgot() == ',') invert = byteExpression();
  if (((peek(address) ^ invert) & mask) == 0) {
    // Not yet: the statement runs again after the machine has moved on.
    txt = static_cast<uint16_t>(statement - 1);
    cost = 20;
    m.PC = reexecute;
  }
}

void TBasicInterpreter::statementDef() {
  if (peek(CURLIN + 1) == 0xFF) raise(errIllegalDirect);
  if (chrget() != tFN) raise(errSyntax);
  chrget();
  Name name = parseName();
  if (name.type != 'f') raise(errTypeMismatch);
  expectAt('(');
  const Variable parameter = variable(true);
  if (parameter.type != 'f') raise(errTypeMismatch);
  closeParen();
  if (chrgot() != tEQUAL) raise(errSyntax);
  // The function is a variable whose name has bit 7 set in its first letter:
  // text of the formula, address of the parameter, first formula byte.
  name.name1 |= 0x80;
  name.type = 'n';
  const Variable fn = simpleVariable(name, true);
  setWord(fn.address, txt);
  setWord(static_cast<uint16_t>(fn.address + 2), parameter.address);
  poke(static_cast<uint16_t>(fn.address + 4), peek(static_cast<uint16_t>(txt + 1)));
  skipStatement();
}

TBasicInterpreter::Value TBasicInterpreter::callFn() {
  chrget();
  Name name = parseName();
  if (name.type != 'f') raise(errTypeMismatch);
  name.name1 |= 0x80;
  name.type = 'n';
  const Variable fn = simpleVariable(name, false);
  if (fn.address == 0) raise(errUndefinedFunction);
  if (chrgot() != '(') raise(errSyntax);
  const double argument = numericExpression();
  closeParen();
  Variable parameter;
  parameter.address = word(static_cast<uint16_t>(fn.address + 2));
  const Value saved = load(parameter);
  store(parameter, Value{false, argument, {}, 0});
  const uint16_t resume = txt;
  txt = word(fn.address);
  Value result;
  try {
    result = expression();
  } catch (const BasicError&) {
    store(parameter, saved);
    throw;
  }
  store(parameter, saved);
  txt = resume;
  if (result.isString) raise(errTypeMismatch);
  return result;
}

void TBasicInterpreter::statementOpen() {
  const uint8_t file = byteExpression();
  uint8_t device = 1, secondary = 0;
  if (chrgot() == ',') {
    device = byteExpression();
    if (chrgot() == ',') {
      secondary = byteExpression();
      if (chrgot() == ',') stringExpression();
    }
  }
  if (file == 0) raise(errIllegalQuantity);
  if (fileIsOpen(file)) raise(errFileOpen);
  const uint8_t count = peek(OPEN_FILES);
  if (count >= 10) raise(errTooManyFiles);
  // Keyboard and screen are always there; nothing else is connected.
  if (device != 0 && device != 3) raise(errDeviceNotPresent);
  poke(FILE_NUMBERS + count, file);
  poke(FILE_DEVICES + count, device);
  poke(FILE_SECONDARY + count, secondary | 0x60);
  poke(OPEN_FILES, static_cast<uint8_t>(count + 1));
}

bool TBasicInterpreter::fileIsOpen(uint8_t file) {
  for (uint8_t i = 0; i < peek(OPEN_FILES) && i < 10; ++i)
    if (peek(FILE_NUMBERS + i) == file) return true;
  return false;
}

void TBasicInterpreter::statementClose() {
  const uint8_t file = byteExpression();
  const uint8_t count = peek(OPEN_FILES);
  for (uint8_t i = 0; i < count && i < 10; ++i) {
    if (peek(FILE_NUMBERS + i) != file) continue;
    const uint8_t last = static_cast<uint8_t>(count - 1);
    for (uint16_t table : {FILE_NUMBERS, FILE_DEVICES, FILE_SECONDARY}) poke(table + i, peek(table + last));
    poke(OPEN_FILES, last);
    return;
  }
}

void TBasicInterpreter::statementLoad() {
  uint8_t device = 1;
  if (!atStatementEnd()) {
    stringExpression();
    if (chrgot() == ',') {
      device = byteExpression();
      if (chrgot() == ',') byteExpression();
    }
  }
  if (device == 1) {
    // No tape will ever be played: the C64 waits at its prompt.
    output("\rPRESS PLAY ON TAPE", hang);
    return;
  }
  raise(errDeviceNotPresent);
}

void TBasicInterpreter::statementList() {
  std::string text;
  uint16_t at = word(TXTTAB);
  for (int lines = 0; lines < 2000 && peek(static_cast<uint16_t>(at + 1)) != 0; ++lines) {
    text += TBasicFloat::format(word(static_cast<uint16_t>(at + 2))).substr(1) + " ";
    bool quoted = false;
    for (uint16_t p = static_cast<uint16_t>(at + 4); peek(p) != 0 && text.size() < 60000; ++p) {
      const uint8_t c = peek(p);
      if (c == '"') quoted = !quoted;
      if (keyword(c) && !quoted)
        text += keyword(c);
      else
        text += static_cast<char>(c == tPI ? 0xDE : c);
    }
    text += "\r";
    at = word(at);
  }
  cost += static_cast<uint32_t>(text.size()) * costChar;
  m.SP = 0xFA;
  output(text, readyEntry);
}

void TBasicInterpreter::resetTextPointer() {
  txt = static_cast<uint16_t>(word(TXTTAB) - 1);
  setWord(TXTPTR, txt);
}

void TBasicInterpreter::clearVariables() {
  setWord(FRETOP, word(MEMSIZ));
  setWord(ARYTAB, word(VARTAB));
  setWord(STREND, word(VARTAB));
  setWord(DATPTR, static_cast<uint16_t>(word(TXTTAB) - 1));
  poke(OPEN_FILES, 0);
}

void TBasicInterpreter::linkProgram() {
  uint16_t at = word(TXTTAB);
  for (int lines = 0; lines < 20000 && peek(static_cast<uint16_t>(at + 1)) != 0; ++lines) {
    uint16_t p = static_cast<uint16_t>(at + 4);
    while (p > at && peek(p) != 0) ++p;
    if (p <= at) break;
    setWord(at, static_cast<uint16_t>(p + 1));
    at = static_cast<uint16_t>(p + 1);
    cost += costScan;
  }
}

// ---- expressions ---------------------------------------------------------------------

double TBasicInterpreter::checked(double value) {
  const auto rounded = TBasicFloat::round(value);
  if (!rounded) raise(errOverflow);
  return *rounded;
}

TBasicInterpreter::Value TBasicInterpreter::expression() { return binary(0); }

double TBasicInterpreter::numericExpression() {
  const Value v = expression();
  if (v.isString) raise(errTypeMismatch);
  return v.number;
}

std::string TBasicInterpreter::stringExpression() {
  const Value v = expression();
  if (!v.isString) raise(errTypeMismatch);
  return v.text;
}

uint16_t TBasicInterpreter::addressExpression() {
  const double v = numericExpression();
  if (v < 0 || v >= 65536) raise(errIllegalQuantity);
  return static_cast<uint16_t>(v);
}

uint8_t TBasicInterpreter::byteExpression() {
  const double v = numericExpression();
  if (v < 0 || v >= 256) raise(errIllegalQuantity);
  return static_cast<uint8_t>(v);
}

int16_t TBasicInterpreter::toInteger(double value) {
  const double v = std::floor(value);
  if (v < -32768 || v > 32767) raise(errIllegalQuantity);
  return static_cast<int16_t>(v);
}

TBasicInterpreter::Value TBasicInterpreter::binary(int minPrecedence) {
  struct DepthGuard {
    int& d;
    explicit DepthGuard(int& depth) : d(depth) {
      if (++d > 40) {
        --d;
        throw BasicError{errFormulaTooComplex};
      }
    }
    ~DepthGuard() { --d; }
  };
  DepthGuard guard(nesting);
  Value left = unary();
  for (;;) {
    const uint8_t c = chrgot();
    int precedence = 0, relation = 0;
    if (c >= tGREATER && c <= tLESS) {
      precedence = 100;
      relation = 1 << (c - tGREATER);
      for (;;) {
        const uint16_t save = txt;
        const uint8_t n = chrget();
        if (n >= tGREATER && n <= tLESS) {
          relation |= 1 << (n - tGREATER);
          continue;
        }
        txt = save;
        break;
      }
    } else if (c == tPLUS || c == tMINUS) {
      precedence = 121;
    } else if (c == tTIMES || c == tDIVIDE) {
      precedence = 123;
    } else if (c == tPOWER) {
      precedence = 127;
    } else if (c == tAND) {
      precedence = 80;
    } else if (c == tOR) {
      precedence = 70;
    } else {
      return left;
    }
    if (precedence <= minPrecedence) return left;
    const Value right = binary(precedence);
    left = applyBinary(c, relation, left, right);
  }
}

TBasicInterpreter::Value TBasicInterpreter::applyBinary(uint8_t op, int relation, const Value& left,
                                                       const Value& right) {
  if (relation) {
    if (left.isString != right.isString) raise(errTypeMismatch);
    int compare = 0;
    if (left.isString) {
      const auto& a = left.text;
      const auto& b = right.text;
      const std::size_t n = std::min(a.size(), b.size());
      for (std::size_t i = 0; i < n && compare == 0; ++i)
        compare = static_cast<uint8_t>(a[i]) < static_cast<uint8_t>(b[i]) ? -1
                  : static_cast<uint8_t>(a[i]) > static_cast<uint8_t>(b[i]) ? 1 : 0;
      if (compare == 0) compare = a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
    } else {
      compare = left.number < right.number ? -1 : left.number > right.number ? 1 : 0;
    }
    cost += costAdd;
    // Relation bits: 1 ">", 2 "=", 4 "<".
    const bool result = (compare > 0 && (relation & 1)) || (compare == 0 && (relation & 2)) ||
                        (compare < 0 && (relation & 4));
    return Value{false, result ? -1.0 : 0.0, {}, 0};
  }
  if (op == tPLUS && left.isString) {
    if (!right.isString) raise(errTypeMismatch);
    if (left.text.size() + right.text.size() > 255) raise(errStringTooLong);
    cost += costAdd;
    return Value{true, 0, left.text + right.text, 0};
  }
  if (left.isString || right.isString) raise(errTypeMismatch);
  const double a = left.number, b = right.number;
  switch (op) {
    case tPLUS: cost += costAdd; return Value{false, checked(a + b), {}, 0};
    case tMINUS: cost += costAdd; return Value{false, checked(a - b), {}, 0};
    case tTIMES: cost += costMultiply; return Value{false, checked(a * b), {}, 0};
    case tDIVIDE:
      cost += costDivide;
      if (b == 0) raise(errDivisionByZero);
      return Value{false, checked(a / b), {}, 0};
    case tPOWER: {
      cost += costTranscendental;
      if (b == 0) return Value{false, 1, {}, 0};
      if (a == 0) {
        if (b < 0) raise(errDivisionByZero);
        return Value{false, 0, {}, 0};
      }
      if (a < 0 && b != std::floor(b)) raise(errIllegalQuantity);
      return Value{false, checked(std::pow(a, b)), {}, 0};
    }
    case tAND: return Value{false, static_cast<double>(toInteger(a) & toInteger(b)), {}, 0};
    case tOR: return Value{false, static_cast<double>(toInteger(a) | toInteger(b)), {}, 0};
    default: raise(errSyntax);
  }
  return {};
}

TBasicInterpreter::Value TBasicInterpreter::unary() {
  const uint8_t c = chrget();
  if (isDigit(c) || c == '.') {
    std::string text;
    for (uint16_t p = txt; text.size() < 80; ++p) {
      const uint8_t b = peek(p);
      if (!(isDigit(b) || b == '.' || b == 'E' || b == ' ' || b == tMINUS || b == tPLUS)) break;
      // A sign belongs to the number only right after its E.
      if ((b == tMINUS || b == tPLUS) && (text.empty() || text.back() != 'E')) break;
      text += static_cast<char>(b);
    }
    const auto parsed = TBasicFloat::parse(text);
    if (!parsed) raise(errOverflow);
    txt = static_cast<uint16_t>(txt + parsed->used);
    cost += costAdd * static_cast<uint32_t>(parsed->used);
    return Value{false, parsed->value, {}, 0};
  }
  if (c == '"') {
    Value v{true, 0, {}, static_cast<uint16_t>(txt + 1)};
    ++txt;
    while (peek(txt) != 0 && peek(txt) != '"' && v.text.size() < 255) v.text += static_cast<char>(peek(txt++));
    if (peek(txt) == '"') ++txt;
    return v;
  }
  if (c == tMINUS) {
    const Value v = binary(125);
    if (v.isString) raise(errTypeMismatch);
    return Value{false, -v.number, {}, 0};
  }
  if (c == tPLUS) return unary();
  if (c == tNOT) {
    const Value v = binary(90);
    if (v.isString) raise(errTypeMismatch);
    return Value{false, static_cast<double>(~toInteger(v.number)), {}, 0};
  }
  if (c == '(') {
    Value v = expression();
    closeParen();
    return v;
  }
  if (c == tPI) {
    ++txt;
    return Value{false, TBasicFloat::round(3.14159265358979).value_or(0), {}, 0};
  }
  if (c == tFN) return callFn();
  if (c >= tSGN && c <= tMID) return function(c);
  if (isLetter(c)) {
    const Variable v = variable(false);
    return load(v);
  }
  raise(errSyntax);
  return {};
}

TBasicInterpreter::Value TBasicInterpreter::function(uint8_t token) {
  const auto number = [](double v) { return Value{false, v, {}, 0}; };
  const auto text = [](std::string s) { return Value{true, 0, std::move(s), 0}; };
  ++txt;
  if (chrgot() != '(') raise(errSyntax);
  if (token >= 0xC8) {  // LEFT$ RIGHT$ MID$
    const std::string s = stringExpression();
    checkComma();
    const uint8_t n = byteExpression();
    if (token == 0xC8) {
      closeParen();
      return text(s.substr(0, n));
    }
    if (token == 0xC9) {
      closeParen();
      return text(n >= s.size() ? s : s.substr(s.size() - n));
    }
    if (n == 0) raise(errIllegalQuantity);
    std::size_t length = 255;
    if (chrgot() == ',') length = byteExpression();
    closeParen();
    return text(n > s.size() ? std::string() : s.substr(n - 1, length));
  }
  const Value arg = expression();
  closeParen();
  const bool wantsString = token == 0xC3 || token == 0xC5 || token == 0xC6;  // LEN VAL ASC
  if (token != 0xB8 && token != 0xB9 && arg.isString != wantsString) raise(errTypeMismatch);
  const double x = arg.number;
  cost += costTranscendental / 2;
  switch (token) {
    case 0xB4: return number(x > 0 ? 1 : x < 0 ? -1 : 0);
    case 0xB5: return number(std::floor(x));
    case 0xB6: return number(std::fabs(x));
    case 0xB7: return usr(x);
    case 0xB8: {
      collectGarbage();
      return number(static_cast<int16_t>(word(FRETOP) - word(STREND)));
    }
    case 0xB9: return number(peek(CURSOR_COL));
    case 0xBA:
      if (x < 0) raise(errIllegalQuantity);
      return number(checked(std::sqrt(x)));
    case 0xBB: return recorded([&] { return number(rnd(x)); });
    case 0xBC:
      if (x <= 0) raise(errIllegalQuantity);
      return number(checked(std::log(x)));
    case 0xBD: return number(checked(std::exp(x)));
    case 0xBE: return number(checked(std::cos(x)));
    case 0xBF: return number(checked(std::sin(x)));
    case 0xC0: return number(checked(std::tan(x)));
    case 0xC1: return number(checked(std::atan(x)));
    case 0xC2: {
      if (x < 0 || x >= 65536) raise(errIllegalQuantity);
      return recorded([&] { return number(peek(static_cast<uint16_t>(x))); });
    }
    case 0xC3: return number(static_cast<double>(arg.text.size()));
    case 0xC4: return text(TBasicFloat::format(x));
    case 0xC5: {
      const auto parsed = TBasicFloat::parse(arg.text);
      if (!parsed) raise(errOverflow);
      return number(parsed->value);
    }
    case 0xC6:
      if (arg.text.empty()) raise(errIllegalQuantity);
      return number(static_cast<uint8_t>(arg.text[0]));
    case 0xC7:
      if (x < 0 || x >= 256) raise(errIllegalQuantity);
      return text(std::string(1, static_cast<char>(static_cast<uint8_t>(x))));
    default: break;
  }
  raise(errSyntax);
  return {};
}

// ---- USR and FRMNUM -------------------------------------------------------------------

void TBasicInterpreter::beginStep(Restart kind) {
  if (resuming)
    resuming = false;
  else
    record.clear();
  recordAt = 0;
  restartKind = kind;
  restartTxt = txt;
}

template <class Compute>
TBasicInterpreter::Value TBasicInterpreter::recorded(Compute compute) {
  if (recordAt < record.size()) return record[recordAt++];
  record.push_back(compute());
  return record[recordAt++];
}

TBasicInterpreter::Value TBasicInterpreter::usr(double argument) {
  if (recordAt < record.size()) return record[recordAt++];
  // The routine behind the JMP at $0310 finds the argument in FAC and returns
  // its result there.
  math.setFac(argument);
  poke(TYPE_FLAG, 0);
  const uint16_t back = usrReturn - 1;
  m.push(static_cast<uint8_t>(back >> 8));
  m.push(static_cast<uint8_t>(back));
  m.stackDepth += 2;
  m.PC = USR_JUMP;
  throw UsrCall{};
}

void TBasicInterpreter::resumeAfterUsr() {
  record.push_back(Value{false, checked(math.fac()), {}, 0});
  resuming = true;
  txt = restartTxt;
  switch (restartKind) {
    case Restart::statement:
      m.PC = nextStatementEntry;
      executeStatement();
      break;
    case Restart::printItem:
      continuePrint();
      break;
    case Restart::formula:
      formula();
      break;
  }
}

// FRMNUM: the formula after TXTPTR's character into FAC, which must be a number.
void TBasicInterpreter::formula() {
  beginStep(Restart::formula);
  const Value v = expression();
  if (v.isString) raise(errTypeMismatch);
  math.setFac(v.number);
  poke(TYPE_FLAG, 0);
  returnFromRoutine();
}

void TBasicInterpreter::returnFromRoutine() {
  const uint8_t low = m.pull();
  const uint8_t high = m.pull();
  m.PC = static_cast<uint16_t>((low | high << 8) + 1);
  m.stackDepth -= 2;
}

double TBasicInterpreter::rnd(double argument) {
  TBasicFloat::Bytes seed{};
  if (argument == 0) {
    // The CIA 1 timers as the new mantissa.
    seed = TBasicFloat::scrambleRandom({0x80, peek(0xDC04), peek(0xDC06), peek(0xDC05), peek(0xDC07)});
  } else if (argument < 0) {
    seed = TBasicFloat::scrambleRandom(TBasicFloat::pack(argument));
  } else {
    cost += costMultiply + costAdd;
    seed = TBasicFloat::nextRandom({peek(RND_SEED), peek(RND_SEED + 1), peek(RND_SEED + 2), peek(RND_SEED + 3),
                                    peek(RND_SEED + 4)});
  }
  for (int i = 0; i < 5; ++i) poke(static_cast<uint16_t>(RND_SEED + i), seed[i]);
  return TBasicFloat::unpack(seed);
}

// ---- variables --------------------------------------------------------------------------

TBasicInterpreter::Name TBasicInterpreter::parseName() {
  Name name;
  uint8_t c = chrgot();
  if (!isLetter(c)) raise(errSyntax);
  name.name1 = c;
  c = peek(++txt);
  if (isLetter(c) || isDigit(c)) {
    name.name2 = c;
    while (isLetter(c) || isDigit(c)) c = peek(++txt);
  }
  if (c == '$') {
    name.type = 's';
    name.name2 |= 0x80;
    ++txt;
  } else if (c == '%') {
    name.type = 'i';
    name.name1 |= 0x80;
    name.name2 |= 0x80;
    ++txt;
  }
  return name;
}

std::vector<int> TBasicInterpreter::subscripts() {
  std::vector<int> values;
  do {
    const double v = numericExpression();
    if (v < 0 || v > 32767) raise(errIllegalQuantity);
    values.push_back(static_cast<int>(v));
  } while (chrgot() == ',');
  closeParen();
  return values;
}

TBasicInterpreter::Variable TBasicInterpreter::variable(bool create) {
  const Name name = parseName();
  if (chrgot() == '(') return arrayElement(name, subscripts(), false);
  const uint8_t n1 = name.name1 & 0x7F, n2 = name.name2 & 0x7F;
  if ((n1 == 'T' && n2 == 'I' && name.type != 'i') || (n1 == 'S' && n2 == 'T' && name.type == 'f')) {
    Variable v;
    v.special = true;
    v.type = name.type;
    v.name1 = name.name1;
    v.name2 = name.name2;
    return v;
  }
  return simpleVariable(name, create);
}

void TBasicInterpreter::makeRoom(uint16_t at, uint16_t bytes) {
  // Moves at..STREND up by bytes (arrays move when a simple variable appears).
  const uint16_t end = word(STREND);
  if (static_cast<uint32_t>(end) + bytes >= word(FRETOP)) {
    collectGarbage();
    if (static_cast<uint32_t>(end) + bytes >= word(FRETOP)) raise(errOutOfMemory);
  }
  for (uint16_t p = end; p > at; --p) poke(static_cast<uint16_t>(p - 1 + bytes), peek(static_cast<uint16_t>(p - 1)));
  cost += static_cast<uint32_t>(end - at) * 4;
  setWord(STREND, static_cast<uint16_t>(end + bytes));
}

TBasicInterpreter::Variable TBasicInterpreter::simpleVariable(const Name& name, bool create) {
  Variable v;
  v.type = name.type == 'n' ? 'f' : name.type;
  v.name1 = name.name1;
  v.name2 = name.name2;
  const uint16_t end = word(ARYTAB);
  for (uint16_t p = word(VARTAB); p < end && p >= word(VARTAB); p = static_cast<uint16_t>(p + 7)) {
    cost += costScan;
    if (peek(p) == name.name1 && peek(static_cast<uint16_t>(p + 1)) == name.name2) {
      v.address = static_cast<uint16_t>(p + 2);
      return v;
    }
  }
  if (!create) return v;  // reads of an unknown variable give 0 (or "")
  makeRoom(end, 7);
  setWord(ARYTAB, static_cast<uint16_t>(end + 7));
  poke(end, name.name1);
  poke(static_cast<uint16_t>(end + 1), name.name2);
  for (uint16_t i = 2; i < 7; ++i) poke(static_cast<uint16_t>(end + i), 0);
  v.address = static_cast<uint16_t>(end + 2);
  return v;
}

TBasicInterpreter::Variable TBasicInterpreter::arrayElement(const Name& name, const std::vector<int>& indices,
                                                            bool dimension) {
  Variable v;
  v.type = name.type;
  const uint16_t elementSize = name.type == 'f' ? 5 : name.type == 'i' ? 2 : 3;
  const uint16_t end = word(STREND);
  uint16_t p = word(ARYTAB);
  while (p < end && p >= word(ARYTAB)) {
    cost += costScan;
    const uint16_t size = word(static_cast<uint16_t>(p + 2));
    if (peek(p) == name.name1 && peek(static_cast<uint16_t>(p + 1)) == name.name2) break;
    if (size == 0) raise(errOutOfMemory);  // a corrupted array area ends the search
    p = static_cast<uint16_t>(p + size);
  }
  if (p < end && p >= word(ARYTAB)) {
    if (dimension) raise(errRedimmedArray);
  } else {
    // Created here, by DIM or by the first use (10 for each subscript).
    std::vector<int> sizes;
    for (int i : indices) sizes.push_back(dimension ? i + 1 : 11);
    uint32_t bytes = 5 + 2 * static_cast<uint32_t>(sizes.size());
    uint32_t elements = 1;
    for (int s : sizes) {
      elements *= static_cast<uint32_t>(s);
      if (elements > 65535) raise(errOutOfMemory);
    }
    bytes += elements * elementSize;
    if (bytes > 65535 || end + bytes >= word(FRETOP)) {
      collectGarbage();
      if (bytes > 65535 || end + bytes >= word(FRETOP)) raise(errOutOfMemory);
    }
    p = end;
    poke(p, name.name1);
    poke(static_cast<uint16_t>(p + 1), name.name2);
    setWord(static_cast<uint16_t>(p + 2), static_cast<uint16_t>(bytes));
    poke(static_cast<uint16_t>(p + 4), static_cast<uint8_t>(sizes.size()));
    // Sizes high byte first, the last subscript's first.
    for (std::size_t i = 0; i < sizes.size(); ++i) {
      const uint16_t at = static_cast<uint16_t>(p + 5 + 2 * i);
      const int s = sizes[sizes.size() - 1 - i];
      poke(at, static_cast<uint8_t>(s >> 8));
      poke(static_cast<uint16_t>(at + 1), static_cast<uint8_t>(s));
    }
    for (uint32_t i = 5 + 2 * static_cast<uint32_t>(sizes.size()); i < bytes; ++i) poke(static_cast<uint16_t>(p + i), 0);
    cost += bytes * 4;
    setWord(STREND, static_cast<uint16_t>(end + bytes));
    if (dimension) return v;
  }
  const uint8_t dims = peek(static_cast<uint16_t>(p + 4));
  if (dims != indices.size()) raise(errBadSubscript);
  // The first subscript varies fastest.
  uint32_t offset = 0;
  for (std::size_t i = 0; i < indices.size(); ++i) {
    const uint16_t at = static_cast<uint16_t>(p + 5 + 2 * i);  // sizes of the last subscript first
    const int size = peek(at) << 8 | peek(static_cast<uint16_t>(at + 1));
    const int index = indices[indices.size() - 1 - i];
    if (index >= size) raise(errBadSubscript);
    offset = offset * static_cast<uint32_t>(size) + static_cast<uint32_t>(index);
  }
  v.address = static_cast<uint16_t>(p + 5 + 2 * dims + offset * elementSize);
  return v;
}

std::string TBasicInterpreter::readString(uint8_t length, uint16_t address) {
  std::string s;
  for (uint8_t i = 0; i < length; ++i) s += static_cast<char>(peek(static_cast<uint16_t>(address + i)));
  return s;
}

TBasicInterpreter::Value TBasicInterpreter::jiffyValue(bool asText) {
  const uint32_t jiffies = static_cast<uint32_t>(peek(JIFFY) << 16 | peek(JIFFY + 1) << 8 | peek(JIFFY + 2));
  if (!asText) return Value{false, static_cast<double>(jiffies), {}, 0};
  const uint32_t seconds = jiffies / 60;
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%02u%02u%02u", (seconds / 3600) % 100, (seconds / 60) % 60, seconds % 60);
  return Value{true, 0, buffer, 0};
}

TBasicInterpreter::Value TBasicInterpreter::load(const Variable& v) {
  if (v.special) {
    return recorded([&] {
      if ((v.name1 & 0x7F) == 'S') return Value{false, static_cast<double>(peek(STATUS)), {}, 0};
      return jiffyValue(v.type == 's');
    });
  }
  if (v.address == 0) return Value{v.type == 's', 0, {}, 0};
  const uint16_t a = v.address;
  const auto at = [&](int i) { return peek(static_cast<uint16_t>(a + i)); };
  if (v.type == 's') return Value{true, 0, readString(at(0), static_cast<uint16_t>(at(1) | at(2) << 8)), 0};
  if (v.type == 'i') return Value{false, static_cast<double>(static_cast<int16_t>(at(0) << 8 | at(1))), {}, 0};
  return Value{false, TBasicFloat::unpack({at(0), at(1), at(2), at(3), at(4)}), {}, 0};
}

void TBasicInterpreter::store(const Variable& v, const Value& value) {
  if (value.isString != (v.type == 's')) raise(errTypeMismatch);
  if (v.special) {
    // TI$ = "HHMMSS" sets the jiffy clock.
    if (value.text.size() != 6 || value.text.find_first_not_of("0123456789") != std::string::npos)
      raise(errIllegalQuantity);
    const uint32_t h = std::stoul(value.text.substr(0, 2)), mi = std::stoul(value.text.substr(2, 2)),
                   s = std::stoul(value.text.substr(4, 2));
    if (h > 23 || mi > 59 || s > 59) raise(errIllegalQuantity);
    const uint32_t jiffies = ((h * 60 + mi) * 60 + s) * 60;
    poke(JIFFY, static_cast<uint8_t>(jiffies >> 16));
    poke(JIFFY + 1, static_cast<uint8_t>(jiffies >> 8));
    poke(JIFFY + 2, static_cast<uint8_t>(jiffies));
    return;
  }
  const uint16_t a = v.address;
  if (v.type == 'f') {
    const auto bytes = TBasicFloat::pack(checked(value.number));
    for (int i = 0; i < 5; ++i) poke(static_cast<uint16_t>(a + i), bytes[i]);
  } else if (v.type == 'i') {
    const int16_t n = toInteger(value.number);
    poke(a, static_cast<uint8_t>(static_cast<uint16_t>(n) >> 8));
    poke(static_cast<uint16_t>(a + 1), static_cast<uint8_t>(n));
  } else {
    uint16_t address = value.literal;
    const std::size_t length = std::min<std::size_t>(value.text.size(), 255);
    // Literals in the program text are not copied, as on the C64.
    if (address == 0 || address < word(TXTTAB) || address >= word(VARTAB)) {
      address = length ? allocateString(length) : 0;
      for (std::size_t i = 0; i < length; ++i) poke(static_cast<uint16_t>(address + i), static_cast<uint8_t>(value.text[i]));
    }
    poke(a, static_cast<uint8_t>(length));
    setWord(static_cast<uint16_t>(a + 1), address);
  }
}

uint16_t TBasicInterpreter::allocateString(std::size_t length) {
  for (int attempt = 0; attempt < 2; ++attempt) {
    const uint16_t top = word(FRETOP);
    if (top >= length && top - length > word(STREND)) {
      const auto address = static_cast<uint16_t>(top - length);
      setWord(FRETOP, address);
      cost += static_cast<uint32_t>(length) * 8;
      return address;
    }
    if (attempt == 0) collectGarbage();
  }
  raise(errOutOfMemory);
  return 0;
}

void TBasicInterpreter::collectGarbage() {
  // Every descriptor that points into string space; live strings move up to
  // MEMSIZ, highest first, so none is overwritten before it has moved.
  const uint16_t top = word(MEMSIZ), bottom = word(FRETOP);
  std::vector<uint16_t> descriptors;
  const auto consider = [&](uint16_t d) {
    const uint16_t address = word(static_cast<uint16_t>(d + 1));
    if (peek(d) != 0 && address >= bottom && address < top) descriptors.push_back(d);
  };
  for (uint16_t p = word(VARTAB); p < word(ARYTAB) && p >= word(VARTAB); p = static_cast<uint16_t>(p + 7))
    if (!(peek(p) & 0x80) && (peek(static_cast<uint16_t>(p + 1)) & 0x80)) consider(static_cast<uint16_t>(p + 2));
  for (uint16_t p = word(ARYTAB); p < word(STREND) && p >= word(ARYTAB);) {
    const uint16_t size = word(static_cast<uint16_t>(p + 2));
    if (size == 0) break;
    if (!(peek(p) & 0x80) && (peek(static_cast<uint16_t>(p + 1)) & 0x80)) {
      const uint16_t first = static_cast<uint16_t>(p + 5 + 2 * peek(static_cast<uint16_t>(p + 4)));
      for (uint32_t d = first; d + 3 <= static_cast<uint32_t>(p) + size; d += 3) consider(static_cast<uint16_t>(d));
    }
    p = static_cast<uint16_t>(p + size);
  }
  std::sort(descriptors.begin(), descriptors.end(), [&](uint16_t a, uint16_t b) {
    return word(static_cast<uint16_t>(a + 1)) > word(static_cast<uint16_t>(b + 1));
  });
  uint16_t free = top;
  uint16_t lastSource = 0, lastTarget = 0;
  for (uint16_t d : descriptors) {
    const uint8_t length = peek(d);
    const uint16_t source = word(static_cast<uint16_t>(d + 1));
    if (source == lastSource && lastSource != 0) {  // two variables share one string
      setWord(static_cast<uint16_t>(d + 1), lastTarget);
      continue;
    }
    free = static_cast<uint16_t>(free - length);
    for (int i = length - 1; i >= 0; --i)
      poke(static_cast<uint16_t>(free + i), peek(static_cast<uint16_t>(source + i)));
    setWord(static_cast<uint16_t>(d + 1), free);
    lastSource = source;
    lastTarget = free;
    cost += length * 8u;
  }
  setWord(FRETOP, free);
}
