// Hvsc: where the High Voltage SID Collection's root lies for a path inside or
// at the tree. The root is the directory that holds DEMOS, DOCUMENTS, GAMES and
// MUSICIANS; the song-length database and STIL are found below it.
//
//   std::string root = Hvsc::GetHvscRoot("/data/C64Music/MUSICIANS/H/Hubbard_Rob");
//   // "/data/C64Music" when the four sub-directories exist there, else ""
//   std::string any = Hvsc::FindHvscRoot("/data");   // also "/data/C64Music", or
//                                                    // "/data" itself when it exists
//
// Stateless; the file system is only asked whether directories exist.
#pragma once

#include <string>

namespace Hvsc {

// The root for a path inside the tree, cut before the first collection marker
// ("/demos", "/documents", "/games/", "/musicians" with the platform's
// separator, tested in that order and case-insensitively), or the path itself
// when none occurs. The root keeps the case the path was given in: on a
// case-sensitive file system a lower-cased root would name another directory.
// Empty unless the candidate holds all four sub-directories.
std::string GetHvscRoot(const std::string& path);

// GetHvscRoot, falling back to a C64Music directory below or within the path,
// and finally to the path itself when it is an existing directory. Empty when
// nothing fits.
std::string FindHvscRoot(const std::string& path);

// GetHvscRoot with "/games" (no trailing separator) as the third marker, so a
// path ending in GAMES, or in any directory whose name begins with games, is cut
// there too. The index builder uses it.
std::string GetHvscRootLoose(const std::string& path);

// The collection's update level from its DOCUMENTS/Update*.hvs markers: three
// characters, normally digits ("083"), "000" when no marker is found, "" for
// an empty path.
std::string GetHvscVersion(const std::string& path);

// The collection-relative name of a file ("/MUSICIANS/X/Example/Tune.sid"), in
// the case the name was given, or the name unchanged when it lies in no
// collection.
std::string GetHvscRelativePath(const std::string& fileName);

// ASCII-only lower case: every byte outside "A" to "Z" stays as it is, so names
// in any 8-bit code page keep their length and bytes.
std::string LowerAscii(std::string text);

}  // namespace Hvsc
