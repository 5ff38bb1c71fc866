#include "main/RunRecord.h"

#include "cli/Version.h"
#include "database/Sha256.h"
#include "study/BaseStudyClass.h"

RunDescription DescribeRun(BaseStudyClass& study, int experiment,
                           const char* program,
                           const std::optional<std::string>& model_file,
                           const std::string* model_text) {
  RunDescription description;
  description.program = program;
  description.version = ProgramVersion();
  description.model_file = model_file;
  if (model_text != nullptr) description.model_sha256 = Sha256Hex(*model_text);
  description.experiment = experiment;
  description.experiment_name = BaseStudyClass::GetExpName(experiment);
  for (int i = 0; i < study.GetNumGVs(); ++i) {
    GlobalValue global;
    global.name = study.GetGVName(i);
    global.type = study.GetGVType(i);
    // Every study keeps its variables as doubles, whatever their type.
    const void* value = study.GetGVValue(global.name.c_str());
    if (value != nullptr) global.value = *static_cast<const double*>(value);
    description.globals.push_back(std::move(global));
  }
  return description;
}
