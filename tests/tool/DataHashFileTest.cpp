#include <gtest/gtest.h>

#include "DataHashFile.h"
