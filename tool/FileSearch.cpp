#include "FileSearch.h"
bool TFileSearch::StartSearch(const std::string&, bool) { return false; }
std::string TFileSearch::GetNextFile() { return {}; }
