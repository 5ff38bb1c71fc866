#include "bridge/ModelBuilder.h"

#include <algorithm>
#include <cmath>
#include <iostream>
#include <limits>
#include <memory>
#include <optional>
#include <sstream>
#include <utility>

#include "base/Contract.h"
#include "distributions/UserDistributions.h"
#include "framework/Activity.h"
#include "framework/BaseGroupClass.h"
#include "framework/SANModel.h"
#include "lang/Program.h"
#include "output/Formats.h"
#include "reward/PerformanceVariableNode.h"
#include "reward/SteadyState.h"
#include "state/Place.h"

namespace {

FiringErrorHandler firing_error_handler = nullptr;

// Settings of every reward variable: steady state, one time point, like the
// compiled-in model's.
constexpr RewardType kRewardType = RewardKindCode(RewardKind::kSteadyState);
constexpr int kNumTimePoints = 1;
constexpr double kStartTimes[kNumTimePoints] = {0.0};
constexpr double kStopTimes[kNumTimePoints] = {1.0};

ExprPtr PlaceExpr(int index, const std::string& name) {
  auto expr = std::make_unique<Expr>();
  expr->kind = ExprKind::kPlace;
  expr->type = ValueType::kInt;
  expr->index = index;
  expr->name = name;
  return expr;
}

ExprPtr OneOr(const ExprPtr& multiplicity) {
  return multiplicity ? Clone(*multiplicity) : IntConstant(1);
}

// The arcs as statements `place -= count` (inputs) or `place += count`.
std::vector<StatementIr> ArcStatements(const std::vector<ArcIr>& arcs,
                                       StatementIr::Kind kind) {
  std::vector<StatementIr> statements;
  for (const ArcIr& arc : arcs) {
    StatementIr statement;
    statement.kind = kind;
    statement.place = arc.place;
    statement.place_index = arc.place_index;
    statement.value = OneOr(arc.multiplicity);
    statements.push_back(std::move(statement));
  }
  return statements;
}

void CollectPlaces(const Expr& expr, std::vector<int>& places) {
  if (expr.kind == ExprKind::kPlace &&
      std::find(places.begin(), places.end(), expr.index) == places.end()) {
    places.push_back(expr.index);
  }
  for (const ExprPtr& arg : expr.args) CollectPlaces(*arg, places);
}

void AddUnique(std::vector<int>& places, int place) {
  if (std::find(places.begin(), places.end(), place) == places.end()) {
    places.push_back(place);
  }
}

void CollectStatements(const std::vector<StatementIr>& statements,
                       std::vector<int>& reads, std::vector<int>& writes) {
  for (const StatementIr& statement : statements) {
    if (statement.condition) CollectPlaces(*statement.condition, reads);
    if (statement.value) CollectPlaces(*statement.value, reads);
    if (statement.kind != StatementIr::Kind::kIf &&
        statement.kind != StatementIr::Kind::kSimultaneous) {
      AddUnique(writes, statement.place_index);
    }
    CollectStatements(statement.then_body, reads, writes);
    CollectStatements(statement.else_body, reads, writes);
  }
}

class TextSAN;

// `value` + `offset`, a whole number in full rather than in the stream's
// six significant digits.
std::string ValueText(double value, long long offset) {
  constexpr double kWholeLimit = 9007199254740992.0;  // 2^53
  if (value == std::trunc(value) && std::fabs(value) < kWholeLimit) {
    return std::to_string(static_cast<long long>(value) + offset);
  }
  std::ostringstream text;
  text << value + static_cast<double>(offset);
  return text.str();
}

// A place of a text model that traces show with its model's own value: the
// marking plus the place's value offset.
class TextPlace : public Place {
 public:
  TextPlace(const char* name, short initial_marking, long long value_offset)
      : Place(name, initial_marking), value_offset_(value_offset) {}

  long long value_offset() const { return value_offset_; }
  long long ShownValue() const { return getMark() + value_offset_; }

  void printState(std::ostream* os) override {
    *os << Name << " = " << ShownValue() << '\n' << std::flush;
  }
  using Place::printState;
  void printStateVal(std::ostream* os) override { *os << ShownValue(); }

 private:
  long long value_offset_;
};

// What every case of one activity shares: its enabling test and its timing.
// A marking test or change with a constant count: the shape of nearly every
// arc, run without the interpreter.
struct ConstantArc {
  short* mark;
  int count;  // tokens needed (tests) or added, negative for removed
  int place;
  int low;  // the place's range (changes)
  int high;
};

// Whether the destination probabilities of an immediate edge make a
// distribution: they add up to 1, or to 0, which leaves the edge out.
bool AddsUpToOne(double total) {
  constexpr double kTolerance = 1e-9;
  return total == 0.0 || std::abs(total - 1.0) <= kTolerance;
}

struct ActivityRuntime {
  std::string name;
  std::string written_at;  // see ActivityIr
  ActivityKind kind = ActivityKind::kExponential;
  // Enabled when every marking lies in its range, when arcs and gates come
  // down to such tests; else when the enabling program gives true.
  std::optional<std::vector<MarkRange>> ranges;
  Program enabling;  // bool
  Program timing;    // rate or delay; empty for instantaneous activities
  Program rank;      // empty: 1
  Program weight;    // empty: 1
  std::vector<int> reads;
  struct ProbabilityCheck {
    std::string of;
    std::vector<Program> probabilities;
    bool add_up_to_one = false;
  };
  std::vector<ProbabilityCheck> probability_checks;
};

// One activity of a text model, or one case of it.
class TextActivity : public Activity {
 public:
  TextActivity(const std::string& name, int group_id,
               const ActivityRuntime& runtime, TextSAN& model)
      : Activity(name.c_str(), group_id, DistributionOf(runtime.kind),
                 kDefaultExecutionPolicy, 0, 1, false),
        runtime_(runtime),
        model_(model) {
    // Up to kInlineTests ranges live in the activity itself: the enabling
    // test is the most frequent question the generator asks.
    if (runtime.ranges && runtime.ranges->size() <= kInlineTests) {
      num_tests_ = static_cast<int>(runtime.ranges->size());
      std::copy(runtime.ranges->begin(), runtime.ranges->end(), tests_);
    }
  }

  bool Enabled() override {
    OldEnabled = NewEnabled;
    NewEnabled = num_tests_ >= 0 ? InlineTests() : EnablingTest();
    // An instantaneous choice of weight 0 is never made, also alone: the
    // activity (or case) is not enabled there, so it neither makes the
    // marking vanishing nor hides activities of lower rank. A negative or
    // non-finite weight stays enabled for the explorer to report.
    if (NewEnabled && checks_probabilities) CheckProbabilities();
    if (NewEnabled && weight_may_be_zero) NewEnabled = Weight() != 0.0;
    return NewEnabled;
  }

  std::string WrittenAt() const override { return runtime_.written_at; }

  double Rate() override {
    if (runtime_.kind != ActivityKind::kExponential) return 0.0;
    const double rate = Value(runtime_.timing, 0.0);
    // A rate that is itself no number is refused by the explorer.
    if (!std::isnan(rate) && runtime_.timing.ConsumedNan()) {
      NoNumber("rate", runtime_.timing);
    }
    return rate;
  }

  double Weight() override {
    if (runtime_.kind != ActivityKind::kInstantaneous) {
      return Value(probability, 1.0);
    }
    if (runtime_.weight.empty()) return Value(probability, 1.0);
    if (probability.empty()) return Value(runtime_.weight, 1.0);
    return Value(runtime_.weight, 1.0) * Value(probability, 1.0);
  }

  int Rank() override {
    return runtime_.rank.empty() ? 1
                                 : static_cast<int>(runtime_.rank.Evaluate());
  }

  bool ReactivationPredicate() override { return false; }
  bool ReactivationFunction() override { return false; }

  double SampleDistribution() override {
    switch (runtime_.kind) {
      case ActivityKind::kExponential:
        return TheDistribution->Exponential(Rate());
      case ActivityKind::kDeterministic:
        return Value(runtime_.timing, 0.0);
      case ActivityKind::kInstantaneous:
        return 0.0;
    }
    return 0.0;
  }

  double* ReturnDistributionParameters() override {
    if (runtime_.kind == ActivityKind::kInstantaneous) return nullptr;
    parameters_[0] = Value(runtime_.timing, 0.0);
    return parameters_;
  }

  BaseActionClass* Fire() override;
  void LinkVariables() override {}

  Program probability;  // the case's; empty: 1
  // Set for an instantaneous activity (or case) whose weight or case
  // probability is not a constant other than 0: Enabled() then asks Weight().
  bool weight_may_be_zero = false;
  // What reward variable `variable` earns each time this instantaneous or
  // deterministic activity (or case) fires: `amount` in the marking that fires
  // (empty: 1).
  struct FiringImpulse {
    std::size_t variable;
    Program amount;
  };
  std::vector<FiringImpulse> firing_impulses;
  // The firing: constant arc changes alone (net per place) when there are
  // no gates and no computed counts, else the compiled statements.
  bool simple_effect = false;
  std::vector<ConstantArc> changes;
  Program effect;
  std::vector<short*> written;  // marks the effect may change
  // Where each gate's statements start in `effect`, and what the gate is
  // ("output gate at m.san:4:3"), for a gate that reads no number.
  struct EffectPart {
    std::size_t start;
    std::string what;
  };
  std::vector<EffectPart> effect_parts;
  // Set on the first action of an activity with probability checks: its
  // cases share the enabling, so one of them checks for all.
  bool checks_probabilities = false;

 private:
  static Distribution DistributionOf(ActivityKind kind) {
    switch (kind) {
      case ActivityKind::kExponential:
        return Exponential;
      case ActivityKind::kDeterministic:
        return Deterministic;
      case ActivityKind::kInstantaneous:
        return Instantaneous;
    }
    return Exponential;
  }

  bool InlineTests() const {
    for (int i = 0; i < num_tests_; ++i) {
      const int value = *tests_[i].mark;
      if (value < tests_[i].low || value > tests_[i].high) return false;
    }
    return true;
  }

  // Reports a refused marking (the place keeps its value) and ends the run.
  void Refused(int place, double value);
  // Ends the run when a checked probability is negative or not finite, or
  // a set that must add up to 1 does not (nor to 0).
  void CheckProbabilities();
  // The enabling program's truth; stops where it reads no number.
  bool EnablingTest();
  // Stops the run: `what` read a value that is no number here.
  // Stops the run: `what`, run by `program`, compared or branched on no
  // number. `placed`: `what` already says where it is written.
  void NoNumber(const std::string& what, const Program& program,
                bool placed = false);
  // Stops the run: the effect branched on no number at instruction `at`.
  void EffectNoNumber(int at);

  static double Value(const Program& program, double absent) {
    if (program.empty()) return absent;
    return program.IsConstant() ? program.ConstantValue() : program.Evaluate();
  }

  static constexpr int kInlineTests = 4;

  const ActivityRuntime& runtime_;
  TextSAN& model_;
  int num_tests_ = -1;  // -1: the enabling program decides
  MarkRange tests_[kInlineTests] = {};
  double parameters_[1] = {0.0};
  std::vector<short> saved_;
};

// The SAN model of a text model: owns its places, activities and groups.
class TextSAN : public SANModel {
 public:
  TextSAN(const ModelIr& ir, const std::vector<double>& globals,
          const std::vector<short>& initial);

  std::string DescribeMarking() const override {
    std::string text;
    for (const auto& place : places_) {
      if (!text.empty()) text += ' ';
      text += place->getName();
      text += '=' + std::to_string(place->ShownValue());
    }
    return text;
  }

  const ProgramBinding& binding() const { return binding_; }

  // The arcs of `arcs` as marking changes of `sign` times their counts, when
  // every count is a constant; nullopt otherwise.
  std::optional<std::vector<ConstantArc>> ConstantCounts(
      const std::vector<ArcIr>& arcs, int sign) const {
    std::vector<ConstantArc> result;
    for (const ArcIr& arc : arcs) {
      int count = 1;
      if (arc.multiplicity) {
        const Program program =
            Program::CompileExpr(*arc.multiplicity, binding_);
        if (!program.IsConstant()) return std::nullopt;
        const double value = program.ConstantValue();
        if (!(value >= 0 && value <= kMaxMarking)) return std::nullopt;
        count = static_cast<int>(value);
      }
      const auto p = static_cast<std::size_t>(arc.place_index);
      result.push_back({binding_.marks[p], sign * count, arc.place_index,
                        binding_.low[p], binding_.high[p]});
    }
    return result;
  }
  const std::vector<std::unique_ptr<ActivityRuntime>>& runtimes() const {
    return runtimes_;
  }
  const char* PlaceName(int place) const {
    return places_[static_cast<std::size_t>(place)]->getName();
  }
  long long ValueOffset(int place) const {
    return places_[static_cast<std::size_t>(place)]->value_offset();
  }
  // The action of case `c` of activity `activity` (case 0 of an activity
  // without cases is the activity itself).
  TextActivity& Action(std::size_t activity, std::size_t c) {
    return *activities_[first_action_[activity] + c];
  }

 private:
  std::vector<std::unique_ptr<TextPlace>> places_;
  std::vector<std::unique_ptr<ActivityRuntime>> runtimes_;
  std::vector<std::unique_ptr<TextActivity>> activities_;
  std::vector<std::size_t> first_action_;  // per activity, in activities_
  std::vector<std::unique_ptr<PostselectGroup>> groups_;
  ProgramBinding binding_;
};

BaseActionClass* TextActivity::Fire() {
  if (simple_effect) {
    // Check every change first, so that a refused one leaves the state as
    // it was.
    for (const ConstantArc& change : changes) {
      const int value = *change.mark + change.count;
      if (value < change.low || value > change.high) {
        Refused(change.place, value);
      }
    }
    for (const ConstantArc& change : changes) {
      *change.mark = static_cast<short>(*change.mark + change.count);
    }
    return this;
  }
  saved_.resize(written.size());
  for (std::size_t i = 0; i < written.size(); ++i) saved_[i] = *written[i];
  if (!effect.Execute()) {
    // Put the state back so that the message shows the state that fired.
    for (std::size_t i = 0; i < written.size(); ++i) *written[i] = saved_[i];
    Refused(effect.error().place, effect.error().value);
  } else if (effect.ConsumedNan()) {
    // A branch chosen on no number is made up: refuse the firing.
    for (std::size_t i = 0; i < written.size(); ++i) *written[i] = saved_[i];
    EffectNoNumber(effect.NanAt());
  }
  return this;
}

bool TextActivity::EnablingTest() {
  const double value = runtime_.enabling.Evaluate();
  if (std::isnan(value) || runtime_.enabling.ConsumedNan()) {
    NoNumber("enabling condition", runtime_.enabling);
  }
  return value != 0.0;
}

void TextActivity::EffectNoNumber(int at) {
  std::string what = "effect";
  for (const EffectPart& part : effect_parts) {
    if (part.start <= static_cast<std::size_t>(at)) what = part.what;
  }
  // A gate of a model text is named by its own place; the activity's then
  // adds nothing.
  NoNumber(what, effect, what != "effect");
}

void TextActivity::NoNumber(const std::string& what, const Program& program,
                            bool placed) {
  std::ostringstream text;
  text << "Error: the " << what << " of activity " << ActionName;
  if (!placed && !runtime_.written_at.empty()) {
    text << " (" << runtime_.written_at << ")";
  }
  text << (program.LeftInt32()
               ? " reads an int that leaves the 32-bit range (state: "
               : " reads a value that is no number, such as a modulo by 0 "
                 "(state: ")
       << model_.DescribeMarking() << ")\n";
  if (firing_error_handler != nullptr) firing_error_handler(text.str());
  std::cerr << text.str() << std::flush;
  GEN_CHECK(firing_error_handler != nullptr);
}

void TextActivity::Refused(int place, double value) {
  const auto p = static_cast<std::size_t>(place);
  // The value, the range and the state as the model states them.
  const long long offset = model_.ValueOffset(place);
  std::ostringstream text;
  text << "Error: activity " << ActionName;
  if (!runtime_.written_at.empty()) text << " (" << runtime_.written_at << ")";
  text << " would set place " << model_.PlaceName(place) << " to "
       << ValueText(value, offset) << "; it must be a whole number in "
       << model_.binding().low[p] + offset << ".."
       << model_.binding().high[p] + offset
       << " (state: " << model_.DescribeMarking() << ")\n";
  if (firing_error_handler != nullptr) firing_error_handler(text.str());
  std::cerr << text.str() << std::flush;
  GEN_CHECK(firing_error_handler != nullptr);
}

void TextActivity::CheckProbabilities() {
  for (const ActivityRuntime::ProbabilityCheck& check :
       runtime_.probability_checks) {
    double total = 0.0;
    double invalid = 0.0;
    bool valid = true;
    for (const Program& program : check.probabilities) {
      const double probability = Value(program, 1.0);
      if (!std::isfinite(probability) || probability < 0.0) {
        invalid = probability;
        valid = false;
        break;
      }
      total += probability;
    }
    if (valid && !(check.add_up_to_one && !AddsUpToOne(total))) continue;
    // Only a refused state pays for the message.
    std::ostringstream text;
    if (!valid) {
      text << "Error: invalid probability " << invalid << " of " << check.of
           << " (state: " << model_.DescribeMarking()
           << "); it must be a finite number that is not negative\n";
    } else {
      text.precision(12);
      text << "Error: the probabilities of the destinations of " << check.of
           << " add up to " << total
           << ", not 1 (state: " << model_.DescribeMarking() << ")\n";
    }
    if (firing_error_handler != nullptr) firing_error_handler(text.str());
    std::cerr << text.str() << std::flush;
    GEN_CHECK(firing_error_handler != nullptr);
  }
}

TextSAN::TextSAN(const ModelIr& ir, const std::vector<double>& globals,
                 const std::vector<short>& initial) {
  std::vector<BaseStateVariableClass*> places;
  binding_.globals = globals;
  for (std::size_t p = 0; p < ir.places.size(); ++p) {
    const PlaceIr& place = ir.places[p];
    places_.push_back(std::make_unique<TextPlace>(
        place.name.c_str(), initial[p], place.value_offset));
    places.push_back(places_.back().get());
    binding_.marks.push_back(places_.back()->Mark);
    binding_.low.push_back(place.low());
    binding_.high.push_back(place.high());
  }

  struct Wiring {
    TextActivity* activity;
    std::vector<int> reads;
    std::vector<int> writes;
  };
  std::vector<Wiring> wiring;
  std::vector<Activity*> activities;
  std::vector<BaseGroupClass*> groups;
  for (const ActivityIr& activity : ir.activities) {
    auto runtime = std::make_unique<ActivityRuntime>();
    runtime->name = activity.name;
    // Run-time errors name where the activity is written: an importer's
    // origin, or the activity's own line in a model text.
    runtime->written_at = activity.written_at;
    if (runtime->written_at.empty() && activity.where.line > 0) {
      runtime->written_at = activity.where.origin + ":" +
                            std::to_string(activity.where.line) + ":" +
                            std::to_string(activity.where.column);
    }
    runtime->kind = activity.kind;

    // Enabled while every input arc has its tokens and every gate holds.
    std::vector<int> reads;
    ExprPtr enabling;
    auto conjoin = [&enabling](ExprPtr term) {
      enabling = enabling
                     ? Binary(Op::kAnd, std::move(enabling), std::move(term))
                     : std::move(term);
      enabling->type = ValueType::kBool;
    };
    for (const ArcIr& arc : activity.inputs) {
      ExprPtr test =
          Binary(Op::kGreaterEqual, PlaceExpr(arc.place_index, arc.place),
                 OneOr(arc.multiplicity));
      test->type = ValueType::kBool;
      conjoin(std::move(test));
    }
    for (const InputGateIr& gate : activity.input_gates) {
      if (gate.predicate) conjoin(Clone(*gate.predicate));
    }
    if (!enabling) enabling = BoolConstant(true);
    CollectPlaces(*enabling, reads);
    runtime->enabling = Program::CompileExpr(*enabling, binding_);
    runtime->ranges = runtime->enabling.AsMarkRanges();
    if (activity.timing) {
      runtime->timing = Program::CompileExpr(*activity.timing, binding_);
    }
    if (activity.rank) {
      runtime->rank = Program::CompileExpr(*activity.rank, binding_);
    }
    if (activity.weight) {
      runtime->weight = Program::CompileExpr(*activity.weight, binding_);
    }
    runtime->reads = reads;
    for (const ProbabilityCheckIr& check : activity.probability_checks) {
      ActivityRuntime::ProbabilityCheck compiled;
      compiled.of = check.of;
      compiled.add_up_to_one = check.add_up_to_one;
      bool constant = true;
      double total = 0.0;
      for (const ExprPtr& probability : check.probabilities) {
        Program program = Program::CompileExpr(*probability, binding_);
        constant = constant && program.IsConstant() &&
                   std::isfinite(program.ConstantValue()) &&
                   program.ConstantValue() >= 0.0;
        if (constant) total += program.ConstantValue();
        compiled.probabilities.push_back(std::move(program));
      }
      // Constant probabilities that pass hold in every state: nothing to
      // check per firing. A failing one is reported at its first state.
      if (constant && !(check.add_up_to_one && !AddsUpToOne(total))) continue;
      runtime->probability_checks.push_back(std::move(compiled));
    }

    // What every case does first: input arcs, input gates, the activity's
    // own outputs and output gates.
    const std::vector<StatementIr> arcs_in =
        ArcStatements(activity.inputs, StatementIr::Kind::kSubtract);
    auto arcs_out = [](const std::vector<ArcIr>& arcs) {
      return ArcStatements(arcs, StatementIr::Kind::kAdd);
    };
    std::vector<int> common_reads;
    std::vector<int> common_writes;
    std::vector<TextActivity::EffectPart> common_parts;
    // A gate is named by its place in the model text; an imported model
    // names the activity's origin instead (written_at).
    auto gate_part = [&activity](const char* kind, const SourceLocation& where,
                                 const Program& effect) {
      std::string what = "effect";
      if (activity.written_at.empty() && where.line > 0) {
        what = std::string(kind) + " at " + where.origin + ":" +
               std::to_string(where.line) + ":" + std::to_string(where.column);
      }
      return TextActivity::EffectPart{effect.size(), std::move(what)};
    };
    Program common = Program::CompileStatements(arcs_in, binding_);
    CollectStatements(arcs_in, common_reads, common_writes);
    for (const InputGateIr& gate : activity.input_gates) {
      common_parts.push_back(gate_part("input gate", gate.where, common));
      common.Append(Program::CompileStatements(gate.function, binding_));
      CollectStatements(gate.function, common_reads, common_writes);
    }
    const std::vector<StatementIr> outputs = arcs_out(activity.outputs);
    common_parts.push_back({common.size(), "effect"});
    common.Append(Program::CompileStatements(outputs, binding_));
    CollectStatements(outputs, common_reads, common_writes);
    for (const OutputGateIr& gate : activity.output_gates) {
      common_parts.push_back(gate_part("output gate", gate.where, common));
      common.Append(Program::CompileStatements(gate.function, binding_));
      CollectStatements(gate.function, common_reads, common_writes);
    }

    const int group_id = static_cast<int>(groups.size());
    const std::size_t num_cases = activity.cases.size();
    first_action_.push_back(activities_.size());
    std::unique_ptr<PostselectGroup> group;
    if (num_cases >= 2) {
      group = std::make_unique<PostselectGroup>();
      group->initialize(static_cast<int>(num_cases),
                        (activity.name + "Group").c_str());
    }
    for (std::size_t c = 0; c < std::max<std::size_t>(num_cases, 1); ++c) {
      const std::string name =
          num_cases >= 2 ? activity.name + "_case" + std::to_string(c + 1)
                         : activity.name;
      auto text_activity =
          std::make_unique<TextActivity>(name, group_id, *runtime, *this);
      TextActivity& a = *text_activity;
      Wiring wires{&a, reads, common_writes};
      for (int place : common_reads) AddUnique(wires.reads, place);
      a.effect = Program();
      a.effect.Append(common);
      a.effect_parts = common_parts;
      if (num_cases > 0) {
        const CaseIr& one_case = activity.cases[c];
        if (one_case.probability) {
          a.probability = Program::CompileExpr(*one_case.probability, binding_);
        }
        const std::vector<StatementIr> case_outputs =
            arcs_out(one_case.outputs);
        a.effect_parts.push_back({a.effect.size(), "effect"});
        a.effect.Append(Program::CompileStatements(case_outputs, binding_));
        CollectStatements(case_outputs, wires.reads, wires.writes);
        for (const OutputGateIr& gate : one_case.output_gates) {
          a.effect_parts.push_back(
              gate_part("output gate", gate.where, a.effect));
          a.effect.Append(Program::CompileStatements(gate.function, binding_));
          CollectStatements(gate.function, wires.reads, wires.writes);
        }
      }
      for (int place : wires.writes) {
        a.written.push_back(binding_.marks[static_cast<std::size_t>(place)]);
      }
      // Only arcs with constant counts: net changes per place instead of
      // the program.
      bool gates =
          !activity.input_gates.empty() || !activity.output_gates.empty();
      std::vector<const std::vector<ArcIr>*> arc_lists = {&activity.inputs,
                                                          &activity.outputs};
      if (num_cases > 0) {
        gates = gates || !activity.cases[c].output_gates.empty();
        arc_lists.push_back(&activity.cases[c].outputs);
      }
      std::vector<ConstantArc> changes;
      bool constant = !gates;
      for (std::size_t k = 0; constant && k < arc_lists.size(); ++k) {
        const auto counts = ConstantCounts(*arc_lists[k], k == 0 ? -1 : 1);
        if (!counts) {
          constant = false;
          break;
        }
        for (const ConstantArc& change : *counts) {
          auto same = std::find_if(changes.begin(), changes.end(),
                                   [&change](const ConstantArc& c) {
                                     return c.mark == change.mark;
                                   });
          if (same == changes.end()) {
            changes.push_back(change);
          } else {
            same->count += change.count;
          }
        }
      }
      if (constant) {
        a.simple_effect = true;
        for (const ConstantArc& change : changes) {
          if (change.count != 0) a.changes.push_back(change);
        }
      }
      auto may_be_zero = [](const Program& program) {
        return !program.empty() &&
               (!program.IsConstant() || program.ConstantValue() == 0.0);
      };
      a.weight_may_be_zero =
          activity.kind == ActivityKind::kInstantaneous &&
          (may_be_zero(runtime->weight) || may_be_zero(a.probability));
      a.checks_probabilities = c == 0 && !runtime->probability_checks.empty();
      if (group) group->appendGroup(&a);
      activities.push_back(&a);
      wiring.push_back(std::move(wires));
      activities_.push_back(std::move(text_activity));
    }
    if (group) {
      groups.push_back(group.get());
      groups_.push_back(std::move(group));
    } else {
      groups.push_back(activities.back());
    }
    runtimes_.push_back(std::move(runtime));
  }

  initializeSANModelNow(ir.name.c_str(), static_cast<int>(places.size()),
                        places.data(), 0, nullptr,
                        static_cast<int>(activities.size()), activities.data(),
                        static_cast<int>(groups.size()), groups.data());
  // Every place an activity changes is affected by it; every place its
  // enabling reads enables it.
  for (const Wiring& wires : wiring) {
    for (int place : wires.writes) {
      AddAffectArc(places_[static_cast<std::size_t>(place)].get(),
                   wires.activity);
    }
    for (int place : wires.reads) {
      AddEnableArc(places_[static_cast<std::size_t>(place)].get(),
                   wires.activity);
    }
  }
}

// What a reward variable computes in a state: its rate reward plus, for
// every impulse of an exponential activity, rate x amount while the activity
// is enabled (the long-run rate at which the impulse is earned in that
// state); for an impulse of one case, times that case's share of the case
// probabilities. Impulses of instantaneous activities are added by the
// explorer (TextPVModel::AddFiringImpulses), and so are those of
// deterministic activities, whose firing rates depend on their clocks.
struct RewardRuntime {
  struct Impulse {
    const ActivityRuntime* activity;
    Program amount;
    std::vector<Program> cases;  // every case's probability; empty: whole
    std::size_t case_index = 0;

    double CaseShare() const {
      double total = 0.0;
      for (const Program& p : cases) total += p.Evaluate();
      return cases[case_index].Evaluate() / total;
    }
  };
  Program rate;  // empty: 0
  std::vector<Impulse> impulses;

  // No number (which the explorer refuses) where a program compared or
  // branched on no number: the value it gives then is made up.
  double Value() const {
    constexpr double kNoNumber = std::numeric_limits<double>::quiet_NaN();
    double value = rate.empty() ? 0.0 : rate.Evaluate();
    if (!rate.empty() && rate.ConsumedNan()) return kNoNumber;
    for (const Impulse& impulse : impulses) {
      if (impulse.activity->enabling.Evaluate() == 0.0) continue;
      const double amount =
          impulse.amount.empty() ? 1.0 : impulse.amount.Evaluate();
      if (!impulse.amount.empty() && impulse.amount.ConsumedNan()) {
        return kNoNumber;
      }
      double earned = impulse.activity->timing.Evaluate() * amount;
      if (!impulse.cases.empty()) earned *= impulse.CaseShare();
      value += earned;
    }
    return value;
  }
};

class TextRewardWorker : public SteadyState {
 public:
  explicit TextRewardWorker(const RewardRuntime& runtime) : runtime_(runtime) {
    NumModelPointers = 1;
    ModelPointers.push_back(ModelBinding::To(&model_));
  }
  double Reward_Function() override { return runtime_.Value(); }

 private:
  const RewardRuntime& runtime_;
  SANModel* model_ = nullptr;  // bound by name; the programs read the places
};

class TextRewardNode : public PerformanceVariableNode {
 public:
  TextRewardNode(const std::string& name, const char* model_name,
                 const std::vector<std::string>& places,
                 const RewardRuntime& runtime, int time_index)
      : runtime_(runtime) {
    ModelRef = &TopModel;
    Initialize(name.c_str(), kRewardType, kNumTimePoints, kStartTimes,
               kStopTimes, time_index, 0, 1, static_cast<int>(places.size()));
    TimeType = 1;
    for (const std::string& place : places) {
      AddVariableDependency(place.c_str(), model_name);
    }
  }

  void CreateWorkerList() override {
    for (auto& worker : Workers) {
      worker = std::make_unique<TextRewardWorker>(runtime_);
    }
  }

  BaseModelClass* TopModel = nullptr;  // set through ModelRef

 private:
  const RewardRuntime& runtime_;
};

class TextPVModel : public PVModel {
 public:
  bool SkipsImpossibleFirings() const override { return true; }
  bool EarnsFiringImpulses() const override { return earns_firing_impulses_; }
  void AddFiringImpulses(const BaseActionClass& action, double rate,
                         double* record) override {
    // Every action of the SAN model is a TextActivity.
    const auto& activity = static_cast<const TextActivity&>(action);
    for (const TextActivity::FiringImpulse& impulse :
         activity.firing_impulses) {
      const double amount =
          impulse.amount.empty() ? 1.0 : impulse.amount.Evaluate();
      record[2 * impulse.variable + 1] += rate * amount;
    }
  }
  bool ResolvesVanishingInitialMarking() const override { return true; }

  TextPVModel(const ModelIr& ir, const std::vector<double>& globals,
              const std::vector<short>& initial) {
    // The reward model is built first, as for compiled models, so that the
    // SAN model gets the second model identifier.
    auto san = std::make_unique<TextSAN>(ir, globals, initial);
    TextSAN& model = *san;
    ChildModel = std::move(san);
    DefineName((ir.name + "PV").c_str());
    for (const RewardIr& reward : ir.rewards) {
      auto runtime = std::make_unique<RewardRuntime>();
      std::vector<int> reads;
      if (reward.rate) {
        runtime->rate = Program::CompileExpr(*reward.rate, model.binding());
        CollectPlaces(*reward.rate, reads);
      }
      for (const ImpulseIr& impulse : reward.impulses) {
        const auto index = static_cast<std::size_t>(impulse.activity_index);
        const ActivityIr& source = ir.activities[index];
        if (source.kind != ActivityKind::kExponential) {
          AddFiringImpulse(model, source, index, impulse);
          continue;
        }
        const ActivityRuntime& activity = *model.runtimes()[index];
        RewardRuntime::Impulse term{&activity, Program(), {}, 0};
        if (impulse.amount) {
          term.amount = Program::CompileExpr(*impulse.amount, model.binding());
          CollectPlaces(*impulse.amount, reads);
        }
        for (int place : activity.reads) AddUnique(reads, place);
        if (impulse.case_index >= 0) {
          term.case_index = static_cast<std::size_t>(impulse.case_index);
          for (const CaseIr& c : source.cases) {
            term.cases.push_back(
                c.probability
                    ? Program::CompileExpr(*c.probability, model.binding())
                    : Program::CompileExpr(*IntConstant(1), model.binding()));
            if (c.probability) CollectPlaces(*c.probability, reads);
          }
        }
        if (source.timing) CollectPlaces(*source.timing, reads);
        runtime->impulses.push_back(std::move(term));
      }
      // A reward variable needs one model to depend on to get its worker.
      if (reads.empty()) reads.push_back(0);
      std::vector<std::string> names;
      for (int place : reads) {
        names.push_back(ir.places[static_cast<std::size_t>(place)].name);
      }
      reward_names_.push_back(reward.name);
      reward_places_.push_back(std::move(names));
      rewards_.push_back(std::move(runtime));
    }
    CreatePVList(static_cast<int>(ir.rewards.size()), false);
    Initialize();
  }

  PerformanceVariableNode* createPVNode(int variable, int time_index) override {
    if (variable < 0 || static_cast<std::size_t>(variable) >= rewards_.size()) {
      return nullptr;
    }
    const auto v = static_cast<std::size_t>(variable);
    return new TextRewardNode(reward_names_[v], ChildModel->getName(),
                              reward_places_[v], *rewards_[v], time_index);
  }

 private:
  // Gives the impulse of reward variable rewards_.size() on an
  // instantaneous or deterministic activity to the actions of the cases it
  // names.
  void AddFiringImpulse(TextSAN& model, const ActivityIr& activity,
                        std::size_t index, const ImpulseIr& impulse) {
    Program amount;
    if (impulse.amount) {
      amount = Program::CompileExpr(*impulse.amount, model.binding());
    }
    const std::size_t actions = std::max<std::size_t>(activity.cases.size(), 1);
    for (std::size_t c = 0; c < actions; ++c) {
      if (impulse.case_index >= 0 &&
          c != static_cast<std::size_t>(impulse.case_index)) {
        continue;
      }
      model.Action(index, c).firing_impulses.push_back(
          {rewards_.size(), amount});
    }
    earns_firing_impulses_ = true;
  }

  bool earns_firing_impulses_ = false;
  std::vector<std::unique_ptr<RewardRuntime>> rewards_;
  std::vector<std::string> reward_names_;
  std::vector<std::vector<std::string>> reward_places_;
};

}  // namespace

void SetFiringErrorHandler(FiringErrorHandler handler) {
  firing_error_handler = handler;
}

BuildResult BuildModel(const ModelIr& model,
                       const std::vector<double>& globals) {
  GEN_CHECK(globals.size() == model.globals.size());
  BuildResult result;
  const std::vector<std::int16_t> initial =
      InitialMarkings(model, globals, &result.errors);
  CheckFixedTimings(model, globals, &result.errors);
  if (!result.errors.empty()) return result;
  result.model = std::make_unique<TextPVModel>(model, globals, initial);
  return result;
}
