#ifndef GEN_GENERATOR_STATESPACEGEN_H_
#define GEN_GENERATOR_STATESPACEGEN_H_

#include <cstdint>
#include <ctime>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "framework/List.h"
#include "generator/DeterministicList.h"
#include "generator/HybridHash.h"
#include "generator/ResultsDB.h"
#include "generator/StateSpaceFile.h"
#include "generator/TransitionList.h"
#include "generator/queue.h"

class BaseActionClass;
class BaseGroupClass;
class PVModel;
class Reward;
class TraceFileContainer;
class TraceFileTolvarSSG;

// Seconds of processor time in `ticks` clock ticks, rounded to five
// decimals (in 64 bits, so long runs cannot overflow the rounding).
double ComputationSeconds(std::clock_t ticks);

// A new array of `new_size` doubles, all 0.0, whose first `old_count`
// entries are copied from `list`.
std::unique_ptr<double[]> realloclist(const double* list, unsigned new_size,
                                      unsigned old_count);

// The state-space generator. Built over the reward model, it numbers the
// initial state 1, explores every reachable stable state breadth first
// (instantaneous actions fire in zero time) and writes the Markov chain:
// .arm (transitions), .var (rewards), .pvtype (reward variables) and, for
// models with deterministic actions, .det. The model is not owned.
class StateSpaceGen {
 public:
  // Zero-time firings allowed in a row before the model counts as
  // undetermined.
  static constexpr int kMaxRecursionDepth = 23;
  // Store parameters: initial table size, image slots per block, blocks.
  static constexpr std::uint64_t kInitialTableSize = 4325341;
  static constexpr std::uint32_t kBlockSize = 100000;
  static constexpr std::uint32_t kMaxBlocks = 128;

  StateSpaceGen(PVModel* model, const char* path, const char* name,
                short absorb_flag, double hash_value, const char* db_server,
                const char* db_entity, const char* trace_file_name);
  StateSpaceGen(const StateSpaceGen&) = delete;
  StateSpaceGen& operator=(const StateSpaceGen&) = delete;
  ~StateSpaceGen();

  void InitializeTrace();
  void GenStateSpace();
  void SetMethodPointers();
  // Fires one timed action from the explored state `image` (the model is in
  // that state). False when the action is not enabled. Leaves the successor
  // in NextState and the transition rate in Rate.
  bool FireAction(BaseActionClass* action, char* image);
  void setHashValue(double value) { HashValue = value; }

  // Normal generation: exponential and instantaneous actions.
  void GenStateSpaceNormal(const char* arm_file_name,
                           const char* var_file_name);
  void FindNextNormal(char* image);
  void FindNextInstant(char* image);
  void FireInstant(double probability);
  void SaveStableState(double rate, std::uint32_t target_number);

  // Deterministic generation.
  void GenStateSpaceDeterministic(const char* arm_file_name,
                                  const char* var_file_name,
                                  const char* det_file_name);
  void FindNextDeterministic(char* image);
  void FireInstantDet(double probability);

  std::uint32_t CurrentStateNumber = 0;
  TransitionList Transitions;
  std::uint32_t NumTimedActions = 0;
  std::uint32_t NumStates = 0;
  std::uint32_t StateSize = 0;
  std::uint32_t NumErlangActions = 0;
  std::unique_ptr<ResultsDB> ResultsDatabase;
  std::uint32_t DistributionMix = 0;
  PVModel* Model;
  std::unique_ptr<Reward> RewardWriter;
  std::unique_ptr<Queue> StateQueue;
  std::unique_ptr<HybridHash> ReachedStates;
  std::vector<BaseActionClass*> InstantActions;
  std::vector<BaseActionClass*> TimedActions;
  std::vector<BaseActionClass*> ErlangActions;
  List<BaseActionClass> ActionList;
  BaseActionClass** Actions = nullptr;
  List<BaseGroupClass> GroupList;
  BaseGroupClass** Groups = nullptr;
  double Rate = 0.0;
  DeterministicList EnablingStates;
  std::vector<char> NextState;
  std::string Path;
  std::string Name;
  short AbsorbFlag;
  short FileType = 1;
  std::optional<std::string> TraceFileName;
  std::unique_ptr<TraceFileContainer> Trace;
  std::unique_ptr<TraceFileTolvarSSG> TraceOutput;
  int TraceLevel = 0;
  short RecursionDepth = 0;
  std::uint32_t NumInstantActions = 0;
  double HashValue;
  void (StateSpaceGen::*FindNext)(char*) = &StateSpaceGen::FindNextNormal;

 private:
  [[noreturn]] void InvalidValue(const char* what, double value,
                                 BaseActionClass* action);
  // The group probability of `action`, checked to be finite and not
  // negative.
  double CheckedProbability(BaseActionClass* action);
  // Collects the enabled instantaneous actions into this level's scratch.
  std::vector<BaseActionClass*>& EnabledInstantActions(int level);
  // Keeps the actions whose rank is the highest of 0 and their ranks, in
  // model order. Ends the run when none qualifies: the vanishing state would
  // lead nowhere and the rate that reached it would vanish from the chain.
  void SelectHighestRank(std::vector<BaseActionClass*>& actions);
  // Fires the instantaneous `action` in the current vanishing state and
  // resolves its successor one zero-time level deeper with `resolve`
  // (FireInstant or FireInstantDet), given the path's probability.
  void FireZeroTime(BaseActionClass* action, double probability,
                    void (StateSpaceGen::*resolve)(double));
  void RefuseErlangActions();
  void WriteStateBlock(StateSpaceFile& arm);
  void FinishResultFiles(StateSpaceFile& arm, std::ofstream& arm_stream,
                         const std::string& arm_file_name,
                         const std::string& var_file_name);

  // Reused buffers: the private copy of the explored state, and per
  // zero-time level the enabled instantaneous actions, their weights and
  // the saved vanishing state.
  std::vector<char> explored_copy_;
  std::vector<std::vector<BaseActionClass*>> level_actions_;
  std::vector<std::vector<double>> level_weights_;
  std::vector<std::vector<char>> level_saved_;

  // Normal exploration without trace, in two passes: every enabled timed
  // action fires first, then the successors are looked up in order. The
  // store's memory is thus fetched for all successors at once; numbering
  // and files are those of the one-pass order.
  void FindNextBatched(char* copy);
  // Adds `rate` to the transition into the successor `image`, numbering,
  // queueing, storing and recording the rewards of a new state first.
  // `target_number` is the result of a lookup (that started from `probe`,
  // when not null). Callers drop the values that record nothing.
  void RecordTransition(double rate, std::uint32_t target_number,
                        const char* image, const HybridHash::Probe* probe);
  // Per firing of the state being explored: successor image, rate, store
  // probe, and each reward node's impulse and rate reward.
  std::vector<char> batch_images_;
  std::vector<double> batch_rates_;
  std::vector<HybridHash::Probe> batch_probes_;
  std::vector<double> batch_rewards_;
  std::uint32_t states_written_ = 0;
  bool type_file_failed_ = false;
  std::string type_file_name_;
};

#endif  // GEN_GENERATOR_STATESPACEGEN_H_
