#include <gtest/gtest.h>

#include "FileSearch.h"
