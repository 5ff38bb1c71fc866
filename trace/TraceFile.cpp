#include "trace/TraceFile.h"

#include <cerrno>
#include <cstring>
#include <iostream>

#include "base/Contract.h"
#include "reward/PVModel.h"

TraceFile::TraceFile() : Level(1), Stream(nullptr) {}

TraceFile::TraceFile(const char* file_name)
    : Level(0),
      Stream(nullptr),
      own_file_(std::make_unique<std::ofstream>(
          file_name, std::ios::out | std::ios::trunc)),
      file_name_(file_name) {
  if (!own_file_->is_open()) {
    std::cerr << "Warning: could not create trace file " << file_name
              << "; trace output is lost\n"
              << std::flush;
    warned_ = true;
  }
  // A stream that failed to open swallows every write, so the sink needs no
  // further checks.
  Stream = own_file_.get();
}

TraceFile::TraceFile(std::ostream* stream) : Level(0), Stream(stream) {}

TraceFile::~TraceFile() = default;

void TraceFile::CheckWritten() {
  if (warned_ || own_file_ == nullptr || *own_file_) return;
  // errno still holds the reason the stream's last write(2) failed.
  const int error = errno;
  warned_ = true;
  std::cerr << "Warning: could not write trace file " << file_name_ << ": "
            << std::strerror(error) << "; the rest of the trace is lost\n"
            << std::flush;
}

void TraceFile::printHeader(PVModel* /*model*/) {}

void TraceFile::printFooter() {}

void TraceFile::printInitialState(BaseModelClass* /*model*/) {}

void TraceFile::printState(BaseModelClass* /*model*/) {}

void TraceFile::printState(PVModel* model) {
  GEN_CHECK(model != nullptr);
  printState(model->ChildModel.get());
}

void TraceFile::printFireAction(BaseActionClass* /*action*/, double /*time*/) {}

void TraceFile::printPreFireAction(BaseActionClass* /*action*/) {}

void TraceFile::printPostFireAction(BaseActionClass* /*action*/,
                                    BaseActionClass* /*other*/) {}

void TraceFile::newBatch() {}

int TraceFile::printf(int /*level*/, const char* /*format*/, ...) { return 0; }

void TraceFile::printStr(int /*level*/, const char* /*text*/) {}
