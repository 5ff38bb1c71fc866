#ifndef GEN_TRACE_TRACEFILECONTAINER_H_
#define GEN_TRACE_TRACEFILECONTAINER_H_

#include <vector>

#include "trace/TraceFile.h"

// A trace that hands every call on to its sinks, in the order they were
// added. Its own Level filters nothing: each sink's level decides. It owns
// neither the sinks nor the traced model.
class TraceFileContainer : public TraceFile {
 public:
  TraceFileContainer();
  ~TraceFileContainer() override;

  void printHeader(PVModel* model) override;
  void printFooter() override;
  using TraceFile::printInitialState;
  void printState(BaseModelClass* model) override;
  void printState(PVModel* model) override;
  void printFireAction(BaseActionClass* action, double time) override;
  void printPreFireAction(BaseActionClass* action) override;
  void printPostFireAction(BaseActionClass* action,
                           BaseActionClass* other) override;
  void newBatch() override;
  // Formats into a buffer of kBufferSize characters (terminator included;
  // longer text is cut) and hands it to each sink's printStr. Returns 0.
  int printf(int level, const char* format, ...) override
      __attribute__((format(printf, 3, 4)));
  void printStr(int level, const char* text) override;

  // `file` is not owned and must outlive the container. Returns 0.
  int AddTraceFile(TraceFile* file);
  // The reward model shown by the operations below; not owned.
  void addPVModel(PVModel* model) { TracedModel = model; }
  // These three need a traced model once a sink has been added.
  void printHeader();
  void printState();
  void printInitialState();

  static constexpr int kBufferSize = 1000;

  PVModel* TracedModel;
  std::vector<TraceFile*> Files;
};

#endif  // GEN_TRACE_TRACEFILECONTAINER_H_
