#include <gtest/gtest.h>

#include "DataHashCalc.h"
