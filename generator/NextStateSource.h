#ifndef GEN_GENERATOR_NEXTSTATESOURCE_H_
#define GEN_GENERATOR_NEXTSTATESOURCE_H_

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "base/Contract.h"
#include "base/Status.h"
#include "output/RewardTypeFile.h"

// How a chain is explored and written. Normal: every value is a positive
// rate. Deterministic: a deterministic firing is entered as minus the
// probability of reaching its target, and the states that enable each
// deterministic delay go to the .det file.
enum class ExplorationMode { kNormal, kDeterministic };

// What one explored state leads to, as a source reports it: per stable
// successor its image, the transition's value and the reward record the
// successor gets if it is new; and the deterministic delays the state
// enables. In deterministic mode each successor also says how it was
// reached (Origin), so that the chain can be described without the merging
// that the value undergoes. Storage grows geometrically and is reused from
// state to state, so reporting allocates nothing once the largest state
// has been seen.
class Successors {
 public:
  // Sizes every entry; clears.
  void Configure(std::size_t state_size, std::size_t reward_width) {
    state_size_ = state_size;
    reward_width_ = reward_width;
    Clear();
  }
  void Clear() {
    count_ = 0;
    delays_.clear();
    delay_actions_.clear();
  }

  // How a successor was reached in deterministic mode. `delay` is the
  // index, in Delays(), of the deterministic action whose firing led to it,
  // or kExponential. For an exponential firing, bit j of `kept` is set when
  // the deterministic action of Delays() index j stayed enabled in every
  // marking along the way, vanishing ones included (its clock runs on);
  // a clear bit means it was disabled on the way (its clock restarts).
  struct Origin {
    static constexpr std::uint32_t kExponential = 0xFFFFFFFF;
    std::uint32_t delay = kExponential;
    std::uint64_t kept = 0;
  };
  // At most this many deterministic actions may be enabled in one state in
  // deterministic mode: one bit of Origin::kept each.
  static constexpr std::size_t kMaxDelays = 64;

  // Adds a transition with `value` (never 0) into the stable state `image`
  // and returns the reward record to fill for it (reward_width doubles).
  double* Add(const char* image, double value) {
    return Add(image, value, Origin{});
  }
  double* Add(const char* image, double value, const Origin& origin) {
    if (count_ == values_.size()) Grow();
    std::memcpy(images_.data() + count_ * state_size_, image, state_size_);
    values_[count_] = value;
    origins_[count_] = origin;
    notes_[count_] = kRewardsFilled;
    return rewards_.data() + count_++ * reward_width_;
  }
  // Leaves the reward record of successor k unfilled: the source that
  // reported it computes it on demand (NextStateSource::LateRewards) from
  // its image and `note`, a value of the source's own below kRewardsFilled.
  void DeferRewards(std::size_t k, std::uint32_t note) { notes_[k] = note; }
  static constexpr std::uint32_t kRewardsFilled = 0xFFFFFFFF;
  // Gives every successor `width` doubles for the impulses earned on the
  // way to it (FiringImpulses); 0, the default, gives none. Kept by Clear.
  void SetImpulseWidth(std::size_t width) {
    if (width == impulse_width_) return;
    impulse_width_ = width;
    impulses_.resize(values_.size() * impulse_width_);
  }
  std::size_t ImpulseWidth() const { return impulse_width_; }

  // The explored state enables a deterministic action of this delay; the
  // action is number `action` of the source's DeterministicActions().
  void AddDelay(double delay, std::uint32_t action = 0) {
    delays_.push_back(delay);
    delay_actions_.push_back(action);
  }

  std::size_t Count() const { return count_; }
  const char* Image(std::size_t k) const {
    return images_.data() + k * state_size_;
  }
  double Value(std::size_t k) const { return values_[k]; }
  // Valid only where RewardsFilled(k).
  const double* Rewards(std::size_t k) const {
    return rewards_.data() + k * reward_width_;
  }
  bool RewardsFilled(std::size_t k) const {
    return notes_[k] == kRewardsFilled;
  }
  std::uint32_t RewardNote(std::size_t k) const { return notes_[k]; }
  const Origin& OriginOf(std::size_t k) const { return origins_[k]; }
  // Per reward variable, the impulses earned by the firings that led to
  // successor k (a deterministic firing and the zero-time firings after
  // it), as the source fills them in; ImpulseWidth() doubles.
  double* FiringImpulses(std::size_t k) {
    return impulses_.data() + k * impulse_width_;
  }
  const double* FiringImpulses(std::size_t k) const {
    return impulses_.data() + k * impulse_width_;
  }
  const std::vector<double>& Delays() const { return delays_; }
  const std::vector<std::uint32_t>& DelayActions() const {
    return delay_actions_;
  }

 private:
  void Grow() {
    const std::size_t capacity = values_.empty() ? 16 : 2 * values_.size();
    images_.resize(capacity * state_size_);
    values_.resize(capacity);
    origins_.resize(capacity);
    notes_.resize(capacity);
    rewards_.resize(capacity * reward_width_);
    impulses_.resize(capacity * impulse_width_);
  }

  std::size_t state_size_ = 0;
  std::size_t reward_width_ = 0;
  std::size_t impulse_width_ = 0;
  std::size_t count_ = 0;
  std::vector<char> images_;
  std::vector<double> values_;
  std::vector<double> rewards_;
  std::vector<Origin> origins_;
  std::vector<std::uint32_t> notes_;  // kRewardsFilled, or the source's note
  std::vector<double> impulses_;
  std::vector<double> delays_;
  std::vector<std::uint32_t> delay_actions_;
};

// The narrow seam between a model and the explorer. A source knows its
// states as byte images of a fixed size (two images are the same state
// exactly when their bytes are equal) and expands one state at a time; the
// explorer owns the store, the queue, the numbering, the merging of
// transitions and the result files.
class NextStateSource {
 public:
  virtual ~NextStateSource() = default;

  // Bytes in one state image; at least 1.
  virtual std::size_t StateSize() const = 0;
  // The reward variables, in record order: each state's reward record holds
  // the impulse and the rate reward of each (2 * RewardTypes().size()).
  virtual std::vector<RewardVariableType> RewardTypes() const = 0;
  // The names of the deterministic actions, indexed as Successors::AddDelay
  // reports them; empty for a source without any.
  virtual std::vector<std::string> DeterministicActions() const { return {}; }
  // Whether, in deterministic mode, the source reports per successor the
  // impulses of each reward variable earned by the deterministic firing
  // that led to it and the zero-time firings after it
  // (Successors::FiringImpulses). Such impulses are earned at the rate of
  // the firing, which depends on its clock, not on the state alone.
  virtual bool ReportsFiringImpulses() const { return false; }
  // Decides how the chain is explored; a model that fits neither mode, or
  // whose initial state is not stable, fails here.
  virtual Status ChooseMode(ExplorationMode* mode) = 0;
  // The initial state's image (StateSize bytes) and reward record.
  virtual Status Initial(char* image, double* rewards) = 0;
  // Every state the model starts in, reported to `out` (cleared, configured
  // for this source) with its probability as the value and its reward
  // record, in the order they are numbered from 1: distinct images whose
  // probabilities add up to 1. Valid once ChooseMode has succeeded. Most
  // sources start in one state: by default, Initial's with probability 1.
  virtual Status InitialStates(Successors& out) {
    std::vector<char> image(StateSize());
    std::vector<double> rewards(2 * RewardTypes().size());
    const Status status = Initial(image.data(), rewards.data());
    if (!status.ok) return status;
    double* record = out.Add(image.data(), 1.0);
    for (std::size_t i = 0; i < rewards.size(); ++i) record[i] = rewards[i];
    return Status::Ok();
  }
  // Reports every successor of the state `image`, numbered `number`, to
  // `out` (which the explorer has cleared). A failure ends the run.
  virtual Status Expand(std::uint32_t number, const char* image,
                        Successors& out) = 0;
  // Lets Expand leave reward records unfilled (Successors::DeferRewards)
  // for LateRewards to compute. Only a successor that is new needs its
  // record, a small share of those reported, so an explorer that asks for
  // them late saves the rest. A source may ignore this and fill them all,
  // as by default.
  virtual void AllowLateRewards(bool /*allow*/) {}
  // Writes the reward record of a successor that Expand reported with
  // `image` and left unfilled with `note`: the record Expand would have
  // filled. Any source of the same model computes it, whichever expanded
  // the state. Called between expansions, on the thread that expands with
  // this source.
  virtual void LateRewards(const char* /*image*/, std::uint32_t /*note*/,
                           double* /*record*/) {
    // Never called: a source that leaves no record unfilled has no note.
    GEN_CHECK(false);
  }
  // Tells the user that the state just expanded has no transition; called
  // only when absorbing states are to be reported.
  virtual void ReportAbsorbing(std::uint32_t number, const char* image) = 0;
  // The marking of the state `image` as "place=value" pairs, places in
  // declaration order, separated by single spaces, with the markings the
  // image holds (not shifted back to an imported variable's values: the
  // .states file decodes the chain's states); empty for a source that
  // cannot name its places. Called between expansions, on the thread that
  // expands with this source.
  virtual std::string DescribeImage(const char* /*image*/) { return {}; }
};

#endif  // GEN_GENERATOR_NEXTSTATESOURCE_H_
