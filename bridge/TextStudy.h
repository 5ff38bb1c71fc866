#ifndef GEN_BRIDGE_TEXTSTUDY_H_
#define GEN_BRIDGE_TEXTSTUDY_H_

#include <string>
#include <vector>

#include "lang/ModelIr.h"
#include "study/BaseStudyClass.h"

// The study of a checked model: its global variables and experiments, with
// the compiled-in study's listing and override messages. A model without
// experiments has one experiment of default values.
class TextStudy : public BaseStudyClass {
 public:
  // `model` must outlive the study.
  explicit TextStudy(const ModelIr& model);

  // Builds the model with the current global values; null when an initial
  // marking is out of its place's range (build_errors() tells which).
  PVModel* GetPVModel(bool expandTimePoints) override;
  // `experiment` in 0..GetNumExps()-1.
  void SetGVs(int experiment) override;
  void PrintGlobalValues(int experiment) override;
  void* GetGVValue(const char* name) override;
  // An int variable takes only whole numbers within its range; any other
  // value changes nothing and is refused.
  Status OverrideGVValue(const std::string& name, double value) override;

  const std::vector<double>& values() const { return values_; }
  const std::vector<Diagnostic>& build_errors() const { return build_errors_; }

 private:
  int Find(const char* name) const;

  const ModelIr& model_;
  std::vector<double> values_;
  std::vector<Diagnostic> build_errors_;
};

#endif  // GEN_BRIDGE_TEXTSTUDY_H_
