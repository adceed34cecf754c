#include "DataHashCalc.h"
TDataHashCalc::TDataHashCalc() { Reset(); }
void TDataHashCalc::Reset() {}
bool TDataHashCalc::CheckStart(uint8_t, uint8_t) { return false; }
bool TDataHashCalc::AddWrite(uint8_t, uint8_t, uint32_t) { return false; }
std::string TDataHashCalc::GetHash(bool) { return emptyDigest; }
