#ifndef GEN_GENERATOR_STATESPACEGEN_H_
#define GEN_GENERATOR_STATESPACEGEN_H_

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "base/Status.h"
#include "generator/DeterministicChainFile.h"
#include "generator/DeterministicList.h"
#include "generator/HybridHash.h"
#include "generator/NextStateSource.h"
#include "generator/queue.h"
#include "output/ChainWriter.h"
#include "output/RewardValuesFile.h"
#include "output/StateSpaceFile.h"
#include "output/TransitionList.h"

struct ExpansionBatch;

// The state-space generator: explores the states of a source breadth first
// from its initial states (states 1..k, most often state 1 alone), numbers each
// new stable state in order of discovery, sums the values of all transitions
// into the same target and writes one block per state to the state-space file
// and one reward record per new state to the reward values file. In
// deterministic mode it also records, per deterministic delay, the states that
// enable it. The source is not owned and must outlive the generator.
class StateSpaceGen {
 public:
  // Where exploration writes; nothing here is owned.
  struct Output {
    // Blocks and records go to `chain` when it is set, else straight to
    // `arm` and `var`.
    StateSpaceFile* arm = nullptr;
    RewardValuesFile* var = nullptr;
    ChainWriter* chain = nullptr;
    // Deterministic mode: the chain's description, one block per state.
    DeterministicChainFile* description = nullptr;
    std::ostream* progress = nullptr;  // "_$N$" every 1000 states
    // Called on this thread every kTickStates states explored, with the
    // states explored and the states numbered so far; it must be cheap.
    std::function<void(std::uint32_t explored, std::uint32_t numbered)> tick;
    // Called for every state before it is expanded, in number order, with
    // its image; a failure ends the run.
    std::function<Status(std::uint32_t number, const char* image)> visit;
    bool report_absorbing = false;  // ask the source to report them
    // Reports the first failed write. Without `chain`, asked after each
    // state when set. With `chain` it must be set: once the chain has
    // failed, it is closed and then this is asked, since the streams are
    // the chain's until it is closed.
    std::function<Status()> write_status;
  };

  static constexpr std::uint32_t kTickStates = 4096;

  // `hash_value` is the store's load factor (0.1 to 0.9).
  StateSpaceGen(NextStateSource& source, double hash_value);
  StateSpaceGen(const StateSpaceGen&) = delete;
  StateSpaceGen& operator=(const StateSpaceGen&) = delete;

  // Explores every reachable state. On failure the files hold the blocks
  // and records written so far (those handed to a chain once it is closed).
  Status GenStateSpace(const Output& out);

  // Numbering a state past `max_states` ends the exploration with an error
  // whose message ends with `reason`. Call before GenStateSpace.
  void LimitStates(std::uint32_t max_states, std::string reason) {
    store_->LimitStateNumbers(max_states, std::move(reason));
  }

  // Sources that expand states on helper threads, one thread each, while
  // this thread numbers what they report; the files stay those of a run on
  // one thread. Each must be a source of the same model as the main one,
  // with its mode chosen; none is owned. Absorbing states are reported
  // only on one thread: with report_absorbing the helpers stay unused.
  void UseHelpers(std::vector<NextStateSource*> helpers) {
    helpers_ = std::move(helpers);
  }

  // Highest state number handed out so far.
  std::uint32_t NumStates() const { return num_states_; }
  // The blocks written: NumStates() once exploration has completed.
  std::uint32_t StatesWritten() const { return states_written_; }
  // Deterministic mode: per delay, the states that enable it.
  const DeterministicList& EnablingStates() const { return enabling_states_; }

 private:
  // Expands the queued states on this thread, one by one.
  Status ExploreAlone(const Output& out);
  // Expands the state `number` with the image `image` on this thread and
  // finishes it.
  Status ExpandHere(const Output& out, std::uint32_t number, const char* image);
  // Expands them in batches on the helper threads and numbers their
  // successors here, batch after batch in submission order.
  Status ExploreWithHelpers(const Output& out);
  // Asks for the store's memory that the lookups of the successors of the
  // batch's states after state `k` (its index) will read, and at k = 0
  // also of the first state's: RecordSuccessors asks for nothing itself
  // when it has hashes.
  void PrefetchAhead(const ExpansionBatch& batch, std::size_t k) const;
  // Everything after the expansion of the current state: its successors
  // [begin, end) and delays [delay_begin, delay_end) of `successors`, its
  // description, progress line and block. `batch` is the helpers' batch
  // that `successors` belongs to, or null for a state expanded here.
  Status Finish(const Output& out, const Successors& successors,
                std::size_t begin, std::size_t end, const ExpansionBatch* batch,
                std::size_t delay_begin, std::size_t delay_end);
  // Looks up the successors [begin, end) in order, numbering, queueing and
  // recording the new ones, and adds each value to the transition into its
  // target, with the hashes and packed images of `batch` when set. Fails
  // when the store cannot take a new state.
  Status RecordSuccessors(const Output& out, const Successors& successors,
                          std::size_t begin, std::size_t end,
                          const ExpansionBatch* batch);
  Status WriteStateBlock(const Output& out);
  // Writes the reward record of new state `number` (image `image`); fails,
  // writing nothing, when a value is not a finite number, which no solver
  // could read.
  Status WriteRewards(const Output& out, std::uint32_t number,
                      const char* image, const double* values) {
    for (std::size_t v = 0; v < reward_width_; ++v) {
      if (!std::isfinite(values[v])) {
        return InvalidReward(number, image, v, values[v]);
      }
    }
    if (out.chain != nullptr) {
      out.chain->WriteRewards(number, values);
    } else {
      out.var->Write(number, values);
    }
    return Status::Ok();
  }
  Status InvalidReward(std::uint32_t number, const char* image,
                       std::size_t value_index, double value);
  // The first failed write, or ok.
  static Status WriteStatus(const Output& out);

  NextStateSource& source_;
  std::size_t state_size_;
  std::unique_ptr<HybridHash> store_;
  std::unique_ptr<Queue> queue_;
  TransitionList transitions_;
  DeterministicList enabling_states_;
  std::uint32_t current_state_ = 0;
  std::uint32_t num_states_ = 0;
  std::uint32_t states_written_ = 0;
  // With helpers the queue stays empty: the states waiting are taken from
  // the store in number order.
  bool images_in_store_ = false;

  // Reused per state: the explored image (the queue's record is valid only
  // until the next enqueue), the successors, their store probes and the
  // numbers they got.
  std::vector<char> explored_;
  Successors successors_;
  std::vector<HybridHash::Probe> probes_;
  std::vector<std::uint32_t> targets_;
  // The record of a new state whose source left it for later.
  std::vector<double> late_record_;
  std::size_t reward_width_ = 0;  // 2 per reward variable
  std::vector<NextStateSource*> helpers_;
};

#endif  // GEN_GENERATOR_STATESPACEGEN_H_
