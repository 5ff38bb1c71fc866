#include "reward/VarModelPairClass.h"

void VarModelPairClass::SetPair(const char* variable, const char* model) {
  ModelName = model;
  VariableName = variable;
}
