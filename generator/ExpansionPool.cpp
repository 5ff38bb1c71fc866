#include "generator/ExpansionPool.h"

#include <algorithm>
#include <cstring>

#include "base/Contract.h"
#include "base/FailureHandover.h"

namespace {

// Batches per helper thread: enough that a helper always finds one pending
// while the run's thread numbers the successors of another.
constexpr std::size_t kSlotsPerHelper = 4;

// States whose successors a helper looks up in the store together.
constexpr std::size_t kStoreStates = 16;

}  // namespace

ExpansionPool::ExpansionPool(const std::vector<NextStateSource*>& sources,
                             std::size_t state_size, std::size_t reward_width,
                             SharedStore& store)
    : state_size_(state_size), reward_width_(reward_width), store_(store) {
  GEN_CHECK(!sources.empty());
  // The run's thread only numbers besides, so it takes about the share of
  // one thread of the lookups: of the states' expansion, lookups and
  // numbering it then does about as much as each helper.
  const auto threads = static_cast<std::uint32_t>(sources.size() + 1);
  const std::uint32_t shards = store.Shards();
  helper_shards_ = shards - std::max(1u, (shards + threads / 2) / threads);
  const std::size_t slots = kSlotsPerHelper * sources.size();
  for (std::size_t i = 0; i < slots; ++i) {
    auto slot = std::make_unique<Slot>();
    slot->batch.images.resize(kBatchStates * state_size_);
    slot->batch.successor_ends.resize(kBatchStates);
    slot->batch.delay_ends.resize(kBatchStates);
    slot->batch.successors.Configure(state_size_, reward_width_);
    free_.push_back(slot.get());
    slots_.push_back(std::move(slot));
  }
  for (NextStateSource* source : sources) {
    auto helper = std::make_unique<Helper>();
    helper->pool = this;
    helper->source = source;
    helpers_.push_back(std::move(helper));
  }
  for (const auto& helper : helpers_) {
    Helper* h = helper.get();
    h->thread = std::thread([this, h] { Work(*h); });
  }
}

ExpansionPool::~ExpansionPool() {
  {
    std::unique_lock<std::mutex> lock(mutex_);
    stop_ = true;
    work_.notify_all();
    // A helper still expanding may yet hand a failure over and block; wait
    // until none is, so that joining cannot hang.
    done_.wait(lock, [this] {
      return std::none_of(slots_.begin(), slots_.end(), [](const auto& slot) {
        return slot->stage == Stage::kExpanding;
      });
    });
  }
  for (const auto& helper : helpers_) {
    if (helper->handed_over) {
      helper->thread.detach();
    } else {
      helper->thread.join();
    }
  }
}

ExpansionBatch* ExpansionPool::StartBatch() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (free_.empty()) return nullptr;
  Slot* slot = free_.back();
  free_.pop_back();
  slot->stage = Stage::kFilling;
  slot->batch.count = 0;
  return &slot->batch;
}

void ExpansionPool::AddState(ExpansionBatch& batch, std::uint32_t number,
                             const char* image) {
  GEN_CHECK(batch.count < kBatchStates);
  // The states of a batch are consecutive: the run's thread consumes them
  // in number order.
  if (batch.count == 0) batch.first_number = number;
  GEN_CHECK(number == batch.first_number + batch.count);
  std::memcpy(batch.images.data() + batch.count * state_size_, image,
              state_size_);
  ++batch.count;
}

void ExpansionPool::Submit(ExpansionBatch& batch) {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto found = std::find_if(
      slots_.begin(), slots_.end(),
      [&batch](const auto& slot) { return &slot->batch == &batch; });
  GEN_CHECK(found != slots_.end() && (*found)->stage == Stage::kFilling);
  Slot* slot = found->get();
  slot->stage = Stage::kPending;
  slot->sequence = next_sequence_++;
  submitted_.push_back(slot);
  work_.notify_one();
}

ExpansionBatch* ExpansionPool::Oldest() {
  std::unique_lock<std::mutex> lock(mutex_);
  if (submitted_.empty()) return nullptr;
  Slot* oldest = submitted_.front();
  // Waits rather than expand the batch here: a failure met while expanding
  // must reach this thread only after every earlier state, and expanding
  // here state by state would look successors up one by one, where the
  // helpers look up a few states' successors per lock and keep several
  // cache misses in flight.
  done_.wait(lock, [oldest] { return oldest->stage == Stage::kDone; });
  return &oldest->batch;
}

void ExpansionPool::Release() {
  std::lock_guard<std::mutex> lock(mutex_);
  GEN_CHECK(!submitted_.empty() && submitted_.front()->stage == Stage::kDone);
  Slot* oldest = submitted_.front();
  submitted_.pop_front();
  oldest->stage = Stage::kFilling;
  free_.push_back(oldest);
}

void ExpansionPool::Work(Helper& helper) {
  SetFailureHandover(&ExpansionPool::TakeFailure, &helper);
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    Slot* slot = nullptr;
    work_.wait(lock, [this, &slot] {
      if (stop_) return true;
      // The oldest pending batch first: the run's thread needs it soonest.
      for (Slot* submitted : submitted_) {
        if (submitted->stage == Stage::kPending) {
          slot = submitted;
          return true;
        }
      }
      return false;
    });
    if (stop_) break;
    slot->stage = Stage::kExpanding;
    helper.slot = slot;
    lock.unlock();
    Expand(helper, *slot);
    lock.lock();
    slot->stage = Stage::kDone;
    helper.slot = nullptr;
    done_.notify_all();
  }
  SetFailureHandover(nullptr, nullptr);
}

void ExpansionPool::Expand(Helper& helper, Slot& slot) {
  ExpansionBatch& batch = slot.batch;
  batch.failed_at = ExpansionBatch::kNotFailed;
  batch.failure = Status::Ok();
  batch.expanded = 0;
  // The sources append: one buffer holds the successors of the whole batch.
  batch.successors.Clear();
  // States [0, stored) have their successors' identifiers, and those up
  // to `expanded` their successors.
  std::size_t& stored = helper.stored;
  stored = 0;
  std::size_t expanded = 0;
  for (std::size_t k = 0; k < batch.count; ++k) {
    helper.index = k;
    const Status status = helper.source->Expand(
        batch.first_number + static_cast<std::uint32_t>(k),
        batch.images.data() + k * state_size_, batch.successors);
    if (!status.ok) {
      if (Store(helper, batch, stored, k)) {
        batch.failed_at = k;
        batch.failure = status;
      }
      return;
    }
    batch.successor_ends[k] = batch.successors.Count();
    batch.delay_ends[k] = batch.successors.Delays().size();
    expanded = k + 1;
    if (expanded - stored == kStoreStates) {
      if (!Store(helper, batch, stored, k + 1)) return;
      stored = k + 1;
    }
  }
  (void)Store(helper, batch, stored, expanded);
}

bool ExpansionPool::Store(Helper& helper, ExpansionBatch& batch,
                          std::size_t from, std::size_t to) {
  // Hashed and, for the helpers' shards, looked up or stored here, off the
  // numbering thread; a few states at a time, so that each shard's lock is
  // taken once for all their successors in it.
  if (from == to) return true;
  const std::size_t begin = from == 0 ? 0 : batch.successor_ends[from - 1];
  const std::size_t end = batch.successor_ends[to - 1];
  if (batch.ids.size() < end) {
    batch.ids.resize(end);
    batch.hashes.resize(end);
  }
  for (std::size_t j = begin; j < end; ++j) {
    batch.hashes[j] = store_.Hash(batch.successors.Image(j));
  }
  if (!store_.FindOrInsertAll(batch.successors, begin, end, batch.hashes.data(),
                              batch.ids.data(), 0, helper_shards_,
                              helper.scratch)) {
    batch.failed_at = from;
    batch.failure = store_.Failure();
    return false;
  }
  batch.expanded = to;
  return true;
}

void ExpansionPool::TakeFailure(void* context, const Status& failure) {
  Helper& helper = *static_cast<Helper*>(context);
  ExpansionPool& pool = *helper.pool;
  GEN_CHECK(helper.slot != nullptr);
  ExpansionBatch& batch = helper.slot->batch;
  // The states before the failing one are handed over complete.
  const bool stored = pool.Store(helper, batch, helper.stored, helper.index);
  std::lock_guard<std::mutex> lock(pool.mutex_);
  if (stored) {
    batch.failed_at = helper.index;
    batch.failure = failure;
  }
  helper.slot->stage = Stage::kDone;
  helper.slot = nullptr;
  helper.handed_over = true;
  pool.done_.notify_all();
}
