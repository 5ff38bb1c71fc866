#include "reward/ActionModelPairClass.h"

void ActionModelPairClass::SetPair(const char* action, const char* model) {
  ModelName = model;
  ActionName = action;
}
