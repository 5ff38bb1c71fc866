#include "generator/SharedStore.h"

#include <new>

#include "base/Contract.h"

SharedStore::SharedStore(std::uint32_t state_size, double load_factor,
                         std::uint32_t shard_bits)
    : shard_bits_(shard_bits) {
  GEN_CHECK(shard_bits >= 1 && shard_bits <= 8);
  for (std::uint32_t i = 0; i < (1u << shard_bits); ++i) {
    auto shard = std::make_unique<Shard>();
    shard->store = std::make_unique<HybridHash>(state_size, load_factor);
    shards_.push_back(std::move(shard));
  }
}

std::uint64_t SharedStore::FindOrInsert(const char* image, std::uint64_t hash) {
  // The shard comes from the hash's low bits; a shard's home slots and
  // tags come from its high half, so every shard's table is used evenly.
  const std::uint64_t index = hash & ((std::uint64_t{1} << shard_bits_) - 1);
  Shard& shard = *shards_[index];
  std::lock_guard<std::mutex> guard(shard.lock);
  HybridHash& store = *shard.store;
  const std::uint32_t number = store.FindOrInsert(image, store.LocateHash(hash),
                                                  store.StoredStates() + 1);
  if (number == HybridHash::kNotFound) return kFailed;
  return (std::uint64_t{number} << shard_bits_) | index;
}

bool SharedStore::FindOrInsertAll(const Successors& successors,
                                  std::size_t begin, std::size_t end,
                                  const std::uint64_t* hashes,
                                  std::uint64_t* ids, std::uint32_t shard_begin,
                                  std::uint32_t shard_end, Scratch& scratch) {
  const std::size_t count = end - begin;
  const std::size_t shards = shards_.size();
  const std::uint64_t mask = shards - 1;
  if (scratch.order.size() < count) {
    scratch.order.resize(count);
    scratch.probes.resize(count);
  }
  // Grouped by shard, in the order reported within each group.
  scratch.starts.assign(shards + 1, 0);
  for (std::size_t j = begin; j < end; ++j) {
    ++scratch.starts[(hashes[j] & mask) + 1];
  }
  for (std::size_t s = 0; s < shards; ++s) {
    scratch.starts[s + 1] += scratch.starts[s];
  }
  scratch.next.assign(scratch.starts.begin(), scratch.starts.end() - 1);
  for (std::size_t j = begin; j < end; ++j) {
    scratch.order[scratch.next[hashes[j] & mask]++] =
        static_cast<std::uint32_t>(j - begin);
  }
  // Shards another thread holds are left for a second round, so that a
  // thread waits only when every shard it still needs is busy.
  scratch.done.assign(shards, 0);
  for (int round = 0; round < 2; ++round) {
    for (std::uint32_t s = shard_begin; s < shard_end; ++s) {
      if (scratch.done[s] != 0 || scratch.starts[s] == scratch.starts[s + 1])
        continue;
      Shard& shard = *shards_[s];
      std::unique_lock<std::mutex> guard(shard.lock, std::defer_lock);
      if (round == 0) {
        if (!guard.try_lock()) continue;
      } else {
        guard.lock();
      }
      scratch.done[s] = 1;
      if (!InsertGroup(s, successors, begin, hashes, ids, scratch))
        return false;
    }
  }
  return true;
}

bool SharedStore::InsertGroup(std::uint32_t index, const Successors& successors,
                              std::size_t begin, const std::uint64_t* hashes,
                              std::uint64_t* ids, Scratch& scratch) {
  HybridHash& store = *shards_[index]->store;
  const std::uint32_t first = scratch.starts[index];
  const std::uint32_t last = scratch.starts[index + 1];
  // The table slot eight entries ahead, the image four ahead: both have
  // arrived by the time their entry's turn comes.
  constexpr std::uint32_t kSlotAhead = 8;
  constexpr std::uint32_t kImageAhead = 4;
  HybridHash::Probe* probes = scratch.probes.data();
  const std::uint32_t* order = scratch.order.data();
  for (std::uint32_t i = first; i < last && i < first + kSlotAhead; ++i) {
    probes[i] = store.LocateHash(hashes[begin + order[i]]);
  }
  for (std::uint32_t i = first; i < last; ++i) {
    if (i + kSlotAhead < last) {
      probes[i + kSlotAhead] =
          store.LocateHash(hashes[begin + order[i + kSlotAhead]]);
    }
    if (i + kImageAhead < last) store.PrefetchImage(probes[i + kImageAhead]);
    const std::size_t j = begin + order[i];
    const std::uint32_t number = store.FindOrInsert(
        successors.Image(j), probes[i], store.StoredStates() + 1);
    if (number == HybridHash::kNotFound) return false;
    ids[j] = (std::uint64_t{number} << shard_bits_) | index;
  }
  return true;
}

Status SharedStore::Failure() const {
  for (const auto& shard : shards_) {
    std::lock_guard<std::mutex> guard(shard->lock);
    if (!shard->store->failure().ok) return shard->store->failure();
  }
  return Status::Ok();
}

std::uint64_t SharedStore::StoredStates() const {
  std::uint64_t total = 0;
  for (const auto& shard : shards_) total += shard->store->StoredStates();
  return total;
}

void SharedStore::ReleaseTables() {
  for (const auto& shard : shards_) shard->store->ReleaseTable();
}

NumberMap::NumberMap(std::uint32_t shard_bits)
    : shard_bits_(shard_bits),
      shard_mask_((std::uint64_t{1} << shard_bits) - 1),
      blocks_(std::size_t{1} << shard_bits) {}

std::uint32_t* NumberMap::Slot(std::uint64_t id) {
  const std::uint64_t local = id >> shard_bits_;
  auto& blocks = blocks_[id & shard_mask_];
  const std::uint64_t block = local >> kBlockBits;
  while (block >= blocks.size()) {
    std::unique_ptr<std::uint32_t[]> fresh(
        new (std::nothrow) std::uint32_t[std::size_t{1} << kBlockBits]());
    if (!fresh) return nullptr;
    blocks.push_back(std::move(fresh));
  }
  return &blocks[block][local & ((std::uint64_t{1} << kBlockBits) - 1)];
}

void NumberMap::Prefetch(std::uint64_t id) const {
  const std::uint64_t local = id >> shard_bits_;
  const auto& blocks = blocks_[id & shard_mask_];
  const std::uint64_t block = local >> kBlockBits;
  if (block < blocks.size()) {
    __builtin_prefetch(
        &blocks[block][local & ((std::uint64_t{1} << kBlockBits) - 1)]);
  }
}
