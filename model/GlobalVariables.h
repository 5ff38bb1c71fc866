#ifndef GEN_MODEL_GLOBALVARIABLES_H_
#define GEN_MODEL_GLOBALVARIABLES_H_

// The failure model's parameters: 0.0 at start, written by the study
// (SetGVs, overrides) and read by the model at every rate evaluation.
extern double pperm_fault_G;
extern double safe_restore_rate_G;
extern double test_execution_rate_G;

#endif  // GEN_MODEL_GLOBALVARIABLES_H_
