#ifndef GEN_TRACE_TRACEFILETOLVARSSG_H_
#define GEN_TRACE_TRACEFILETOLVARSSG_H_

#include <ostream>

#include "trace/TraceFile.h"

// The generator's trace sink: fixed texts, one flushed line each, so that a
// trace file can be read while the run goes on. A sink without a stream
// prints nothing. printf is inherited and prints nothing: leveled text
// reaches this sink through the container, which formats it and calls
// printStr.
class TraceFileTolvarSSG : public TraceFile {
 public:
  TraceFileTolvarSSG() = default;
  explicit TraceFileTolvarSSG(const char* file_name) : TraceFile(file_name) {}
  explicit TraceFileTolvarSSG(std::ostream* stream) : TraceFile(stream) {}
  ~TraceFileTolvarSSG() override;

  void printHeader(PVModel* model) override;
  void printFooter() override;
  void printInitialState(BaseModelClass* model) override;
  // The model block: the model's id and name, its local state variables,
  // then the blocks of its children.
  void printState(BaseModelClass* model) override;
  void printState(PVModel* model) override;
  // Level 1 and up.
  void printFireAction(BaseActionClass* action, double time) override;
  // Level 2 and up: the enabling state variables of the printed action.
  void printPreFireAction(BaseActionClass* action) override;
  void printPostFireAction(BaseActionClass* action,
                           BaseActionClass* other) override;
  void newBatch() override;
  void printStr(int level, const char* text) override;

 private:
  void EndLine();
};

#endif  // GEN_TRACE_TRACEFILETOLVARSSG_H_
