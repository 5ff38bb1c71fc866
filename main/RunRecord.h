#ifndef GEN_MAIN_RUNRECORD_H_
#define GEN_MAIN_RUNRECORD_H_

#include <optional>
#include <string>

#include "database/RunDescription.h"

class BaseStudyClass;

// The description of a run of `program` over `study`'s `experiment`, with
// every global variable as it stands now (call after the overrides).
// `model_text` is the model file's content when the model came from one.
RunDescription DescribeRun(BaseStudyClass& study, int experiment,
                           const char* program,
                           const std::optional<std::string>& model_file = {},
                           const std::string* model_text = nullptr);

#endif  // GEN_MAIN_RUNRECORD_H_
