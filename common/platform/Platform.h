// The operating-system calls the library and the tool need beyond the standard
// library, kept in this folder so that another platform replaces only its files:
// Files (listing, mappings, program directory, separator), Console (error lines,
// Ctrl-C, key wait, terminals), System (CPU count, clock, environment) and
// Library (shared libraries opened at run time).
#pragma once

#include "Console.h"
#include "Files.h"
#include "Library.h"
#include "System.h"
