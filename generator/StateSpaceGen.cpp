#include "generator/StateSpaceGen.h"

#include <cmath>
#include <cstring>
#include <sstream>
#include <string>

#include "base/Contract.h"
#include "generator/ExpansionPool.h"
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
  late_record_.resize(2 * source.RewardTypes().size());
  reward_width_ = late_record_.size();
}

Status StateSpaceGen::GenStateSpace(const Output& out) {
  // The initial states are states 1..k, stored and queued before
  // exploration.
  GEN_CHECK(out.chain == nullptr || out.write_status);
  successors_.Clear();
  Status status = source_.InitialStates(successors_);
  if (!status.ok) return status;
  GEN_CHECK(successors_.Count() > 0);
  for (std::size_t k = 0; k < successors_.Count(); ++k) {
    const char* image = successors_.Image(k);
    const std::uint32_t number =
        kInitialStateNumber + static_cast<std::uint32_t>(k);
    const HybridHash::Probe probe = store_->Locate(image);
    const std::uint32_t found = store_->FindOrInsert(image, probe, number);
    if (found == HybridHash::kNotFound) return store_->failure();
    GEN_CHECK(found == number);  // the source reports distinct images
    num_states_ = number;
    queue_->Enqueue(image, number);
    status = WriteRewards(out, number, image, successors_.Rewards(k));
    if (!status.ok) return status;
  }

  // Records are written for new states only: asked for late, the rest are
  // never computed.
  source_.AllowLateRewards(true);
  for (NextStateSource* helper : helpers_) helper->AllowLateRewards(true);
  status = helpers_.empty() || out.report_absorbing ? ExploreAlone(out)
                                                    : ExploreWithHelpers(out);
  if (!status.ok) return status;
  store_->ReleaseTable();
  return Status::Ok();
}

Status StateSpaceGen::ExploreAlone(const Output& out) {
  while (state_struct* record = queue_->Dequeue()) {
    const Status status = ExpandHere(out, record->number, record->image);
    if (!status.ok) return status;
  }
  return Status::Ok();
}

Status StateSpaceGen::ExpandHere(const Output& out, std::uint32_t number,
                                 const char* image) {
  current_state_ = number;
  std::memcpy(explored_.data(), image, state_size_);
  if (out.visit) {
    const Status visited = out.visit(number, explored_.data());
    if (!visited.ok) return visited;
  }
  successors_.Clear();
  const Status status =
      source_.Expand(current_state_, explored_.data(), successors_);
  if (!status.ok) return status;
  return Finish(out, successors_, 0, successors_.Count(), nullptr, 0,
                successors_.Delays().size());
}

Status StateSpaceGen::ExploreWithHelpers(const Output& out) {
  ExpansionPool pool(helpers_, state_size_, 2 * source_.RewardTypes().size(),
                     *store_);
  // States are expanded in number order, so the states waiting are the
  // numbers from next_batched on, and their images are the store's. The
  // queue's copy of each new image would be this thread's first read of a
  // successor a helper wrote, a miss on the other core's cache.
  queue_->Make_Empty();
  images_in_store_ = true;
  std::uint32_t next_batched = kInitialStateNumber;
  for (;;) {
    // Every waiting state goes to a batch while batches are free; the
    // batches take the states in number order.
    while (next_batched <= num_states_) {
      ExpansionBatch* batch = pool.StartBatch();
      if (batch == nullptr) break;
      while (batch->count < pool.MaxBatchStates() &&
             next_batched <= num_states_) {
        pool.AddState(*batch, next_batched++);
      }
      pool.Submit(*batch);
    }
    ExpansionBatch* batch = pool.Oldest();
    if (batch == nullptr) return Status::Ok();
    std::size_t begin = 0;
    std::size_t delay_begin = 0;
    for (std::size_t k = 0; k < batch->count; ++k) {
      if (k == batch->failed_at) return batch->failure;
      const auto number = batch->first_number + static_cast<std::uint32_t>(k);
      if (k >= batch->expanded) {
        // Left by the helpers: expanded here, as alone, so that a failure
        // ends the run where it would alone.
        const Status status =
            ExpandHere(out, number, batch->images.data() + k * state_size_);
        if (!status.ok) return status;
        continue;
      }
      current_state_ = number;
      PrefetchAhead(*batch, k);
      if (out.visit) {
        const Status visited =
            out.visit(number, batch->images.data() + k * state_size_);
        if (!visited.ok) return visited;
      }
      const Status status =
          Finish(out, batch->successors, begin, batch->successor_ends[k], batch,
                 delay_begin, batch->delay_ends[k]);
      if (!status.ok) return status;
      begin = batch->successor_ends[k];
      delay_begin = batch->delay_ends[k];
    }
    pool.Release();
  }
}

void StateSpaceGen::PrefetchAhead(const ExpansionBatch& batch,
                                  std::size_t k) const {
  // A state's turn on this thread lasts far longer than a memory access,
  // so one state ahead is enough for the images and two for the table
  // slots that name them.
  const auto ends = [&batch](std::size_t i) {
    return i == 0 ? std::size_t{0} : batch.successor_ends[i - 1];
  };
  if (k == 0) {
    // The batch's first two states had no turns before them: their slots
    // are asked for together, then the first state's images.
    const std::size_t first_two = batch.expanded > 1 ? 2 : 1;
    for (std::size_t j = 0; j < ends(first_two); ++j) {
      (void)store_->LocateHash(batch.hashes[j]);
    }
    for (std::size_t j = 0; j < ends(1); ++j) {
      store_->PrefetchImage(store_->ProbeOfHash(batch.hashes[j]));
    }
  }
  if (k + 2 < batch.expanded) {
    for (std::size_t j = ends(k + 2); j < ends(k + 3); ++j) {
      (void)store_->LocateHash(batch.hashes[j]);
    }
  }
  if (k + 1 < batch.expanded) {
    for (std::size_t j = ends(k + 1); j < ends(k + 2); ++j) {
      store_->PrefetchImage(store_->ProbeOfHash(batch.hashes[j]));
    }
  }
}

Status StateSpaceGen::Finish(const Output& out, const Successors& successors,
                             std::size_t begin, std::size_t end,
                             const ExpansionBatch* batch,
                             std::size_t delay_begin, std::size_t delay_end) {
  Status status = RecordSuccessors(out, successors, begin, end, batch);
  if (!status.ok) return status;
  if (out.description != nullptr) {
    out.description->WriteState(current_state_, successors, begin, end,
                                delay_begin, delay_end, targets_.data());
  }
  for (std::size_t i = delay_begin; i < delay_end; ++i) {
    enabling_states_.insertEnablingState(static_cast<int>(current_state_),
                                         successors.Delays()[i]);
  }
  if (current_state_ % kProgressInterval == 0) {
    *out.progress << "_$" << current_state_ << "$\n" << std::flush;
  }
  if (current_state_ % kTickStates == 0 && out.tick) {
    out.tick(current_state_, num_states_);
  }
  if (out.report_absorbing && transitions_.empty()) {
    source_.ReportAbsorbing(current_state_, explored_.data());
  }
  status = WriteStateBlock(out);
  if (!status.ok) return status;
  return WriteStatus(out);
}

Status StateSpaceGen::RecordSuccessors(const Output& out,
                                       const Successors& successors,
                                       std::size_t begin, std::size_t end,
                                       const ExpansionBatch* batch) {
  // Hash every successor (unless a helper did) and ask for its slot first,
  // so that the store's memory is fetched for all of them at once; then
  // resolve them in the order they were reported, which fixes the
  // numbering.
  const std::size_t count = end - begin;
  if (probes_.size() < count) {
    probes_.resize(count);
    targets_.resize(count);
  }
  // With hashes from a helper, PrefetchAhead has already asked for the
  // slots and the images: asking again costs this thread a table read per
  // successor.
  if (batch != nullptr) {
    for (std::size_t k = 0; k < count; ++k) {
      probes_[k] = store_->ProbeOfHash(batch->hashes[begin + k]);
    }
  } else {
    for (std::size_t k = 0; k < count; ++k) {
      probes_[k] = store_->Locate(successors.Image(begin + k));
    }
    for (std::size_t k = 0; k < count; ++k) store_->PrefetchImage(probes_[k]);
  }
  for (std::size_t k = 0; k < count; ++k) {
    const char* image = successors.Image(begin + k);
    std::uint32_t number = 0;
    if (batch != nullptr) {
      // Packed by the helper; the store packs again only if its packing
      // has changed since.
      const std::size_t j = begin + k;
      const char* packed = batch->packs[j] != 0
                               ? batch->packed.data() + j * batch->packed_width
                               : nullptr;
      number = store_->FindOrInsertPacked(image, packed, batch->packing_version,
                                          probes_[k], num_states_ + 1);
    } else {
      number = store_->FindOrInsert(image, probes_[k], num_states_ + 1);
    }
    if (number == HybridHash::kNotFound) return store_->failure();
    if (number == num_states_ + 1) {
      ++num_states_;
      if (!images_in_store_) queue_->Enqueue(image, number);
      const std::size_t j = begin + k;
      const double* rewards = successors.Rewards(j);
      if (!successors.RewardsFilled(j)) {
        // Any source of the model computes it, whichever expanded the state.
        source_.LateRewards(image, successors.RewardNote(j),
                            late_record_.data());
        rewards = late_record_.data();
      }
      const Status written = WriteRewards(out, number, image, rewards);
      if (!written.ok) return written;
    }
    targets_[k] = number;
    transitions_.Add(number, successors.Value(begin + k));
  }
  return Status::Ok();
}

Status StateSpaceGen::InvalidReward(std::uint32_t number, const char* image,
                                    std::size_t value_index, double value) {
  const std::vector<RewardVariableType> types = source_.RewardTypes();
  std::ostringstream text;
  text << "Error: the " << (value_index % 2 == 0 ? "impulse" : "rate reward")
       << " of reward variable " << types[value_index / 2].name << " is "
       << value << " in state " << number;
  const std::string marking = source_.DescribeImage(image);
  if (!marking.empty()) text << " (marking: " << marking << ')';
  text << "; it must be a finite number\n";
  return Status::Error(text.str());
}

Status StateSpaceGen::WriteStateBlock(const Output& out) {
  if (out.chain != nullptr && transitions_.SumsSurelyFinite()) {
    // Summed per target on the writing thread, off this one; only a list
    // whose sums might overflow is summed and checked here.
    out.chain->WriteRecordedState(current_state_, transitions_);
    transitions_.Clear();
    ++states_written_;
    return Status::Ok();
  }
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
