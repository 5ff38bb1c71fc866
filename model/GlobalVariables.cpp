#include "model/GlobalVariables.h"

double pperm_fault_G = 0.0;
double safe_restore_rate_G = 0.0;
double test_execution_rate_G = 0.0;
