#include "reward/ImpulseNodeClass.h"

ImpulseNodeClass::~ImpulseNodeClass() = default;

void ImpulseNodeClass::DefineName(const char* name, int impulse_number,
                                  int index) {
  Name = name;
  ImpulseNumber = impulse_number;
  Index = index;
}

void ImpulseNodeClass::Reset() {
  Value = 0.0;
  Square = 0.0;
}
