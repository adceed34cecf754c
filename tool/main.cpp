#include "Kelvary.h"

int main(int argc, char** argv) { return RunKelvary(argc, argv); }
