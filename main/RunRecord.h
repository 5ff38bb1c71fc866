#ifndef GEN_MAIN_RUNRECORD_H_
#define GEN_MAIN_RUNRECORD_H_

#include "database/RunDescription.h"

class BaseStudyClass;

// Completes the description of a run over `study`'s `experiment`: the
// version, the experiment's number and name, and every global variable as
// it stands now (call after the overrides). The program and the model file
// are the caller's.
void DescribeRun(BaseStudyClass& study, int experiment,
                 RunDescription* description);

#endif  // GEN_MAIN_RUNRECORD_H_
