#include "study/GlobalVariables.h"

#include <memory>

#include "study/test_execution_rate_G_SetStudySetStudy.h"

BaseStudyClass* GlobalStudyPtr = nullptr;

namespace {

std::unique_ptr<BaseStudyClass> the_study;

}  // namespace

BaseStudyClass* GenerateStudy() {
  if (GlobalStudyPtr != nullptr) return GlobalStudyPtr;
  the_study = std::make_unique<test_execution_rate_G_SetStudySetStudy>();
  GlobalStudyPtr = the_study.get();
  return GlobalStudyPtr;
}

void DestructStudy() {
  the_study.reset();
  GlobalStudyPtr = nullptr;
}
