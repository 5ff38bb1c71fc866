#ifndef GEN_LANG_CHECKER_H_
#define GEN_LANG_CHECKER_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "lang/ModelIr.h"
#include "lang/SourceLocation.h"

// Validates `model` and resolves it in place: every name in an expression
// becomes a global or a place reference (definitions are expanded where
// they are used), every expression gets its type, and arcs, statements and
// impulses get the index of what they name. Reports, each at the element's
// location: duplicate and unknown names, type errors (a rate, delay, weight
// or probability that is not a number, a guard that is not a boolean, a
// marking assigned a real), markings read where only globals may be (initial
// markings, bounds), cycles among definitions, experiments that set unknown
// globals or give an int global a fraction, impulses on deterministic
// activities (and on instantaneous ones in a model with deterministic
// activities), and a model without places. An empty result means the
// model can be built.
std::vector<Diagnostic> CheckModel(ModelIr& model);

// The type of `expr`, an expression over the globals, definitions and
// markings of `model`, resolved in place as CheckModel resolves the model's
// own; nullopt, with the reasons appended to `errors`, when it names
// something unknown or is ill-typed. For expressions a front end checks
// before it adds them to the model.
std::optional<ValueType> CheckExpression(ModelIr& model, Expr& expr,
                                         std::vector<Diagnostic>* errors);

// The global values of the model's defaults, and of experiment `experiment`
// (0-based; the defaults when the model has no such experiment), one per
// model.globals entry.
std::vector<double> DefaultGlobals(const ModelIr& model);
std::vector<double> ExperimentGlobals(const ModelIr& model,
                                      std::size_t experiment);

// The initial markings of a model that CheckModel accepted, with the
// globals at `globals`. A marking that is not a whole number within its
// place's range is appended to `errors` (at the place) and given as 0.
std::vector<std::int16_t> InitialMarkings(const ModelIr& model,
                                          const std::vector<double>& globals,
                                          std::vector<Diagnostic>* errors);

// The rates, delays, weights and case probabilities of a model that
// CheckModel accepted that read no marking, with the globals at `globals`:
// each one that is negative or not finite is appended to `errors` (at its
// expression). Those that read markings are checked where they are used.
void CheckFixedTimings(const ModelIr& model, const std::vector<double>& globals,
                       std::vector<Diagnostic>* errors);

// Every error that the study's values would stop a run with, for each
// experiment (or the defaults when there are none), so that a check finds
// what any run would: the initial markings and the fixed timings. Each error
// comes once; one that not every experiment has ends in " in Experiment 2" or
// " in Experiments 1, 3".
std::vector<Diagnostic> CheckStudyValues(const ModelIr& model);

#endif  // GEN_LANG_CHECKER_H_
