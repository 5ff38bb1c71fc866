#ifndef GEN_BRIDGE_MODELBUILDER_H_
#define GEN_BRIDGE_MODELBUILDER_H_

#include <memory>
#include <string>
#include <vector>

#include "lang/ModelIr.h"
#include "lang/SourceLocation.h"
#include "reward/PVModel.h"

// Receives the text of a fatal firing error of a built model (a marking
// that would leave its place's range), newline included. It must not
// return: the executable ends the run. Without a handler the text goes to
// standard error and the process aborts through a contract check.
using FiringErrorHandler = void (*)(const std::string& text);
void SetFiringErrorHandler(FiringErrorHandler handler);

// The runnable model built from a model, or why it could not be built.
struct [[nodiscard]] BuildResult {
  std::unique_ptr<PVModel> model;  // null when `errors` is not empty
  std::vector<Diagnostic> errors;  // initial markings out of range
};

// Builds the reward model over one SAN model from `model`, which CheckModel
// must have accepted, with the global variables at `globals` (one value per
// model.globals entry, in order). The SAN model has the places and
// activities of `model` in order; an activity with two or more cases becomes
// one activity per case, named "<name>_case<k>", in a group "<name>Group".
// Reward variables are steady-state variables with one time point.
BuildResult BuildModel(const ModelIr& model,
                       const std::vector<double>& globals);

// The default value of every global of `model`, in order.
std::vector<double> DefaultGlobals(const ModelIr& model);

#endif  // GEN_BRIDGE_MODELBUILDER_H_
