#include "generator/ExpansionPool.h"

#include <algorithm>

#include "base/Contract.h"
#include "base/FailureHandover.h"

namespace {

// Batches per helper thread. A helper that is off its core for a time
// slice (three threads, run's, helper's and writer's, share two cores) must
// have run far enough ahead that the run's thread does not catch up and
// expand the states itself: 32 batches are about 8,000 states, 10 ms of the
// run's thread's work. With 4 the run's thread expanded a third of Kanban
// N = 5's states itself, with 16 about 8 %, with 32 under 1 %, for about
// 400 KB per batch.
constexpr std::size_t kSlotsPerHelper = 32;

}  // namespace

ExpansionPool::ExpansionPool(const std::vector<NextStateSource*>& sources,
                             std::size_t state_size, std::size_t reward_width,
                             const HybridHash& store)
    : state_size_(state_size),
      reward_width_(reward_width),
      store_(store),
      published_(store.packing()) {
  GEN_CHECK(!sources.empty());
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

void ExpansionPool::AddState(ExpansionBatch& batch, std::uint32_t number) {
  GEN_CHECK(batch.count < kBatchStates);
  // The states of a batch are consecutive: the run's thread consumes them
  // in number order.
  if (batch.count == 0) batch.first_number = number;
  GEN_CHECK(number == batch.first_number + batch.count);
  store_.Unpack(number, batch.images.data() + batch.count * state_size_);
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
  slot->taken_over.store(false, std::memory_order_relaxed);
  slot->sequence = next_sequence_++;
  // The packing changes only while the first few states are numbered, so
  // this copy is rare.
  if (published_.version != store_.packing().version) {
    published_ = store_.packing();
  }
  submitted_.push_back(slot);
  work_.notify_one();
}

ExpansionBatch* ExpansionPool::Oldest() {
  std::unique_lock<std::mutex> lock(mutex_);
  if (submitted_.empty()) return nullptr;
  Slot* oldest = submitted_.front();
  if (oldest->stage == Stage::kPending) {
    oldest->stage = Stage::kTaken;
    oldest->batch.expanded = 0;
    oldest->batch.failed_at = ExpansionBatch::kNotFailed;
    return &oldest->batch;
  }
  // A helper that is still at it stops after its current state; the caller
  // expands the rest, rather than wait for a thread the system may not be
  // running.
  oldest->taken_over.store(true, std::memory_order_relaxed);
  done_.wait(lock, [oldest] { return oldest->stage == Stage::kDone; });
  return &oldest->batch;
}

void ExpansionPool::Release() {
  std::lock_guard<std::mutex> lock(mutex_);
  GEN_CHECK(!submitted_.empty() &&
            (submitted_.front()->stage == Stage::kDone ||
             submitted_.front()->stage == Stage::kTaken));
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
    if (helper.packing.version != published_.version) {
      helper.packing = published_;
    }
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
  const HybridHash::Packing& packing = helper.packing;
  const std::size_t width = packing.Width();
  batch.packed_width = width;
  batch.packing_version = packing.version;
  // The sources append: one buffer holds the successors of the whole batch.
  batch.successors.Clear();
  for (std::size_t k = 0; k < batch.count; ++k) {
    // Asked before every state, so that the run's thread can take the rest
    // of the batch over; what was expanded is handed over through the
    // mutex when the batch is done.
    if (slot.taken_over.load(std::memory_order_relaxed)) break;
    helper.index = k;
    const Status status = helper.source->Expand(
        batch.first_number + static_cast<std::uint32_t>(k),
        batch.images.data() + k * state_size_, batch.successors);
    if (!status.ok) {
      batch.failed_at = k;
      batch.failure = status;
      break;
    }
    // Hashed and packed here, off the numbering thread, which then only
    // compares and stores. The lookups stay there: a helper's lookup misses
    // every state numbered after it, which in a breadth-first order is
    // about half of the known successors, and repeating those cost more
    // than the helper saved.
    const std::size_t begin = k == 0 ? 0 : batch.successor_ends[k - 1];
    const std::size_t end = batch.successors.Count();
    if (batch.hashes.size() < end) {
      batch.hashes.resize(end);
      batch.packs.resize(end);
    }
    // At least one byte, so that an empty packing still has an address.
    if (batch.packed.size() < std::max<std::size_t>(end * width, 1)) {
      batch.packed.resize(std::max<std::size_t>(2 * end * width, 1));
    }
    for (std::size_t j = begin; j < end; ++j) {
      const char* image = batch.successors.Image(j);
      batch.hashes[j] = store_.Hash(image);
      batch.packs[j] = packing.Pack(image, batch.packed.data() + j * width);
    }
    batch.successor_ends[k] = end;
    batch.delay_ends[k] = batch.successors.Delays().size();
    batch.expanded = k + 1;
  }
}

void ExpansionPool::TakeFailure(void* context, const Status& failure) {
  Helper& helper = *static_cast<Helper*>(context);
  ExpansionPool& pool = *helper.pool;
  std::lock_guard<std::mutex> lock(pool.mutex_);
  GEN_CHECK(helper.slot != nullptr);
  ExpansionBatch& batch = helper.slot->batch;
  batch.failed_at = helper.index;
  batch.failure = failure;
  batch.expanded = helper.index;
  helper.slot->stage = Stage::kDone;
  helper.slot = nullptr;
  helper.handed_over = true;
  pool.done_.notify_all();
}
