#ifndef GEN_STUDY_BASESTUDYCLASS_H_
#define GEN_STUDY_BASESTUDYCLASS_H_

#include <memory>
#include <string>
#include <vector>

#include "base/Status.h"
#include "reward/PVModel.h"

// A study: the values that a model's global variables take in each of a
// numbered series of experiments (0-based). A derived study fills the
// variable names and types and the counts; it owns the reward model it builds.
class BaseStudyClass {
 public:
  BaseStudyClass();
  BaseStudyClass(const BaseStudyClass&) = delete;
  BaseStudyClass& operator=(const BaseStudyClass&) = delete;
  virtual ~BaseStudyClass();

  // The reward model over the study's model, owned by the study. The base
  // version hands back CurrentPVModel as it is (null until one is built).
  virtual PVModel* GetPVModel(bool expandTimePoints);
  // Sets the global variables to `experiment`'s values; 0..NumExps-1.
  virtual void SetGVs(int experiment);
  // Sets the global variables to `experiment` and lists them on stdout.
  virtual void PrintGlobalValues(int experiment);
  // Address of the global variable called `name`; null when there is none.
  virtual void* GetGVValue(const char* name);
  // Sets the global variable called `name` to `value`. A refused value
  // (one the variable's type cannot hold) changes nothing and comes back as
  // the status that ends the run.
  virtual Status OverrideGVValue(const std::string& name, double value);

  int GetNumGVs() const { return NumGVs; }
  int GetNumExps() const { return NumExps; }
  // The study's own text for variable `i` in 0..NumGVs-1 (not a copy).
  const char* GetGVName(int i) const;
  const char* GetGVType(int i) const;
  // "Experiment <experiment + 1>" in a buffer shared by every call: the text
  // is valid until the next call.
  static const char* GetExpName(int experiment);
  // Applies "type:name:value[:type:name:value...]" entries in order through
  // OverrideGVValue; every value reaches the variable as a double, and a
  // value it refuses stops the parsing with its status. An
  // unknown type letter or variable name is reported and that entry
  // skipped; a string too short for its last entry is reported and ends
  // the parsing. A value that is not wholly a number of its type (which is
  // what an empty field leads to: the fields after it shift), an integer
  // outside its type's range, and a value that is not 0 as written but
  // scans to 0 or to infinity stop the parsing: the returned status names
  // the entry and the run must end. Null does nothing.
  Status overrideGVs(const char* text);
  // For a strict command line, before anything is written: whether every
  // entry of `text` has its three fields, a known type letter, the name of
  // a global variable of the study and a value that scans as its type.
  // The message names the first faulty entry and, for an unknown name, the
  // nearest known one. Changes nothing.
  Status CheckOverrides(const std::string& text) const;

  std::vector<std::string> GVNames;
  std::vector<std::string> GVTypes;
  std::unique_ptr<PVModel> CurrentPVModel;
  int NumGVs = 0;
  int NumExps = 0;

 private:
  static char exp_name_buffer_[128];
};

#endif  // GEN_STUDY_BASESTUDYCLASS_H_
