#include <utility>

#include "jani/JaniImporter.h"

namespace jani {

void JaniImporter::BuildTransitions() {
  for (const auto& instance : instances_) {
    for (const Edge& edge : instance->edges) {
      if (edge.action.empty()) {
        AddTransition({{instance.get(), &edge}}, edge.label, edge.path);
      }
      if (Failed()) return;
    }
  }
  const Json* syncs = Member(root_["system"], "syncs", "$.system", false);
  if (syncs == nullptr) return;
  for (std::size_t s = 0; !Failed() && s < syncs->size(); ++s) {
    const std::string path = "$.system.syncs[" + std::to_string(s) + "]";
    const Json* vector = Member((*syncs)[s], "synchronise", path, true);
    if (vector == nullptr) return;
    if (!vector->is_array() || vector->size() != instances_.size()) {
      Error(path + ".synchronise", "needs one entry per system element (" +
                                       std::to_string(instances_.size()) + ")");
      return;
    }
    for (std::size_t i = 0; i < vector->size(); ++i) {
      if (!(*vector)[i].is_null() &&
          !IsDeclaredAction((*vector)[i],
                            path + ".synchronise[" + std::to_string(i) + "]")) {
        return;
      }
    }
    // A null result is the silent action, as an absent one.
    const Json& result = MemberOrNull((*syncs)[s], "result");
    if (!result.is_null() && !IsDeclaredAction(result, path + ".result")) {
      return;
    }
    // The edges of each participant labelled with its action.
    std::vector<std::vector<Part>> choices;
    std::string label;
    for (std::size_t i = 0; i < vector->size(); ++i) {
      const Json& action = (*vector)[i];
      if (action.is_null()) continue;
      std::vector<Part> options;
      for (const Edge& edge : instances_[i]->edges) {
        if (edge.action == action.get<std::string>()) {
          options.push_back({instances_[i].get(), &edge});
        }
      }
      if (options.empty()) break;  // this vector never fires
      choices.push_back(std::move(options));
      label += (label.empty() ? "" : "|") + action.get<std::string>();
    }
    std::size_t participants = 0;
    for (const Json& action : *vector) participants += action.is_null() ? 0 : 1;
    if (choices.size() != participants || participants == 0) continue;
    std::vector<std::size_t> pick(choices.size(), 0);
    while (!Failed()) {
      std::vector<Part> parts;
      std::string name = label + "[";
      for (std::size_t k = 0; k < choices.size(); ++k) {
        parts.push_back(choices[k][pick[k]]);
        name += (k == 0 ? "" : ",") + parts.back().edge->label;
      }
      AddTransition(parts, name + "]", path);
      std::size_t k = 0;
      while (k < pick.size() && ++pick[k] == choices[k].size()) pick[k++] = 0;
      if (k == pick.size()) break;
    }
  }
}

void JaniImporter::AddTransition(const std::vector<Part>& parts,
                                 const std::string& label,
                                 const std::string& path) {
  const SourceLocation where = At(parts.front().edge->path);
  ExprPtr enabled;
  ExprPtr rate;
  bool immediate = false;
  for (std::size_t k = 0; k < parts.size(); ++k) {
    const Part& part = parts[k];
    const Edge& edge = *part.edge;
    Scope scope;
    scope.instance = part.instance;
    if (k == 0) {
      immediate = !edge.has_rate;
    } else if (immediate != !edge.has_rate) {
      Error(path, "'" + label + "' synchronises Markovian and immediate edges");
      return;
    }
    std::vector<ExprPtr> terms;
    if (!part.instance->location_place.empty()) {
      terms.push_back(Bin(Op::kEqual,
                          NameRef(part.instance->location_place, where),
                          IntConstant(edge.source, where), where));
    }
    if (const Json* guard = Member(*edge.json, "guard", edge.path, false)) {
      const Json* exp = Member(*guard, "exp", edge.path + ".guard", true);
      if (exp == nullptr) return;
      ExprPtr test = Translate(*exp, edge.path + ".guard.exp", scope);
      if (!test) return;
      terms.push_back(std::move(test));
    }
    for (ExprPtr& term : terms) {
      enabled = enabled
                    ? Bin(Op::kAnd, std::move(enabled), std::move(term), where)
                    : std::move(term);
    }
    if (edge.has_rate) {
      const Json* exp =
          Member((*edge.json)["rate"], "exp", edge.path + ".rate", true);
      if (exp == nullptr) return;
      ExprPtr value = Translate(*exp, edge.path + ".rate.exp", scope);
      if (!value) return;
      rate = rate ? Bin(Op::kMultiply, std::move(rate), std::move(value), where)
                  : std::move(value);
    }
  }
  // Destination combinations: one index per participant.
  std::vector<const Json*> destinations;
  for (const Part& part : parts) {
    const Json* list =
        Member(*part.edge->json, "destinations", part.edge->path, true);
    if (list == nullptr) return;
    if (!list->is_array() || list->empty()) {
      Error(part.edge->path + ".destinations", "an edge needs a destination");
      return;
    }
    destinations.push_back(list);
  }
  ActivityIr instant;
  if (immediate) {
    instant.name = label;
    instant.kind = ActivityKind::kInstantaneous;
    instant.where = where;
    // The destinations of each immediate edge are a distribution, while the
    // cases below are weighed against each other: a file's total other than
    // 1 would be scaled silently.
    for (std::size_t k = 0; k < parts.size(); ++k) {
      const Edge& edge = *parts[k].edge;
      if (destinations[k]->size() == 1 &&
          MemberOrNull((*destinations[k])[0], "probability").is_null()) {
        continue;
      }
      Scope scope;
      scope.instance = parts[k].instance;
      ProbabilityCheckIr check;
      check.of = file_ + ": " + edge.path;
      check.add_up_to_one = true;
      for (std::size_t d = 0; d < destinations[k]->size(); ++d) {
        const std::string dpath =
            edge.path + ".destinations[" + std::to_string(d) + "]";
        const Json& p = MemberOrNull((*destinations[k])[d], "probability");
        if (p.is_null()) {
          check.probabilities.push_back(RealConstant(1.0, where));
          continue;
        }
        const Json* exp = Member(p, "exp", dpath + ".probability", true);
        if (exp == nullptr) return;
        ExprPtr value = Translate(*exp, dpath + ".probability.exp", scope);
        if (!value) return;
        check.probabilities.push_back(std::move(value));
      }
      instant.probability_checks.push_back(std::move(check));
    }
  }
  // Per destination combination of an immediate transition: the transient
  // variables it assigns, earned as the impulses of its case.
  std::vector<std::map<std::string, ExprPtr>> instant_impulses;
  std::vector<std::size_t> pick(parts.size(), 0);
  std::size_t combination = 0;
  bool several = false;
  for (const Json* list : destinations) several = several || list->size() > 1;
  while (true) {
    ExprPtr probability;
    // A rate's factors that are probabilities, each checked on its own so
    // that a bad one is named rather than the product as a rate.
    std::vector<ProbabilityCheckIr> checks;
    std::vector<Write> writes;
    std::map<std::string, ExprPtr> transient_sets;
    for (std::size_t k = 0; k < parts.size(); ++k) {
      const Instance& instance = *parts[k].instance;
      const Json& destination = (*destinations[k])[pick[k]];
      const std::string dpath = parts[k].edge->path + ".destinations[" +
                                std::to_string(pick[k]) + "]";
      Scope scope;
      scope.instance = &instance;
      if (const Json* p = Member(destination, "probability", dpath, false)) {
        const Json* exp = Member(*p, "exp", dpath + ".probability", true);
        if (exp == nullptr) return;
        ExprPtr value = Translate(*exp, dpath + ".probability.exp", scope);
        if (!value) return;
        if (!immediate) {
          ProbabilityCheckIr check;
          check.of = file_ + ": " + dpath;
          check.probabilities.push_back(Clone(*value));
          checks.push_back(std::move(check));
        }
        probability = probability ? Bin(Op::kMultiply, std::move(probability),
                                        std::move(value), where)
                                  : std::move(value);
      }
      const std::optional<std::string> target =
          StringMember(destination, "location", dpath);
      if (!target) return;
      std::size_t l = 0;
      while (l < instance.locations.size() &&
             instance.locations[l] != *target) {
        ++l;
      }
      if (l == instance.locations.size()) {
        Error(dpath + ".location", "no location named '" + *target + "'");
        return;
      }
      if (!instance.location_place.empty()) {
        Write write;
        write.place = instance.location_place;
        write.value = IntConstant(static_cast<long long>(l), where);
        write.path = dpath + ".location";
        writes.push_back(std::move(write));
      }
      const Json* assignments =
          Member(destination, "assignments", dpath, false);
      for (std::size_t a = 0; assignments != nullptr && a < assignments->size();
           ++a) {
        const Json& assignment = (*assignments)[a];
        const std::string apath =
            dpath + ".assignments[" + std::to_string(a) + "]";
        if (assignment.contains("index") && assignment["index"] != 0) {
          Error(apath + ".index",
                "assignment indices other than 0 are not "
                "supported");
          return;
        }
        const std::optional<std::string> ref =
            StringMember(assignment, "ref", apath);
        const Json* value_json = Member(assignment, "value", apath, true);
        if (!ref || value_json == nullptr) return;
        const Variable* variable = FindVariable(*ref, &instance);
        if (variable == nullptr) {
          Error(apath + ".ref", "unknown variable '" + *ref + "'");
          return;
        }
        ExprPtr value = Translate(*value_json, apath + ".value", scope);
        if (!value) return;
        if (variable->transient) {
          if (transient_sets.count(variable->key) != 0) {
            Error(apath, "'" + label + "' assigns '" + *ref + "' twice");
            return;
          }
          transient_sets[variable->key] = std::move(value);
          continue;
        }
        for (const Write& earlier : writes) {
          if (earlier.place == variable->place) {
            Error(apath, "'" + label + "' assigns '" + *ref + "' twice");
            return;
          }
        }
        const SourceLocation at = At(apath);
        if (variable->is_bool) {
          value = Condition(std::move(value), IntConstant(1, at),
                            IntConstant(0, at), at);
        } else if (variable->lower != 0) {
          value = Bin(Op::kSubtract, std::move(value),
                      IntConstant(variable->lower, at), at);
        }
        Write write;
        write.place = variable->place;
        write.value = std::move(value);
        write.path = apath;
        writes.push_back(std::move(write));
      }
    }
    // Every assignment of the transition, in every participant, reads the
    // state before any of them writes: one simultaneous step.
    std::vector<StatementIr> statements;
    if (!writes.empty()) {
      StatementIr step;
      step.kind = StatementIr::Kind::kSimultaneous;
      step.where = At(writes.front().path);
      for (Write& write : writes) {
        StatementIr statement;
        statement.kind = StatementIr::Kind::kAssign;
        statement.place = write.place;
        statement.value = std::move(write.value);
        statement.where = At(write.path);
        step.then_body.push_back(std::move(statement));
      }
      if (step.then_body.size() == 1) {
        statements.push_back(std::move(step.then_body.front()));
      } else {
        statements.push_back(std::move(step));
      }
    }
    const std::string suffix =
        several ? "#" + std::to_string(combination) : std::string();
    if (immediate) {
      instant_impulses.push_back(std::move(transient_sets));
      CaseIr one_case;
      one_case.probability =
          probability ? std::move(probability) : RealConstant(1.0, where);
      OutputGateIr gate;
      gate.function = std::move(statements);
      gate.where = where;
      one_case.output_gates.push_back(std::move(gate));
      one_case.where = where;
      instant.cases.push_back(std::move(one_case));
    } else {
      ActivityIr activity;
      activity.name = label + suffix;
      activity.kind = ActivityKind::kExponential;
      activity.where = where;
      activity.timing = Clone(*rate);
      if (probability) {
        activity.timing = Bin(Op::kMultiply, std::move(activity.timing),
                              std::move(probability), where);
      }
      if (enabled) {
        InputGateIr gate;
        gate.predicate = Clone(*enabled);
        gate.where = where;
        activity.input_gates.push_back(std::move(gate));
      }
      if (!statements.empty()) {
        OutputGateIr gate;
        gate.function = std::move(statements);
        gate.where = where;
        activity.output_gates.push_back(std::move(gate));
      }
      activity.probability_checks = std::move(checks);
      impulse_activities_.push_back(activity.name);
      impulses_.push_back(std::move(transient_sets));
      result_.model.activities.push_back(std::move(activity));
    }
    ++combination;
    std::size_t k = 0;
    while (k < pick.size() && ++pick[k] == destinations[k]->size())
      pick[k++] = 0;
    if (k == pick.size()) break;
  }
  if (immediate) {
    if (enabled) {
      InputGateIr gate;
      gate.predicate = Clone(*enabled);
      gate.where = where;
      instant.input_gates.push_back(std::move(gate));
    }
    if (instant.cases.size() == 1) {
      // The lone destination's probability becomes the weight, so that
      // where it is 0 the edge is not enabled.
      instant.weight = std::move(instant.cases[0].probability);
      instant.output_gates = std::move(instant.cases[0].output_gates);
      instant.cases.clear();
    }
    // A case's impulse names it as the run does: <activity>_case<k>.
    for (std::size_t c = 0; c < instant_impulses.size(); ++c) {
      if (instant_impulses[c].empty()) continue;
      impulse_activities_.push_back(
          instant.cases.empty() ? label
                                : label + "_case" + std::to_string(c + 1));
      impulses_.push_back(std::move(instant_impulses[c]));
    }
    immediate_choices_.emplace_back(
        label, enabled ? std::move(enabled) : BoolConstant(true, where));
    result_.model.activities.push_back(std::move(instant));
  }
}

// Two immediate choices enabled in one state are a real nondeterministic
// choice that the model does not weigh. For each pair, an instantaneous
// activity of a higher rank fires exactly then and writes a place out of
// its range, which stops generation with the state and the two edges.
void JaniImporter::AddNondeterminismChecks() {
  if (immediate_choices_.size() < 2) return;
  const SourceLocation where = At("$.system");
  PlaceIr guard;
  guard.name = "nondeterminism";
  guard.initial = IntConstant(0, where);
  guard.bounds = std::make_pair(0, 0);
  guard.where = where;
  result_.model.places.push_back(std::move(guard));
  for (std::size_t a = 0; a < immediate_choices_.size(); ++a) {
    for (std::size_t b = a + 1; b < immediate_choices_.size(); ++b) {
      ActivityIr check;
      check.name = "nondeterministic choice between " +
                   immediate_choices_[a].first + " and " +
                   immediate_choices_[b].first;
      check.kind = ActivityKind::kInstantaneous;
      check.rank = IntConstant(2, where);
      check.where = where;
      InputGateIr gate;
      gate.predicate = Bin(Op::kAnd, Clone(*immediate_choices_[a].second),
                           Clone(*immediate_choices_[b].second), where);
      check.input_gates.push_back(std::move(gate));
      OutputGateIr out;
      StatementIr write;
      write.kind = StatementIr::Kind::kAssign;
      write.place = "nondeterminism";
      write.value = IntConstant(1, where);
      write.where = where;
      out.function.push_back(std::move(write));
      check.output_gates.push_back(std::move(out));
      result_.model.activities.push_back(std::move(check));
    }
  }
}

}  // namespace jani
