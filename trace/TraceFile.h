#ifndef GEN_TRACE_TRACEFILE_H_
#define GEN_TRACE_TRACEFILE_H_

#include <fstream>
#include <memory>
#include <ostream>
#include <string>

class BaseActionClass;
class BaseModelClass;
class PVModel;

// A trace sink: a level and an output stream. A leveled message is printed
// when `Level` is at least the message's level. Every operation of this base
// prints nothing; derived sinks decide the texts.
class TraceFile {
 public:
  // Level 1, no stream.
  TraceFile();
  // Level 0; creates (or truncates) the file and owns its stream until this
  // sink is destroyed. A file that cannot be created is reported on standard
  // error and the sink's output is lost; the run goes on. So does a file
  // that fails later: the first failed write is reported once (see
  // CheckWritten) and the rest of the trace is lost.
  explicit TraceFile(const char* file_name);
  // Level 0; writes to `stream`, which is not owned and must outlive the sink.
  explicit TraceFile(std::ostream* stream);
  TraceFile(const TraceFile&) = delete;
  TraceFile& operator=(const TraceFile&) = delete;
  virtual ~TraceFile();

  virtual void printHeader(PVModel* model);
  virtual void printFooter();
  virtual void printInitialState(BaseModelClass* model);
  virtual void printState(BaseModelClass* model);
  // The state of the reward model's child model.
  virtual void printState(PVModel* model);
  virtual void printFireAction(BaseActionClass* action, double time);
  virtual void printPreFireAction(BaseActionClass* action);
  virtual void printPostFireAction(BaseActionClass* action,
                                   BaseActionClass* other);
  virtual void newBatch();
  // C formatted text at `level`. Returns 0.
  virtual int printf(int level, const char* format, ...)
      __attribute__((format(printf, 3, 4)));
  virtual void printStr(int level, const char* text);

  void setTraceLevel(int level) { Level = level; }
  int getTraceLevel() const { return Level; }

  int Level;
  std::ostream* Stream;  // null, the owned file stream, or a borrowed stream

 protected:
  // Called after each flushed line: the first time the owned file has
  // failed, warns on standard error with the system's reason. A borrowed
  // stream is its owner's to check (standard output is checked at the end
  // of the run).
  void CheckWritten();

 private:
  std::unique_ptr<std::ofstream> own_file_;
  std::string file_name_;
  bool warned_ = false;
};

#endif  // GEN_TRACE_TRACEFILE_H_
