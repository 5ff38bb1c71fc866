#ifndef GEN_STUDY_GLOBALVARIABLES_H_
#define GEN_STUDY_GLOBALVARIABLES_H_

#include "model/GlobalVariables.h"
#include "study/BaseStudyClass.h"

// The one study, or null before GenerateStudy() and after DestructStudy().
// Not owning.
extern BaseStudyClass* GlobalStudyPtr;

// Builds the compiled-in study on first use and returns it; later calls
// return the same study. Sets no global variable.
BaseStudyClass* GenerateStudy();
// Destroys the study with the reward model it built; the global variables
// keep their last values. Does nothing when there is no study.
void DestructStudy();

#endif  // GEN_STUDY_GLOBALVARIABLES_H_
