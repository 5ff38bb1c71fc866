#include "lang/Composition.h"

#include <functional>
#include <map>
#include <utility>

namespace {

ExprPtr CloneOrNull(const ExprPtr& expr) {
  return expr ? Clone(*expr) : nullptr;
}

ArcIr CloneArc(const ArcIr& arc) {
  ArcIr copy;
  copy.place = arc.place;
  copy.multiplicity = CloneOrNull(arc.multiplicity);
  copy.where = arc.where;
  copy.place_index = arc.place_index;
  return copy;
}

std::vector<ArcIr> CloneArcs(const std::vector<ArcIr>& arcs) {
  std::vector<ArcIr> copies;
  for (const ArcIr& arc : arcs) copies.push_back(CloneArc(arc));
  return copies;
}

std::vector<OutputGateIr> CloneOutputGates(
    const std::vector<OutputGateIr>& gates) {
  std::vector<OutputGateIr> copies;
  for (const OutputGateIr& gate : gates) {
    copies.push_back({CloneStatements(gate.function), gate.where});
  }
  return copies;
}

// Renaming inside one replica: place names through `places`, the replica
// number's name to its value.
struct Renaming {
  std::map<std::string, std::string> places;
  std::string index_name;
  int replica = 1;

  std::string Place(const std::string& name) const {
    const auto it = places.find(name);
    return it == places.end() ? name : it->second;
  }

  void Apply(ExprPtr& expr) const {
    if (!expr) return;
    if (expr->kind == ExprKind::kName && !index_name.empty() &&
        expr->name == index_name) {
      const SourceLocation where = expr->where;
      expr = IntConstant(replica, where);
      return;
    }
    if (expr->kind == ExprKind::kName) expr->name = Place(expr->name);
    for (ExprPtr& arg : expr->args) Apply(arg);
  }

  void Apply(std::vector<StatementIr>& statements) const {
    for (StatementIr& statement : statements) {
      statement.place = Place(statement.place);
      Apply(statement.value);
      Apply(statement.condition);
      Apply(statement.then_body);
      Apply(statement.else_body);
    }
  }

  void Apply(std::vector<ArcIr>& arcs) const {
    for (ArcIr& arc : arcs) {
      arc.place = Place(arc.place);
      Apply(arc.multiplicity);
    }
  }

  void Apply(ActivityIr& activity) const {
    Apply(activity.timing);
    Apply(activity.rank);
    Apply(activity.weight);
    Apply(activity.inputs);
    Apply(activity.outputs);
    for (InputGateIr& gate : activity.input_gates) {
      Apply(gate.predicate);
      Apply(gate.function);
    }
    for (OutputGateIr& gate : activity.output_gates) Apply(gate.function);
    for (CaseIr& one_case : activity.cases) {
      Apply(one_case.probability);
      Apply(one_case.outputs);
      for (OutputGateIr& gate : one_case.output_gates) Apply(gate.function);
    }
  }
};

std::string Where(const SourceLocation& where) {
  if (where.line == 0) return where.origin;
  return where.origin + ':' + std::to_string(where.line) + ':' +
         std::to_string(where.column);
}

std::string BoundsText(const PlaceIr& place) {
  if (!place.bounds) return "none";
  return "[" + std::to_string(place.bounds->first) + ", " +
         std::to_string(place.bounds->second) + "]";
}

}  // namespace

std::vector<StatementIr> CloneStatements(
    const std::vector<StatementIr>& statements) {
  std::vector<StatementIr> copies;
  for (const StatementIr& statement : statements) {
    StatementIr copy;
    copy.kind = statement.kind;
    copy.place = statement.place;
    copy.value = CloneOrNull(statement.value);
    copy.condition = CloneOrNull(statement.condition);
    copy.then_body = CloneStatements(statement.then_body);
    copy.else_body = CloneStatements(statement.else_body);
    copy.where = statement.where;
    copy.place_index = statement.place_index;
    copies.push_back(std::move(copy));
  }
  return copies;
}

PlaceIr ClonePlace(const PlaceIr& place) {
  PlaceIr copy;
  copy.name = place.name;
  copy.initial = CloneOrNull(place.initial);
  copy.bounds = place.bounds;
  copy.value_offset = place.value_offset;
  copy.where = place.where;
  return copy;
}

ActivityIr CloneActivity(const ActivityIr& activity) {
  ActivityIr copy;
  copy.name = activity.name;
  copy.kind = activity.kind;
  copy.timing = CloneOrNull(activity.timing);
  copy.rank = CloneOrNull(activity.rank);
  copy.weight = CloneOrNull(activity.weight);
  copy.inputs = CloneArcs(activity.inputs);
  for (const InputGateIr& gate : activity.input_gates) {
    copy.input_gates.push_back({CloneOrNull(gate.predicate),
                                CloneStatements(gate.function), gate.where});
  }
  copy.outputs = CloneArcs(activity.outputs);
  copy.output_gates = CloneOutputGates(activity.output_gates);
  for (const CaseIr& one_case : activity.cases) {
    copy.cases.push_back(
        {CloneOrNull(one_case.probability), CloneArcs(one_case.outputs),
         CloneOutputGates(one_case.output_gates), one_case.where});
  }
  for (const ProbabilityCheckIr& check : activity.probability_checks) {
    ProbabilityCheckIr checked{check.of, {}, check.add_up_to_one};
    for (const ExprPtr& probability : check.probabilities) {
      checked.probabilities.push_back(Clone(*probability));
    }
    copy.probability_checks.push_back(std::move(checked));
  }
  copy.where = activity.where;
  copy.written_at = activity.written_at;
  return copy;
}

void Composer::Add(PlaceIr place, bool from_instance) {
  const int existing = FindByName(model_.places, place.name);
  const bool shared =
      existing >= 0 && (from_instance || instance_places_.count(place.name));
  if (from_instance) instance_places_.insert(place.name);
  if (!shared) {
    model_.places.push_back(std::move(place));
    return;
  }
  const PlaceIr& first = model_.places[static_cast<std::size_t>(existing)];
  const std::string initial_first =
      first.initial ? ExprToString(*first.initial) : "0";
  const std::string initial_here =
      place.initial ? ExprToString(*place.initial) : "0";
  if (initial_first != initial_here) {
    errors_.push_back(
        {place.where,
         "place '" + place.name +
             "' is shared with different initial markings: " + initial_here +
             " here, " + initial_first + " at " + Where(first.where)});
  } else if (first.bounds != place.bounds) {
    errors_.push_back(
        {place.where,
         "place '" + place.name +
             "' is shared with different bounds: " + BoundsText(place) +
             " here, " + BoundsText(first) + " at " + Where(first.where)});
  }
}

void Composer::Instance(const SubmodelIr& submodel, int replica, bool rename,
                        const std::set<std::string>& shared) {
  Renaming renaming;
  renaming.index_name = submodel.index_name;
  renaming.replica = replica;
  const std::string suffix = "_" + std::to_string(replica);
  if (rename) {
    for (const PlaceIr& place : submodel.places) {
      if (!shared.count(place.name)) {
        renaming.places[place.name] = place.name + suffix;
      }
    }
  }
  for (const PlaceIr& place : submodel.places) {
    PlaceIr copy = ClonePlace(place);
    copy.name = renaming.Place(place.name);
    renaming.Apply(copy.initial);
    Add(std::move(copy), true);
  }
  for (const ActivityIr& activity : submodel.activities) {
    ActivityIr copy = CloneActivity(activity);
    if (rename) copy.name += suffix;
    renaming.Apply(copy);
    model_.activities.push_back(std::move(copy));
  }
}

void Composer::Join(const SubmodelIr& submodel) {
  Instance(submodel, 1, false, {});
}

void Composer::Replicate(const SubmodelIr& submodel, int count,
                         const std::vector<std::string>& shared,
                         const SourceLocation& where) {
  std::set<std::string> shared_set;
  for (const std::string& name : shared) {
    if (FindByName(submodel.places, name) < 0) {
      errors_.push_back({where, "'" + name + "' is not a place of submodel '" +
                                    submodel.name + "'"});
    }
    shared_set.insert(name);
  }
  for (int k = 1; k <= count; ++k) Instance(submodel, k, true, shared_set);
}
