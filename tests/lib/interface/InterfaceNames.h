// The 41 functions of the C interface, by name: what the shared library must
// export on every platform, and nothing else.
#pragma once

#include <set>
#include <string>

// clang-format off
inline const std::set<std::string> interfaceNames = {
    "createC64", "closeC64", "loadFile", "setSongToPlay", "getNumberOfSongs", "getDefaultSong", "getLoadAddress",
    "getLoadEndAddress", "getInitAddress", "getPlayAddress", "getTitle", "getAuthor", "getReleased", "getMD5Hash",
    "getSIDModel", "getC64Version", "setC64Version", "run", "getCommand", "getRegister", "getData", "getCycles",
    "getTime", "pressButtons", "enableFixedStartup", "skipSilence", "enableVolumeFix", "getMemory",
    "getMemoryUsageRam", "getMemoryUsageRom", "clearMemUsageOnFirstSIDAccess", "checkSLDB", "checkSLDBFromBuffer",
    "loadSLDB", "loadSLDBFromBuffer", "loadSTIL", "loadSTILFromBuffer", "getSTILEntry", "getFileName",
    "getSongLength", "getVersion"};
// clang-format on
