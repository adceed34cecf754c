// The operating-system calls the library and the tool need beyond the standard
// library, kept in this folder so that another platform replaces only its files:
// Files (listing, mappings, program directory, separator), Console (error lines,
// Ctrl-C, key wait, terminals) and System (CPU count, clock, environment).
#pragma once

#include "Console.h"
#include "Files.h"
#include "System.h"
