#include <algorithm>
#include <cmath>
#include <set>
#include <utility>

#include "jani/JaniImporter.h"
#include "lang/Checker.h"
#include "peer/TextPosition.h"

namespace jani {

const Json& MemberOrNull(const Json& json, const char* key) {
  static const Json kNull;
  if (!json.is_object()) return kNull;
  const auto member = json.find(key);
  return member == json.end() ? kNull : *member;
}

std::string TextOr(const Json& json, const char* key,
                   const std::string& fallback) {
  const Json& member = MemberOrNull(json, key);
  return member.is_string() ? member.get<std::string>() : fallback;
}

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
  try {
    root_ = Json::parse(text.begin() + static_cast<std::ptrdiff_t>(start),
                        text.end());
  } catch (const Json::parse_error& error) {
    // The library counts bytes from 1 after the byte order mark.
    Error("$", "not valid JSON at " +
                   LineAndColumn(
                       text, start + (error.byte > 0 ? error.byte - 1 : 0)));
    return std::move(result_);
  }
  if (!root_.is_object()) {
    Error("$", "a JANI model must be a JSON object");
    return std::move(result_);
  }
  const Json* version = Member(root_, "jani-version", "$", true);
  if (version == nullptr) return std::move(result_);
  if (!version->is_number_integer() || version->get<long long>() < 1) {
    Error("$.jani-version",
          "expected a whole number from 1 up, found " + Dump(*version));
    return std::move(result_);
  }
  CheckMemberNames();
  if (Failed()) return std::move(result_);
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
  ReadActions();
  if (!Failed()) ReadConstants();
  if (const Json* variables = Member(root_, "variables", "$", false)) {
    for (std::size_t i = 0; !Failed() && i < variables->size(); ++i) {
      std::optional<Variable> variable = ReadVariable(
          (*variables)[i], "$.variables[" + std::to_string(i) + "]", "");
      if (!variable) break;
      // One name, one meaning: a second declaration would silently replace
      // the first, or hide a constant in every expression.
      if (constants_.count(variable->name) != 0 ||
          globals_.count(variable->name) != 0) {
        Error("$.variables[" + std::to_string(i) + "].name",
              "the name '" + variable->name +
                  "' is already a constant or a variable");
        break;
      }
      globals_[variable->name] = *variable;
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

bool JaniImporter::OnlyMembers(const Json& object, const std::string& path,
                               std::initializer_list<const char*> allowed) {
  if (!object.is_object()) return true;
  for (const auto& member : object.items()) {
    const std::string& key = member.key();
    // Comments may stand anywhere; "x-" members are tools' own extensions.
    if (key == "comment" || key.rfind("x-", 0) == 0) continue;
    bool known = false;
    for (const char* name : allowed) known = known || key == name;
    if (known) continue;
    std::string names;
    for (const char* name : allowed) {
      names += (names.empty() ? "\"" : ", \"") + std::string(name) + "\"";
    }
    Error(path + "." + key,
          "unknown member \"" + key + "\" (expected " + names + ")");
    return false;
  }
  return true;
}

void JaniImporter::CheckMemberNames() {
  // Each list below visits the array `key` of `owner`, if it is one.
  auto each = [this](const Json& owner, const char* key,
                     const std::string& path, const auto& check) {
    const Json& list = MemberOrNull(owner, key);
    for (std::size_t i = 0; !Failed() && list.is_array() && i < list.size();
         ++i) {
      check(list[i], path + "." + key + "[" + std::to_string(i) + "]");
    }
  };
  auto wrapper = [this](const Json& owner, const char* key,
                        const std::string& path) {
    OnlyMembers(MemberOrNull(owner, key), path + "." + key, {"exp"});
  };
  auto typed = [this](const Json& json, const std::string& path) {
    OnlyMembers(MemberOrNull(json, "type"), path + ".type",
                {"kind", "base", "lower-bound", "upper-bound"});
  };
  auto variable = [&](const Json& json, const std::string& path) {
    if (OnlyMembers(json, path,
                    {"name", "type", "transient", "initial-value"})) {
      typed(json, path);
    }
  };
  auto function = [&](const Json& json, const std::string& path) {
    if (!OnlyMembers(json, path, {"name", "type", "parameters", "body"})) {
      return;
    }
    each(json, "parameters", path, [&](const Json& p, const std::string& at) {
      if (OnlyMembers(p, at, {"name", "type"})) typed(p, at);
    });
  };
  if (!OnlyMembers(root_, "$",
                   {"jani-version", "name", "type", "features", "actions",
                    "constants", "variables", "restrict-initial", "automata",
                    "system", "properties", "functions", "metadata"})) {
    return;
  }
  each(root_, "actions", "$", [&](const Json& json, const std::string& at) {
    OnlyMembers(json, at, {"name"});
  });
  each(root_, "constants", "$", [&](const Json& json, const std::string& at) {
    if (OnlyMembers(json, at, {"name", "type", "value"})) typed(json, at);
  });
  each(root_, "variables", "$", variable);
  each(root_, "functions", "$", function);
  if (!Failed()) wrapper(root_, "restrict-initial", "$");
  each(root_, "automata", "$", [&](const Json& json, const std::string& at) {
    if (!OnlyMembers(json, at,
                     {"name", "variables", "restrict-initial", "locations",
                      "initial-locations", "edges", "functions"})) {
      return;
    }
    each(json, "variables", at, variable);
    each(json, "functions", at, function);
    if (!Failed()) wrapper(json, "restrict-initial", at);
    each(json, "locations", at, [&](const Json& l, const std::string& lat) {
      if (!OnlyMembers(l, lat, {"name", "transient-values"})) return;
      each(l, "transient-values", lat,
           [&](const Json& t, const std::string& tat) {
             OnlyMembers(t, tat, {"ref", "value"});
           });
    });
    each(json, "edges", at, [&](const Json& e, const std::string& eat) {
      if (!OnlyMembers(
              e, eat,
              {"location", "action", "rate", "guard", "destinations"})) {
        return;
      }
      wrapper(e, "rate", eat);
      if (!Failed()) wrapper(e, "guard", eat);
      each(e, "destinations", eat, [&](const Json& d, const std::string& dat) {
        if (!OnlyMembers(d, dat, {"location", "probability", "assignments"})) {
          return;
        }
        wrapper(d, "probability", dat);
        each(d, "assignments", dat, [&](const Json& a, const std::string& aat) {
          OnlyMembers(a, aat, {"ref", "value", "index"});
        });
      });
    });
  });
  const Json& system = MemberOrNull(root_, "system");
  if (Failed() || !OnlyMembers(system, "$.system", {"elements", "syncs"})) {
    return;
  }
  each(system, "elements", "$.system",
       [&](const Json& json, const std::string& at) {
         OnlyMembers(json, at, {"automaton", "input-enable"});
       });
  each(system, "syncs", "$.system",
       [&](const Json& json, const std::string& at) {
         OnlyMembers(json, at, {"synchronise", "result"});
       });
  each(root_, "properties", "$", [&](const Json& json, const std::string& at) {
    if (OnlyMembers(json, at, {"name", "expression"})) {
      CheckPropertyMembers(MemberOrNull(json, "expression"),
                           at + ".expression");
    }
  });
}

// The members of the property operators and path formulas, whose optional
// ones (bounds, accumulate, reach) change the value asked for. Operands
// are visited; other expressions are checked where they are translated.
void JaniImporter::CheckPropertyMembers(const Json& expression,
                                        const std::string& path) {
  const std::string op = TextOr(expression, "op", "");
  bool known = true;
  if (op == "filter") {
    known = OnlyMembers(expression, path, {"op", "fun", "values", "states"});
  } else if (op == "Pmin" || op == "Pmax") {
    known = OnlyMembers(expression, path, {"op", "exp"});
  } else if (op == "Emin" || op == "Emax") {
    known = OnlyMembers(expression, path,
                        {"op", "exp", "accumulate", "reach", "step-instant",
                         "time-instant", "reward-instants"});
  } else if (op == "Smin" || op == "Smax") {
    known = OnlyMembers(expression, path, {"op", "exp", "accumulate"});
  } else if (op == "U" || op == "W" || op == "F" || op == "G") {
    known = OnlyMembers(expression, path,
                        {"op", "left", "right", "exp", "time-bounds",
                         "step-bounds", "reward-bounds"}) &&
            OnlyMembers(
                MemberOrNull(expression, "time-bounds"), path + ".time-bounds",
                {"lower", "lower-exclusive", "upper", "upper-exclusive"});
  } else {
    return;
  }
  if (!known) return;
  for (const char* operand : {"values", "exp", "left", "right", "reach"}) {
    if (Failed()) return;
    const Json& part = MemberOrNull(expression, operand);
    if (part.is_object()) CheckPropertyMembers(part, path + "." + operand);
  }
}

void JaniImporter::ReadActions() {
  const Json* list = Member(root_, "actions", "$", false);
  if (list == nullptr) return;
  if (!list->is_array()) {
    Error("$.actions", "expected an array");
    return;
  }
  for (std::size_t i = 0; !Failed() && i < list->size(); ++i) {
    const std::string path = "$.actions[" + std::to_string(i) + "]";
    const std::optional<std::string> name =
        StringMember((*list)[i], "name", path);
    if (!name) return;
    if (!actions_.insert(*name).second) {
      Error(path + ".name", "a second action named '" + *name + "'");
    }
  }
}

bool JaniImporter::IsDeclaredAction(const Json& json, const std::string& path) {
  if (!json.is_string()) {
    Error(path, "expected an action name, found " + Dump(json));
    return false;
  }
  // An undeclared name is most likely a typo: its edges would never fire.
  if (actions_.count(json.get<std::string>()) == 0) {
    Error(path,
          "no action named '" + json.get<std::string>() + "' in \"actions\"");
    return false;
  }
  return true;
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
    if (constants_.count(*name) != 0) {
      Error(path + ".name", "a second constant named '" + *name + "'");
      return;
    }
    constants_[*name] = *value;
    result_.constants.push_back({*name, *value});
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
    // An int without bounds is kept in a place from 0 (or its lower
    // bound) up: say so rather than name a range the file never gave.
    Error(path + ".initial-value",
          "initial value of '" + *name + "' is outside its range" +
              (variable.upper || variable.is_bool
                   ? std::string()
                   : " (an int without an upper bound holds " +
                         std::to_string(variable.lower) + ".." +
                         std::to_string(variable.lower + 32767) +
                         " here: give it a bounded type)"));
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
  place.value_offset = variable.lower;
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
  std::set<std::string> automaton_names;
  for (std::size_t a = 0; a < automata->size(); ++a) {
    const std::string name = TextOr((*automata)[a], "name", "");
    if (!automaton_names.insert(name).second) {
      Error("$.automata[" + std::to_string(a) + "].name",
            "a second automaton named '" + name + "'");
      return;
    }
  }
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
        if (!variable) break;
        // A local of the name of a global or a constant would hide it in the
        // automaton's expressions and assignments.
        if (constants_.count(variable->name) != 0 ||
            globals_.count(variable->name) != 0 ||
            instance->locals.count(variable->name) != 0) {
          Error(instance->path + ".variables[" + std::to_string(v) + "].name",
                "the name '" + variable->name +
                    "' is already a constant or a variable");
          break;
        }
        instance->locals[variable->name] = *variable;
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
      const std::string location_name = TextOr(location, "name", "");
      if (std::find(instance->locations.begin(), instance->locations.end(),
                    location_name) != instance->locations.end()) {
        Error(instance->path + ".locations[" +
                  std::to_string(instance->locations.size()) + "].name",
              "a second location named '" + location_name + "'");
        return;
      }
      instance->locations.push_back(location_name);
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
      if (!IsDeclaredAction(*action, edge.path + ".action")) return;
      edge.action = action->get<std::string>();
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
}  // namespace jani
