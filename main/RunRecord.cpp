#include "main/RunRecord.h"

#include <utility>

#include "cli/Version.h"
#include "study/BaseStudyClass.h"

void DescribeRun(BaseStudyClass& study, int experiment,
                 RunDescription* description) {
  description->version = ProgramVersion();
  description->experiment = experiment;
  description->experiment_name = BaseStudyClass::GetExpName(experiment);
  description->globals.clear();
  for (int i = 0; i < study.GetNumGVs(); ++i) {
    GlobalValue global;
    global.name = study.GetGVName(i);
    global.type = study.GetGVType(i);
    // Every study keeps its variables as doubles, whatever their type.
    const void* value = study.GetGVValue(global.name.c_str());
    if (value != nullptr) global.value = *static_cast<const double*>(value);
    description->globals.push_back(std::move(global));
  }
}
