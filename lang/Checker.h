#ifndef GEN_LANG_CHECKER_H_
#define GEN_LANG_CHECKER_H_

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
// globals or give an int global a fraction, impulses on activities that are
// not exponential, and a model without places. An empty result means the
// model can be built.
std::vector<Diagnostic> CheckModel(ModelIr& model);

#endif  // GEN_LANG_CHECKER_H_
