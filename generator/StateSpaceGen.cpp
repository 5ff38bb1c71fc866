#include "generator/StateSpaceGen.h"

#include <cmath>
#include <cstring>
#include <string>

#include "base/Contract.h"
#include "output/Formats.h"

namespace {

// Progress lines go to the controlling process every this many states.
constexpr std::uint32_t kProgressInterval = 1000;

}  // namespace

StateSpaceGen::StateSpaceGen(NextStateSource& source, double hash_value)
    : source_(source), state_size_(source.StateSize()) {
  store_ = std::make_unique<HybridHash>(static_cast<std::uint32_t>(state_size_),
                                        hash_value);
  queue_ = std::make_unique<Queue>(static_cast<std::uint32_t>(state_size_));
  explored_.resize(state_size_);
  successors_.Configure(state_size_, 2 * source.RewardTypes().size());
}

Status StateSpaceGen::GenStateSpace(const Output& out) {
  // The initial state is state 1, stored and queued before exploration.
  GEN_CHECK(out.chain == nullptr || out.write_status);
  std::vector<double> rewards(2 * (out.chain != nullptr
                                       ? out.chain->Variables()
                                       : out.var->Variables()));
  Status status = source_.Initial(explored_.data(), rewards.data());
  if (!status.ok) return status;
  num_states_ = kInitialStateNumber;
  const HybridHash::Probe probe = store_->Locate(explored_.data());
  if (store_->FindOrInsert(explored_.data(), probe, num_states_) !=
      num_states_) {
    return store_->failure();
  }
  queue_->Enqueue(explored_.data(), num_states_);
  WriteRewards(out, num_states_, rewards.data());

  while (state_struct* record = queue_->Dequeue()) {
    current_state_ = record->number;
    std::memcpy(explored_.data(), record->image, state_size_);
    successors_.Clear();
    status = source_.Expand(current_state_, explored_.data(), successors_);
    if (!status.ok) return status;
    status = RecordSuccessors(out);
    if (!status.ok) return status;
    if (out.description != nullptr) {
      out.description->WriteState(current_state_, successors_, targets_.data());
    }
    for (double delay : successors_.Delays()) {
      enabling_states_.insertEnablingState(static_cast<int>(current_state_),
                                           delay);
    }
    if (current_state_ % kProgressInterval == 0) {
      *out.progress << "_$" << current_state_ << "$\n" << std::flush;
    }
    if (out.report_absorbing && transitions_.empty()) {
      source_.ReportAbsorbing(current_state_, explored_.data());
    }
    status = WriteStateBlock(out);
    if (!status.ok) return status;
    status = WriteStatus(out);
    if (!status.ok) return status;
  }
  store_->ReleaseTable();
  return Status::Ok();
}

Status StateSpaceGen::RecordSuccessors(const Output& out) {
  // Hash every successor and ask for its slot first, so that the store's
  // memory is fetched for all of them at once; then resolve them in the
  // order they were reported, which fixes the numbering.
  const std::size_t count = successors_.Count();
  if (probes_.size() < count) {
    probes_.resize(count);
    targets_.resize(count);
  }
  for (std::size_t k = 0; k < count; ++k) {
    probes_[k] = store_->Locate(successors_.Image(k));
  }
  for (std::size_t k = 0; k < count; ++k) store_->PrefetchImage(probes_[k]);
  for (std::size_t k = 0; k < count; ++k) {
    const char* image = successors_.Image(k);
    const std::uint32_t number =
        store_->FindOrInsert(image, probes_[k], num_states_ + 1);
    if (number == HybridHash::kNotFound) return store_->failure();
    if (number == num_states_ + 1) {
      ++num_states_;
      queue_->Enqueue(image, number);
      WriteRewards(out, number, successors_.Rewards(k));
    }
    targets_[k] = number;
    transitions_.Add(number, successors_.Value(k));
  }
  return Status::Ok();
}

Status StateSpaceGen::WriteStateBlock(const Output& out) {
  const std::vector<Transition>& transitions = transitions_.Merge();
  for (const Transition& entry : transitions) {
    // Each reported value is finite; only their sum can overflow.
    if (!std::isfinite(entry.rate)) {
      return Status::Error(
          "Error: the rates from state " + std::to_string(current_state_) +
          " to state " + std::to_string(entry.target) + " add up to " +
          std::to_string(entry.rate) + ", which is not a finite number\n");
    }
  }
  if (out.chain != nullptr) {
    out.chain->WriteState(current_state_, transitions);
  } else {
    out.arm->WriteState(current_state_, transitions);
  }
  transitions_.Clear();
  ++states_written_;
  return Status::Ok();
}

Status StateSpaceGen::WriteStatus(const Output& out) {
  if (out.chain != nullptr) {
    // A cheap flag per state; the streams may be asked only once the
    // chain's thread has stopped.
    if (!out.chain->Failed()) return Status::Ok();
    (void)out.chain->Close();
  }
  return out.write_status ? out.write_status() : Status::Ok();
}
