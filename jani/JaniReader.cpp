#include "jani/JaniReader.h"

#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <utility>
#include <vector>

#include "lang/Checker.h"
#include "peer/ConstantValue.h"
#include "peer/RewardNames.h"

namespace {

using Json = nlohmann::json;

// The member `key` of `json`, or null when `json` is not an object or has
// no such member. A hostile file can put any value anywhere, and the
// library's value() throws on a non-object or a member of another type.
const Json& MemberOrNull(const Json& json, const char* key) {
  static const Json kNull;
  if (!json.is_object()) return kNull;
  const auto member = json.find(key);
  return member == json.end() ? kNull : *member;
}

// The string member `key` of `json`, or `fallback` when it has none.
std::string TextOr(const Json& json, const char* key,
                   const std::string& fallback) {
  const Json& member = MemberOrNull(json, key);
  return member.is_string() ? member.get<std::string>() : fallback;
}

constexpr int kMaxCallDepth = 64;
// Deeper expressions are refused rather than risking the stack.
constexpr int kMaxNesting = 500;

// A variable of the model. State variables live in a place (bounded ints
// shifted by their lower bound, bools as 0/1); transient ones have no place.
struct Variable {
  std::string name;
  std::string place;  // state variables
  bool transient = false;
  bool is_bool = false;
  ValueType type = ValueType::kInt;
  long long lower = 0;
  std::optional<long long> upper;
  ConstantValue initial;
  std::string key;  // unique among all variables (locals carry a prefix)
};

struct Function {
  const Json* body = nullptr;
  std::vector<std::string> parameters;
  std::string path;
  bool is_bool = false;
};

struct Edge {
  const Json* json = nullptr;
  std::string path;
  std::string label;  // for activity names: "Cell1.e3"
  int source = 0;
  std::string action;  // empty: silent
  bool has_rate = false;
};

struct Instance {
  std::string name;  // automaton name, "[k]" added for repeats
  std::string path;  // "$.automata[i]"
  const Json* automaton = nullptr;
  std::string location_place;  // empty with a single location
  std::vector<std::string> locations;
  std::vector<const Json*> location_json;
  int initial_location = 0;
  std::map<std::string, Variable> locals;
  std::map<std::string, Function> functions;
  std::vector<Edge> edges;
};

// Substitutions active while translating an expression.
struct Scope {
  const Instance* instance = nullptr;
  const std::map<std::string, const Expr*>* parameters = nullptr;
  // Transient variables' values on a transition (assigned or initial)
  // instead of their values in the state.
  const std::map<std::string, const Expr*>* transient_values = nullptr;
  bool constants_only = false;
  bool state_only = false;  // location values read no transient variable
  int depth = 0;
};

struct Part {
  const Instance* instance;
  const Edge* edge;
};

// A state assignment of a transition, in the order the statements must run.
struct Write {
  std::string place;
  ExprPtr value;
  std::set<std::string> reads;
  std::string path;
};

class JaniImporter {
 public:
  JaniImporter(const std::string& file_name, const ImportOptions& options)
      : file_(file_name), options_(options) {}

  ImportedModel Run(const std::string& text);

 private:
  bool Failed() const { return !result_.errors.empty(); }
  SourceLocation At(const std::string& path) const {
    return {file_ + ": " + path, 0, 0};
  }
  void Error(const std::string& path, const std::string& message) {
    if (!Failed()) result_.errors.push_back({At(path), message});
  }

  const Json* Member(const Json& object, const char* key,
                     const std::string& path, bool required);
  std::optional<std::string> StringMember(const Json& object, const char* key,
                                          const std::string& path);

  void ReadConstants();
  std::optional<ConstantValue> Constant(const Json& json,
                                        const std::string& path);
  std::optional<Variable> ReadVariable(const Json& json,
                                       const std::string& path,
                                       const std::string& prefix);
  void ReadFunctions(const Json* list, const std::string& path,
                     std::map<std::string, Function>* into);
  void ReadInstances();
  void ReadEdges(Instance& instance);
  void BuildTransitions();
  void AddTransition(const std::vector<Part>& parts, const std::string& label,
                     const std::string& path);
  void AddNondeterminismChecks();
  void ReadProperties();
  std::optional<std::string> RewardVariable(const Json& expression,
                                            const std::string& path,
                                            const std::string& name,
                                            bool indicator);

  ExprPtr Translate(const Json& json, const std::string& path,
                    const Scope& scope);
  ExprPtr TranslateName(const std::string& name, const std::string& path,
                        const Scope& scope);
  ExprPtr TranslateOp(const Json& json, const std::string& path,
                      const Scope& scope);
  ExprPtr StateRead(const Variable& variable, const std::string& path);
  ExprPtr InStateTransient(const Variable& variable, const std::string& path);
  const Variable* FindVariable(const std::string& name,
                               const Instance* instance) const;
  bool IsBool(const Json& json) const;

  std::string file_;
  const ImportOptions& options_;
  Json root_;
  bool markov_automaton_ = false;
  ImportedModel result_;
  std::map<std::string, ConstantValue> constants_;
  std::map<std::string, Variable> globals_;
  std::map<std::string, Function> functions_;
  std::vector<std::unique_ptr<Instance>> instances_;
  std::set<std::string> transients_read_;
  // Per exponential activity: the transient variables it assigns, with their
  // values (translated in the source state).
  std::vector<std::map<std::string, ExprPtr>> impulses_;
  std::vector<std::string> impulse_activities_;
  std::set<std::string> instantaneous_impulse_keys_;
  // Per instantaneous activity: its name and enabling condition.
  std::vector<std::pair<std::string, ExprPtr>> immediate_choices_;
  RewardNames reward_names_;
  int nesting_ = 0;
};

std::string Dump(const Json& json) {
  std::string text = json.dump();
  if (text.size() > 60) text = text.substr(0, 57) + "...";
  return text;
}

const Json* JaniImporter::Member(const Json& object, const char* key,
                                 const std::string& path, bool required) {
  if (!object.is_object()) {
    Error(path, "expected an object, found " + Dump(object));
    return nullptr;
  }
  const auto found = object.find(key);
  if (found == object.end()) {
    if (required) Error(path, std::string("missing \"") + key + "\"");
    return nullptr;
  }
  return &*found;
}

std::optional<std::string> JaniImporter::StringMember(const Json& object,
                                                      const char* key,
                                                      const std::string& path) {
  const Json* member = Member(object, key, path, true);
  if (member == nullptr) return std::nullopt;
  if (!member->is_string()) {
    Error(path + "." + key, "expected a string, found " + Dump(*member));
    return std::nullopt;
  }
  return member->get<std::string>();
}

ExprPtr Bin(Op op, ExprPtr a, ExprPtr b, const SourceLocation& where) {
  return Binary(op, std::move(a), std::move(b), where);
}

ImportedModel JaniImporter::Run(const std::string& text) {
  std::size_t start = 0;
  if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) start = 3;
  root_ = Json::parse(text.begin() + static_cast<std::ptrdiff_t>(start),
                      text.end(), nullptr, false);
  if (root_.is_discarded()) {
    Error("$", "not valid JSON");
    return std::move(result_);
  }
  if (!root_.is_object()) {
    Error("$", "a JANI model must be a JSON object");
    return std::move(result_);
  }
  const std::optional<std::string> type = StringMember(root_, "type", "$");
  if (!type) return std::move(result_);
  if (*type != "ctmc" && *type != "ma") {
    Error("$.type", "model type \"" + *type +
                        "\" is not supported (only \"ctmc\" and \"ma\")");
    return std::move(result_);
  }
  markov_automaton_ = *type == "ma";
  const std::optional<std::string> name = StringMember(root_, "name", "$");
  if (!name) return std::move(result_);
  result_.model.name = *name;
  result_.model.where = At("$");
  if (const Json* features = Member(root_, "features", "$", false)) {
    for (std::size_t i = 0; features->is_array() && i < features->size(); ++i) {
      const Json& feature = (*features)[i];
      const std::string f =
          feature.is_string() ? feature.get<std::string>() : "";
      if (f != "derived-operators" && f != "functions" &&
          f.rfind("x-", 0) != 0) {
        Error("$.features[" + std::to_string(i) + "]",
              "feature " + Dump(feature) + " is not supported");
      }
    }
  }
  ReadConstants();
  if (const Json* variables = Member(root_, "variables", "$", false)) {
    for (std::size_t i = 0; !Failed() && i < variables->size(); ++i) {
      std::optional<Variable> variable = ReadVariable(
          (*variables)[i], "$.variables[" + std::to_string(i) + "]", "");
      if (variable) globals_[variable->name] = *variable;
    }
  }
  if (!Failed())
    ReadFunctions(Member(root_, "functions", "$", false), "$.functions",
                  &functions_);
  if (!Failed()) ReadInstances();
  if (!Failed()) {
    if (const Json* restrict = Member(root_, "restrict-initial", "$", false)) {
      const Json* exp = Member(*restrict, "exp", "$.restrict-initial", true);
      if (exp != nullptr && !(exp->is_boolean() && exp->get<bool>())) {
        Error("$.restrict-initial.exp",
              "only \"restrict-initial\" true is supported: every variable "
              "needs its initial value");
      }
    }
  }
  if (!Failed()) BuildTransitions();
  if (!Failed() && markov_automaton_) AddNondeterminismChecks();
  if (!Failed()) ReadProperties();
  if (Failed()) return std::move(result_);
  if (result_.model.places.empty()) {
    // The generator needs a state: a model of one location and no
    // variables gets a constant place.
    PlaceIr place;
    place.name = "_";
    place.initial = IntConstant(0);
    place.where = At("$");
    result_.model.places.push_back(std::move(place));
  }
  result_.errors = CheckModel(result_.model);
  return std::move(result_);
}

void JaniImporter::ReadConstants() {
  const Json* list = Member(root_, "constants", "$", false);
  if (list == nullptr) return;
  if (!list->is_array()) {
    Error("$.constants", "expected an array");
    return;
  }
  for (std::size_t i = 0; !Failed() && i < list->size(); ++i) {
    const std::string path = "$.constants[" + std::to_string(i) + "]";
    const Json& constant = (*list)[i];
    const std::optional<std::string> name =
        StringMember(constant, "name", path);
    const Json* type = Member(constant, "type", path, true);
    if (!name || type == nullptr) return;
    ValueType value_type = ValueType::kReal;
    const std::string type_name = type->is_string() ? type->get<std::string>()
                                  : type->is_object() && type->contains("base")
                                      ? (*type)["base"].dump()
                                      : "";
    if (type_name == "bool") {
      value_type = ValueType::kBool;
    } else if (type_name == "int" || type_name == "\"int\"") {
      value_type = ValueType::kInt;
    } else if (type_name != "real" && type_name != "\"real\"") {
      Error(path + ".type", "unsupported constant type " + Dump(*type));
      return;
    }
    std::optional<ConstantValue> value;
    const auto given = options_.constants.find(*name);
    if (const Json* json = Member(constant, "value", path, false)) {
      if (given != options_.constants.end()) {
        Error(path, "constant '" + *name +
                        "' has a value in the model; --const cannot set it");
        return;
      }
      value = Constant(*json, path + ".value");
    } else if (given == options_.constants.end()) {
      Error(path, "constant '" + *name +
                      "' has no value: give one with --const " + *name +
                      "=VALUE");
      return;
    } else {
      value = ParseConstantText(given->second, value_type);
      if (!value) {
        Error(path, "--const " + *name + "=" + given->second + " is not " +
                        (value_type == ValueType::kBool  ? "true or false"
                         : value_type == ValueType::kInt ? "a whole number"
                                                         : "a number"));
        return;
      }
    }
    if (!value) return;
    if ((value_type == ValueType::kBool) != (value->type == ValueType::kBool) ||
        (value_type == ValueType::kInt && value->type != ValueType::kInt)) {
      Error(path + ".value", "the value of '" + *name + "' is not of type " +
                                 ValueTypeName(value_type));
      return;
    }
    value->type = value_type;
    constants_[*name] = *value;
  }
  for (const auto& [name, value] : options_.constants) {
    if (!Failed() && constants_.count(name) == 0) {
      Error("$.constants",
            "--const " + name + ": the model has no constant '" + name + "'");
    }
  }
}

std::optional<ConstantValue> JaniImporter::Constant(const Json& json,
                                                    const std::string& path) {
  Scope scope;
  scope.constants_only = true;
  const ExprPtr expr = Translate(json, path, scope);
  if (!expr) return std::nullopt;
  std::string error;
  std::optional<ConstantValue> value = EvaluateConstant(
      *expr, [](const std::string&) { return std::nullopt; }, &error);
  if (!value) Error(path, error);
  return value;
}

std::optional<Variable> JaniImporter::ReadVariable(const Json& json,
                                                   const std::string& path,
                                                   const std::string& prefix) {
  Variable variable;
  const std::optional<std::string> name = StringMember(json, "name", path);
  const Json* type = Member(json, "type", path, true);
  if (!name || type == nullptr) return std::nullopt;
  variable.name = *name;
  variable.key = prefix + *name;
  if (const Json* transient = Member(json, "transient", path, false)) {
    variable.transient = transient->is_boolean() && transient->get<bool>();
  }
  std::string base;
  if (type->is_string()) {
    base = type->get<std::string>();
  } else if (TextOr(*type, "kind", "") == "bounded") {
    base = TextOr(*type, "base", "");
    for (const char* bound : {"lower-bound", "upper-bound"}) {
      const Json* limit = Member(*type, bound, path + ".type", false);
      if (limit == nullptr) continue;
      std::optional<ConstantValue> value =
          Constant(*limit, path + ".type." + bound);
      if (!value) return std::nullopt;
      if (base == "int" && value->type != ValueType::kInt) {
        Error(path + ".type." + bound, "an int bound must be a whole number");
        return std::nullopt;
      }
      if (bound[0] == 'l') {
        variable.lower = static_cast<long long>(value->value);
      } else {
        variable.upper = static_cast<long long>(value->value);
      }
    }
  }
  if (base == "bool") {
    variable.is_bool = true;
    variable.type = ValueType::kBool;
    variable.upper = 1;
  } else if (base == "int") {
    variable.type = ValueType::kInt;
  } else if (base == "real") {
    variable.type = ValueType::kReal;
    if (!variable.transient) {
      Error(path + ".type", "real state variable '" + *name +
                                "' is not supported (only transient reals)");
      return std::nullopt;
    }
  } else {
    Error(path + ".type", "unsupported variable type " + Dump(*type));
    return std::nullopt;
  }
  if (variable.upper && *variable.upper < variable.lower) {
    Error(path + ".type", "empty range " + std::to_string(variable.lower) +
                              ".." + std::to_string(*variable.upper));
    return std::nullopt;
  }
  if (variable.upper && *variable.upper - variable.lower > 32767) {
    Error(path + ".type",
          "range of '" + *name + "' wider than the 32768 values a place holds");
    return std::nullopt;
  }
  const Json* initial = Member(json, "initial-value", path, false);
  if (initial == nullptr) {
    Error(path, "variable '" + *name +
                    "' needs an \"initial-value\" (one initial state)");
    return std::nullopt;
  }
  std::optional<ConstantValue> value =
      Constant(*initial, path + ".initial-value");
  if (!value) return std::nullopt;
  if ((value->type == ValueType::kBool) != variable.is_bool ||
      (variable.type == ValueType::kInt && value->type == ValueType::kReal)) {
    Error(path + ".initial-value",
          "initial value of '" + *name + "' is not of its type");
    return std::nullopt;
  }
  variable.initial = *value;
  if (variable.transient) return variable;
  const long long shifted =
      static_cast<long long>(value->value) - variable.lower;
  if (shifted < 0 || shifted > 32767 ||
      (variable.upper && value->value > static_cast<double>(*variable.upper))) {
    Error(path + ".initial-value",
          "initial value of '" + *name + "' is outside its range");
    return std::nullopt;
  }
  variable.place = variable.key;
  PlaceIr place;
  place.name = variable.place;
  place.initial = IntConstant(shifted);
  if (variable.upper) {
    place.bounds =
        std::make_pair(0, static_cast<int>(*variable.upper - variable.lower));
  }
  place.where = At(path);
  result_.model.places.push_back(std::move(place));
  return variable;
}

void JaniImporter::ReadFunctions(const Json* list, const std::string& path,
                                 std::map<std::string, Function>* into) {
  if (list == nullptr) return;
  for (std::size_t i = 0; !Failed() && i < list->size(); ++i) {
    const std::string at = path + "[" + std::to_string(i) + "]";
    const Json& json = (*list)[i];
    const std::optional<std::string> name = StringMember(json, "name", at);
    const Json* body = Member(json, "body", at, true);
    if (!name || body == nullptr) return;
    Function function;
    function.body = body;
    function.path = at + ".body";
    function.is_bool = MemberOrNull(json, "type") == "bool";
    if (const Json* parameters = Member(json, "parameters", at, false)) {
      for (std::size_t k = 0; k < parameters->size(); ++k) {
        const std::optional<std::string> parameter =
            StringMember((*parameters)[k], "name",
                         at + ".parameters[" + std::to_string(k) + "]");
        if (!parameter) return;
        function.parameters.push_back(*parameter);
      }
    }
    (*into)[*name] = function;
  }
}

void JaniImporter::ReadInstances() {
  const Json* automata = Member(root_, "automata", "$", true);
  const Json* system = Member(root_, "system", "$", true);
  if (automata == nullptr || system == nullptr) return;
  const Json* elements = Member(*system, "elements", "$.system", true);
  if (elements == nullptr) return;
  std::map<std::string, int> uses;
  for (std::size_t e = 0; !Failed() && e < elements->size(); ++e) {
    const std::string epath = "$.system.elements[" + std::to_string(e) + "]";
    const std::optional<std::string> name =
        StringMember((*elements)[e], "automaton", epath);
    if (!name) return;
    if ((*elements)[e].contains("input-enable")) {
      Error(epath + ".input-enable", "\"input-enable\" is not supported");
      return;
    }
    std::size_t a = 0;
    while (a < automata->size() &&
           TextOr((*automata)[a], "name", "") != *name) {
      ++a;
    }
    if (a == automata->size()) {
      Error(epath + ".automaton", "no automaton named '" + *name + "'");
      return;
    }
    auto instance = std::make_unique<Instance>();
    const int use = uses[*name]++;
    instance->name = use == 0 ? *name : *name + "[" + std::to_string(use) + "]";
    instance->path = "$.automata[" + std::to_string(a) + "]";
    instance->automaton = &(*automata)[a];
    const Json& automaton = *instance->automaton;
    const std::string prefix = instance->name + ".";
    if (const Json* locals =
            Member(automaton, "variables", instance->path, false)) {
      for (std::size_t v = 0; !Failed() && v < locals->size(); ++v) {
        std::optional<Variable> variable = ReadVariable(
            (*locals)[v],
            instance->path + ".variables[" + std::to_string(v) + "]", prefix);
        if (variable) instance->locals[variable->name] = *variable;
      }
    }
    if (Failed()) return;
    if (automaton.contains("restrict-initial")) {
      const Json& exp =
          MemberOrNull(MemberOrNull(automaton, "restrict-initial"), "exp");
      if (!(exp.is_boolean() && exp.get<bool>())) {
        Error(instance->path + ".restrict-initial",
              "only \"restrict-initial\" true is supported");
        return;
      }
    }
    ReadFunctions(Member(automaton, "functions", instance->path, false),
                  instance->path + ".functions", &instance->functions);
    const Json* locations =
        Member(automaton, "locations", instance->path, true);
    if (locations == nullptr) return;
    for (const Json& location : *locations) {
      instance->locations.push_back(TextOr(location, "name", ""));
      instance->location_json.push_back(&location);
    }
    const Json* initial =
        Member(automaton, "initial-locations", instance->path, true);
    if (initial == nullptr) return;
    if (!initial->is_array() || initial->size() != 1 ||
        !(*initial)[0].is_string()) {
      Error(instance->path + ".initial-locations",
            "exactly one initial location is supported");
      return;
    }
    const std::string first = (*initial)[0].get<std::string>();
    std::size_t l = 0;
    while (l < instance->locations.size() && instance->locations[l] != first) {
      ++l;
    }
    if (l == instance->locations.size()) {
      Error(instance->path + ".initial-locations[0]",
            "no location named '" + first + "'");
      return;
    }
    instance->initial_location = static_cast<int>(l);
    if (instance->locations.size() > 1) {
      instance->location_place = prefix + "location";
      PlaceIr place;
      place.name = instance->location_place;
      place.initial = IntConstant(static_cast<long long>(l));
      place.bounds =
          std::make_pair(0, static_cast<int>(instance->locations.size()) - 1);
      place.where = At(instance->path + ".locations");
      result_.model.places.push_back(std::move(place));
    }
    instances_.push_back(std::move(instance));
    ReadEdges(*instances_.back());
  }
}

void JaniImporter::ReadEdges(Instance& instance) {
  const Json* edges = Member(*instance.automaton, "edges", instance.path, true);
  if (edges == nullptr) return;
  for (std::size_t i = 0; !Failed() && i < edges->size(); ++i) {
    Edge edge;
    edge.json = &(*edges)[i];
    edge.path = instance.path + ".edges[" + std::to_string(i) + "]";
    edge.label = instance.name + ".e" + std::to_string(i);
    const std::optional<std::string> source =
        StringMember(*edge.json, "location", edge.path);
    if (!source) return;
    std::size_t l = 0;
    while (l < instance.locations.size() && instance.locations[l] != *source) {
      ++l;
    }
    if (l == instance.locations.size()) {
      Error(edge.path + ".location", "no location named '" + *source + "'");
      return;
    }
    edge.source = static_cast<int>(l);
    if (const Json* action = Member(*edge.json, "action", edge.path, false)) {
      edge.action = action->is_string() ? action->get<std::string>() : "";
    }
    edge.has_rate = edge.json->contains("rate");
    if (!markov_automaton_ && !edge.has_rate) {
      Error(edge.path, "an edge of a ctmc needs a \"rate\"");
      return;
    }
    if (markov_automaton_ && edge.has_rate && !edge.action.empty()) {
      Error(edge.path, "a Markovian edge of an ma cannot have an action");
      return;
    }
    instance.edges.push_back(edge);
  }
}

const Variable* JaniImporter::FindVariable(const std::string& name,
                                           const Instance* instance) const {
  if (instance != nullptr) {
    const auto local = instance->locals.find(name);
    if (local != instance->locals.end()) return &local->second;
  }
  const auto global = globals_.find(name);
  return global == globals_.end() ? nullptr : &global->second;
}

// Whether a property's expression is a state formula (JANI types it by its
// operator, or by the variable, constant or function it names).
bool JaniImporter::IsBool(const Json& json) const {
  if (json.is_boolean()) return true;
  if (json.is_string()) {
    const std::string name = json.get<std::string>();
    if (const Variable* variable = FindVariable(name, nullptr)) {
      return variable->type == ValueType::kBool;
    }
    const auto constant = constants_.find(name);
    return constant != constants_.end() &&
           constant->second.type == ValueType::kBool;
  }
  if (!json.is_object()) return false;
  const std::string op = TextOr(json, "op", "");
  static const std::set<std::string> kBoolOps = {
      "\xE2\x88\xA7", "\xE2\x88\xA8",
      "\xC2\xAC",     "=",
      "\xE2\x89\xA0", "<",
      "\xE2\x89\xA4", ">",
      "\xE2\x89\xA5", "\xE2\x87\x92"};
  if (kBoolOps.count(op) != 0) return true;
  if (op == "ite") return IsBool(MemberOrNull(json, "then"));
  if (op == "call") {
    const auto function = functions_.find(TextOr(json, "function", ""));
    return function != functions_.end() && function->second.is_bool;
  }
  return false;
}

ExprPtr JaniImporter::StateRead(const Variable& variable,
                                const std::string& path) {
  const SourceLocation where = At(path);
  ExprPtr place = NameRef(variable.place, where);
  if (variable.is_bool) {
    return Bin(Op::kNotEqual, std::move(place), IntConstant(0, where), where);
  }
  if (variable.lower == 0) return place;
  return Bin(Op::kAdd, std::move(place), IntConstant(variable.lower, where),
             where);
}

ExprPtr ConstantExpr(const ConstantValue& value, const SourceLocation& where) {
  if (value.type == ValueType::kBool)
    return BoolConstant(value.value != 0.0, where);
  if (value.type == ValueType::kInt) {
    return IntConstant(static_cast<long long>(value.value), where);
  }
  return RealConstant(value.value, where);
}

// The value of a transient variable in a state: set by the current location
// of some instance, else its initial value.
ExprPtr JaniImporter::InStateTransient(const Variable& variable,
                                       const std::string& path) {
  const SourceLocation where = At(path);
  ExprPtr value = ConstantExpr(variable.initial, where);
  for (const auto& instance : instances_) {
    for (std::size_t l = 0; l < instance->location_json.size(); ++l) {
      const Json* values = Member(*instance->location_json[l],
                                  "transient-values", instance->path, false);
      if (values == nullptr) continue;
      for (std::size_t k = 0; k < values->size(); ++k) {
        const Json& entry = (*values)[k];
        const std::string at = instance->path + ".locations[" +
                               std::to_string(l) + "].transient-values[" +
                               std::to_string(k) + "]";
        if (TextOr(entry, "ref", "") != variable.name ||
            FindVariable(variable.name, instance.get()) != &variable) {
          continue;
        }
        const Json* exp = Member(entry, "value", at, true);
        if (exp == nullptr) return nullptr;
        Scope scope;
        scope.instance = instance.get();
        scope.state_only = true;
        ExprPtr set = Translate(*exp, at + ".value", scope);
        if (!set) return nullptr;
        if (instance->location_place.empty()) {
          value = std::move(set);
        } else {
          value = Condition(
              Bin(Op::kEqual, NameRef(instance->location_place, where),
                  IntConstant(static_cast<long long>(l), where), where),
              std::move(set), std::move(value), where);
        }
      }
    }
  }
  return value;
}

ExprPtr JaniImporter::TranslateName(const std::string& name,
                                    const std::string& path,
                                    const Scope& scope) {
  const SourceLocation where = At(path);
  if (scope.parameters != nullptr) {
    const auto parameter = scope.parameters->find(name);
    if (parameter != scope.parameters->end()) return Clone(*parameter->second);
  }
  if (!scope.constants_only) {
    if (const Variable* variable = FindVariable(name, scope.instance)) {
      if (!variable->transient) return StateRead(*variable, path);
      transients_read_.insert(variable->key);
      if (scope.transient_values != nullptr) {
        const auto set = scope.transient_values->find(variable->key);
        if (set != scope.transient_values->end()) return Clone(*set->second);
        return ConstantExpr(variable->initial, where);
      }
      if (scope.state_only) {
        Error(path, "transient variable '" + name +
                        "' read where only state variables may be");
        return nullptr;
      }
      return InStateTransient(*variable, path);
    }
  }
  const auto constant = constants_.find(name);
  if (constant != constants_.end())
    return ConstantExpr(constant->second, where);
  if (scope.constants_only && FindVariable(name, scope.instance) == nullptr &&
      globals_.empty() && instances_.empty()) {
    Error(path, "'" + name + "' is not a constant declared before");
    return nullptr;
  }
  Error(path, scope.constants_only
                  ? "'" + name + "' is not a constant declared before"
                  : "unknown name '" + name + "'");
  return nullptr;
}

ExprPtr JaniImporter::Translate(const Json& json, const std::string& path,
                                const Scope& scope) {
  const SourceLocation where = At(path);
  if (Failed()) return nullptr;
  if (nesting_ >= kMaxNesting) {
    Error(path, "expression nested more than " + std::to_string(kMaxNesting) +
                    " levels deep");
    return nullptr;
  }
  if (json.is_boolean()) return BoolConstant(json.get<bool>(), where);
  if (json.is_number_integer())
    return IntConstant(json.get<long long>(), where);
  if (json.is_number_float()) {
    const double value = json.get<double>();
    if (std::isfinite(value) && value == std::floor(value) &&
        std::fabs(value) < 9e15) {
      return IntConstant(static_cast<long long>(value), where);
    }
    return RealConstant(value, where);
  }
  if (json.is_string())
    return TranslateName(json.get<std::string>(), path, scope);
  if (json.is_object() && json.contains("constant")) {
    const Json& name = json["constant"];
    if (name == "e") return RealConstant(std::exp(1.0), where);
    if (name == "\xCF\x80") return RealConstant(std::acos(-1.0), where);
    Error(path + ".constant", "unknown constant " + Dump(name));
    return nullptr;
  }
  if (json.is_object() && json.contains("op")) {
    ++nesting_;
    ExprPtr result = TranslateOp(json, path, scope);
    --nesting_;
    return result;
  }
  Error(path, "not an expression: " + Dump(json));
  return nullptr;
}

ExprPtr JaniImporter::TranslateOp(const Json& json, const std::string& path,
                                  const Scope& scope) {
  const SourceLocation where = At(path);
  const Json& op_json = MemberOrNull(json, "op");
  if (!op_json.is_string()) {
    Error(path + ".op", "expected an operator name");
    return nullptr;
  }
  const std::string op = op_json.get<std::string>();
  auto arg = [&](const char* key) -> ExprPtr {
    const Json* member = Member(json, key, path, true);
    if (member == nullptr) return nullptr;
    return Translate(*member, path + "." + key, scope);
  };
  static const std::map<std::string, Op> kBinary = {
      {"\xE2\x88\xA7", Op::kAnd},
      {"\xE2\x88\xA8", Op::kOr},
      {"=", Op::kEqual},
      {"\xE2\x89\xA0", Op::kNotEqual},
      {"<", Op::kLess},
      {"\xE2\x89\xA4", Op::kLessEqual},
      {">", Op::kGreater},
      {"\xE2\x89\xA5", Op::kGreaterEqual},
      {"+", Op::kAdd},
      {"-", Op::kSubtract},
      {"*", Op::kMultiply},
      {"/", Op::kDivide},
      {"%", Op::kModulo}};
  const auto binary = kBinary.find(op);
  if (binary != kBinary.end()) {
    ExprPtr left = arg("left");
    ExprPtr right = arg("right");
    if (!left || !right) return nullptr;
    return Bin(binary->second, std::move(left), std::move(right), where);
  }
  if (op == "min" || op == "max" || op == "pow") {
    ExprPtr left = arg("left");
    ExprPtr right = arg("right");
    if (!left || !right) return nullptr;
    std::vector<ExprPtr> args;
    args.push_back(std::move(left));
    args.push_back(std::move(right));
    return Call(op == "min"   ? Op::kMin
                : op == "max" ? Op::kMax
                              : Op::kPow,
                std::move(args), where);
  }
  if (op == "log") {
    ExprPtr left = arg("left");
    ExprPtr right = arg("right");
    if (!left || !right) return nullptr;
    std::vector<ExprPtr> a;
    a.push_back(std::move(left));
    std::vector<ExprPtr> b;
    b.push_back(std::move(right));
    return Bin(Op::kDivide, Call(Op::kLog, std::move(a), where),
               Call(Op::kLog, std::move(b), where), where);
  }
  if (op == "\xE2\x87\x92") {  // implication
    ExprPtr left = arg("left");
    ExprPtr right = arg("right");
    if (!left || !right) return nullptr;
    return Bin(Op::kOr, Unary(Op::kNot, std::move(left), where),
               std::move(right), where);
  }
  if (op == "\xC2\xAC") {
    ExprPtr exp = arg("exp");
    if (!exp) return nullptr;
    return Unary(Op::kNot, std::move(exp), where);
  }
  if (op == "floor" || op == "ceil" || op == "abs") {
    ExprPtr exp = arg("exp");
    if (!exp) return nullptr;
    std::vector<ExprPtr> args;
    args.push_back(std::move(exp));
    return Call(op == "floor"  ? Op::kFloor
                : op == "ceil" ? Op::kCeil
                               : Op::kAbs,
                std::move(args), where);
  }
  if (op == "sgn" || op == "trc") {
    ExprPtr exp = arg("exp");
    if (!exp) return nullptr;
    ExprPtr copy = Clone(*exp);
    if (op == "sgn") {
      return Condition(
          Bin(Op::kGreater, std::move(exp), IntConstant(0, where), where),
          IntConstant(1, where),
          Condition(
              Bin(Op::kLess, std::move(copy), IntConstant(0, where), where),
              IntConstant(-1, where), IntConstant(0, where), where),
          where);
    }
    std::vector<ExprPtr> up;
    up.push_back(Clone(*exp));
    std::vector<ExprPtr> down;
    down.push_back(std::move(copy));
    return Condition(
        Bin(Op::kLess, std::move(exp), IntConstant(0, where), where),
        Call(Op::kCeil, std::move(up), where),
        Call(Op::kFloor, std::move(down), where), where);
  }
  if (op == "ite") {
    ExprPtr test = arg("if");
    ExprPtr then_value = arg("then");
    ExprPtr else_value = arg("else");
    if (!test || !then_value || !else_value) return nullptr;
    return Condition(std::move(test), std::move(then_value),
                     std::move(else_value), where);
  }
  if (op == "call") {
    const std::optional<std::string> name =
        StringMember(json, "function", path);
    const Json* args = Member(json, "args", path, true);
    if (!name || args == nullptr) return nullptr;
    const Function* function = nullptr;
    if (scope.instance != nullptr) {
      const auto local = scope.instance->functions.find(*name);
      if (local != scope.instance->functions.end()) function = &local->second;
    }
    if (function == nullptr) {
      const auto global = functions_.find(*name);
      if (global != functions_.end()) function = &global->second;
    }
    if (function == nullptr) {
      Error(path + ".function", "unknown function '" + *name + "'");
      return nullptr;
    }
    if (!args->is_array() || args->size() != function->parameters.size()) {
      Error(path + ".args", "function '" + *name + "' takes " +
                                std::to_string(function->parameters.size()) +
                                " arguments");
      return nullptr;
    }
    if (scope.depth >= kMaxCallDepth) {
      Error(path, "calls of '" + *name + "' nest too deeply (recursion?)");
      return nullptr;
    }
    std::vector<ExprPtr> values;
    std::map<std::string, const Expr*> bound;
    for (std::size_t i = 0; i < args->size(); ++i) {
      values.push_back(Translate(
          (*args)[i], path + ".args[" + std::to_string(i) + "]", scope));
      if (!values.back()) return nullptr;
      bound[function->parameters[i]] = values.back().get();
    }
    Scope inner = scope;
    inner.parameters = &bound;
    inner.depth = scope.depth + 1;
    return Translate(*function->body, function->path, inner);
  }
  Error(path + ".op", "operator \"" + op + "\" is not supported");
  return nullptr;
}

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
    // The edges of each participant labelled with its action.
    std::vector<std::vector<Part>> choices;
    std::string label;
    for (std::size_t i = 0; i < vector->size(); ++i) {
      const Json& action = (*vector)[i];
      if (action.is_null()) continue;
      if (!action.is_string()) {
        Error(path + ".synchronise[" + std::to_string(i) + "]",
              "expected an action name or null");
        return;
      }
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

std::set<std::string> PlacesRead(Expr& expr) {
  std::set<std::string> names;
  ForEachName(expr, [&](Expr& name) { names.insert(name.name); });
  return names;
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
  }
  std::vector<std::size_t> pick(parts.size(), 0);
  std::size_t combination = 0;
  bool several = false;
  for (const Json* list : destinations) several = several || list->size() > 1;
  while (true) {
    ExprPtr probability;
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
        write.reads = PlacesRead(*value);
        write.value = std::move(value);
        write.path = apath;
        writes.push_back(std::move(write));
      }
    }
    // Every assignment reads the old state: run a write only once no
    // remaining one reads its place.
    std::vector<StatementIr> statements;
    while (!writes.empty()) {
      std::size_t next = 0;
      while (next < writes.size()) {
        bool read = false;
        for (std::size_t k = 0; k < writes.size(); ++k) {
          read =
              read || (k != next && writes[k].reads.count(writes[next].place));
        }
        if (!read) break;
        ++next;
      }
      if (next == writes.size()) {
        Error(writes.front().path,
              "'" + label +
                  "' exchanges variable values in a cycle; "
                  "this is not supported");
        return;
      }
      StatementIr statement;
      statement.kind = StatementIr::Kind::kAssign;
      statement.place = writes[next].place;
      statement.value = std::move(writes[next].value);
      statement.where = At(writes[next].path);
      statements.push_back(std::move(statement));
      writes.erase(writes.begin() + static_cast<std::ptrdiff_t>(next));
    }
    const std::string suffix =
        several ? "#" + std::to_string(combination) : std::string();
    if (immediate) {
      if (!transient_sets.empty()) {
        for (const auto& set : transient_sets) {
          instantaneous_impulse_keys_.insert(set.first);
        }
      }
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
      instant.output_gates = std::move(instant.cases[0].output_gates);
      instant.cases.clear();
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

std::optional<std::string> JaniImporter::RewardVariable(const Json& expression,
                                                        const std::string& path,
                                                        const std::string& name,
                                                        bool indicator) {
  transients_read_.clear();
  Scope scope;
  ExprPtr rate = Translate(expression, path, scope);
  if (!rate) return std::nullopt;
  const SourceLocation where = At(path);
  RewardIr reward;
  reward.name = reward_names_.Unique(name);
  reward.where = where;
  if (indicator) {
    rate = Condition(std::move(rate), IntConstant(1, where),
                     IntConstant(0, where), where);
  }
  reward.rate = std::move(rate);
  const std::set<std::string> transients = transients_read_;
  if (!indicator && !transients.empty()) {
    for (const std::string& key : transients) {
      if (instantaneous_impulse_keys_.count(key) != 0) {
        Error(path, "the reward reads '" + key +
                        "', which immediate edges assign: impulses on "
                        "immediate edges are not supported");
        return std::nullopt;
      }
    }
    // Impulses: the expression after each transition's assignments, for
    // every transition that assigns one of the variables it reads.
    for (std::size_t a = 0; a < impulses_.size(); ++a) {
      std::map<std::string, const Expr*> values;
      for (const auto& [key, value] : impulses_[a]) {
        if (transients.count(key) != 0) values[key] = value.get();
      }
      if (values.empty()) continue;
      Scope on_transition;
      on_transition.transient_values = &values;
      ImpulseIr impulse;
      impulse.activity = impulse_activities_[a];
      impulse.amount = Translate(expression, path, on_transition);
      if (!impulse.amount) return std::nullopt;
      impulse.where = where;
      reward.impulses.push_back(std::move(impulse));
    }
  }
  const std::string unique = reward.name;
  result_.model.rewards.push_back(std::move(reward));
  return unique;
}

std::string FormatTime(double value) {
  if (std::isinf(value)) return "inf";
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.17g", value);
  return buffer;
}

void JaniImporter::ReadProperties() {
  const Json* properties = Member(root_, "properties", "$", false);
  if (properties == nullptr) return;
  for (std::size_t i = 0; !Failed() && i < properties->size(); ++i) {
    const std::string path = "$.properties[" + std::to_string(i) + "]";
    const Json& property = (*properties)[i];
    PropertyLine line;
    line.name = TextOr(property, "name", "property " + std::to_string(i));
    const Json* expression = Member(property, "expression", path, true);
    if (expression == nullptr) return;
    const std::string epath = path + ".expression";
    // A filter over the initial states: the model has exactly one.
    const Json* values = expression;
    std::string vpath = epath;
    if (TextOr(*expression, "op", "") == "filter") {
      const Json& states = MemberOrNull(*expression, "states");
      const std::string fun = TextOr(*expression, "fun", "");
      if (TextOr(states, "op", "") == "initial" &&
          expression->contains("values") && fun != "count" && fun != "argmin" &&
          fun != "argmax") {
        values = &(*expression)["values"];
        vpath = epath + ".values";
      }
    }
    const std::string op = TextOr(*values, "op", "");
    auto unsupported = [&](const std::string& why) {
      line.kind = "unsupported";
      line.fields = {why};
    };
    auto time_bound = [&](const Json& owner, const char* key,
                          const std::string& at) -> std::optional<double> {
      const Json* bounds = Member(owner, key, at, false);
      if (bounds == nullptr) return INFINITY;
      if (bounds->contains("lower") || !bounds->contains("upper")) {
        return std::nullopt;
      }
      const std::optional<ConstantValue> upper =
          Constant(MemberOrNull(*bounds, "upper"), at + "." + key + ".upper");
      if (!upper) return std::nullopt;
      return upper->value;
    };
    if (op == "Smin" || op == "Smax") {
      const Json& exp = MemberOrNull(*values, "exp");
      // A state formula becomes a 0/1 rate reward.
      const bool indicator = IsBool(exp);
      const std::optional<std::string> var =
          RewardVariable(exp, vpath + ".exp", line.name, indicator);
      if (!var) return;
      line.kind = "steady-state";
      line.fields = {*var};
    } else if ((op == "Pmin" || op == "Pmax") && values->contains("exp")) {
      const Json& path_formula = MemberOrNull(*values, "exp");
      const std::string pop = TextOr(path_formula, "op", "");
      const Json* target = nullptr;
      if (pop == "F") target = &MemberOrNull(path_formula, "exp");
      if (pop == "U" && MemberOrNull(path_formula, "left") == Json(true)) {
        target = &MemberOrNull(path_formula, "right");
      }
      const std::optional<double> bound =
          target ? time_bound(path_formula, "time-bounds", vpath + ".exp")
                 : std::nullopt;
      if (Failed()) return;
      if (target == nullptr || !bound || path_formula.contains("step-bounds")) {
        unsupported(op + " of a path formula other than a time-bounded F");
      } else {
        const std::optional<std::string> var =
            RewardVariable(*target, vpath + ".exp", line.name, true);
        if (!var) return;
        line.kind = "reach-probability";
        line.fields = {*var, FormatTime(*bound)};
      }
    } else if (op == "Emin" || op == "Emax") {
      const Json& accumulate = MemberOrNull(*values, "accumulate");
      const bool time_only = accumulate == Json::array({"time"});
      if (values->contains("reach") && time_only &&
          MemberOrNull(*values, "exp") == Json(1)) {
        const std::optional<std::string> var = RewardVariable(
            MemberOrNull(*values, "reach"), vpath + ".reach", line.name, true);
        if (!var) return;
        line.kind = "reach-time";
        line.fields = {*var};
      } else if (values->contains("time-instant") &&
                 !values->contains("reach")) {
        const std::optional<ConstantValue> t = Constant(
            MemberOrNull(*values, "time-instant"), vpath + ".time-instant");
        if (!t) return;
        const std::optional<std::string> var = RewardVariable(
            MemberOrNull(*values, "exp"), vpath + ".exp", line.name, false);
        if (!var) return;
        line.kind = accumulate.empty() ? "reward-instant" : "reward-cumulative";
        line.fields = {*var, FormatTime(t->value)};
      } else {
        unsupported(op + " of this form");
      }
    } else {
      unsupported(op.empty() ? "a state formula" : op);
    }
    result_.properties.push_back(std::move(line));
  }
}

}  // namespace

ImportedModel ReadJani(const std::string& text, const std::string& file_name,
                       const ImportOptions& options) {
  try {
    return JaniImporter(file_name, options).Run(text);
  } catch (const Json::exception& error) {
    // A value of a kind that no check above expected: the file is refused
    // like any other malformed one, never the process.
    Diagnostic diagnostic;
    diagnostic.where.origin = file_name + ": $";
    diagnostic.message =
        std::string("a value of an unexpected kind (") + error.what() + ")";
    ImportedModel refused;
    refused.errors.push_back(std::move(diagnostic));
    return refused;
  }
}
