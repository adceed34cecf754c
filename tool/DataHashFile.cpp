#include "DataHashFile.h"
bool THashDatabase::Load(const std::string&, const std::function<void(const std::string&)>&) { return false; }
void THashDatabase::Parse(const char*, std::size_t) {}
std::string THashDatabase::Find(std::string_view) const { return {}; }
