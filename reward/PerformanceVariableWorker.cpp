#include "reward/PerformanceVariableWorker.h"

#include <iostream>

PerformanceVariableWorker::~PerformanceVariableWorker() = default;

void PerformanceVariableWorker::CurrentReward() {
  // A derived worker that keeps current rewards must override this; the
  // value is left as it was.
  std::cerr << "!! Calling PerformanceVariableWorker::CurrentReward()"
            << std::endl;
}

void PerformanceVariableWorker::Reset() {
  Value = 0.0;
  Square = 0.0;
}

void PerformanceVariableWorker::DefineName(const char* name, int index) {
  Name = name;
  Index = index;
}
