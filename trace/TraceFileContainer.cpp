#include "trace/TraceFileContainer.h"

#include <cstdarg>
#include <cstdio>

#include "base/Contract.h"
#include "reward/PVModel.h"

TraceFileContainer::TraceFileContainer() : TracedModel(nullptr) {}

TraceFileContainer::~TraceFileContainer() = default;

// The container prints nothing itself for a header or a state given by
// argument: the generator asks for those through the no-argument forms.
void TraceFileContainer::printHeader(PVModel* /*model*/) {}

void TraceFileContainer::printFooter() {
  for (TraceFile* file : Files) file->printFooter();
}

void TraceFileContainer::printState(BaseModelClass* /*model*/) {}

void TraceFileContainer::printState(PVModel* /*model*/) {}

void TraceFileContainer::printFireAction(BaseActionClass* action, double time) {
  for (TraceFile* file : Files) file->printFireAction(action, time);
}

void TraceFileContainer::printPreFireAction(BaseActionClass* action) {
  for (TraceFile* file : Files) file->printPreFireAction(action);
}

void TraceFileContainer::printPostFireAction(BaseActionClass* action,
                                             BaseActionClass* other) {
  for (TraceFile* file : Files) file->printPostFireAction(action, other);
}

void TraceFileContainer::newBatch() {
  for (TraceFile* file : Files) file->newBatch();
}

int TraceFileContainer::printf(int level, const char* format, ...) {
  char buffer[kBufferSize];
  va_list args;
  va_start(args, format);
  // vsnprintf cuts text that does not fit and always terminates it.
  std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  for (TraceFile* file : Files) file->printStr(level, buffer);
  return 0;
}

void TraceFileContainer::printStr(int level, const char* text) {
  for (TraceFile* file : Files) file->printStr(level, text);
}

int TraceFileContainer::AddTraceFile(TraceFile* file) {
  Files.push_back(file);
  return 0;
}

void TraceFileContainer::printHeader() {
  for (TraceFile* file : Files) file->printHeader(TracedModel);
}

void TraceFileContainer::printState() {
  for (TraceFile* file : Files) file->printState(TracedModel);
}

void TraceFileContainer::printInitialState() {
  for (TraceFile* file : Files) {
    GEN_CHECK(TracedModel != nullptr);
    file->printInitialState(TracedModel->ChildModel.get());
  }
}
