#ifndef GEN_JANI_JANIIMPORTER_H_
#define GEN_JANI_JANIIMPORTER_H_

#include <initializer_list>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "lang/Expr.h"
#include "lang/ModelIr.h"
#include "peer/ConstantValue.h"
#include "peer/ImportedModel.h"
#include "peer/RewardNames.h"

// The JANI reader's parts share this header (inside jani/ only):
// JaniDocument.cpp reads the document (constants, variables, functions,
// automata, edges), JaniExpressions.cpp translates expressions,
// JaniTransitions.cpp turns edges and synchronisation vectors into
// activities, JaniProperties.cpp reads the properties and their rewards.
namespace jani {

using Json = nlohmann::json;

// The member `key` of `json`, or null when `json` is not an object or has
// no such member. A hostile file can put any value anywhere, and the
// library's value() throws on a non-object or a member of another type.
const Json& MemberOrNull(const Json& json, const char* key);
// The string member `key` of `json`, or `fallback` when it has none.
std::string TextOr(const Json& json, const char* key,
                   const std::string& fallback);
// `json` as text for messages, cut to 60 characters.
std::string Dump(const Json& json);
ExprPtr Bin(Op op, ExprPtr a, ExprPtr b, const SourceLocation& where);

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

// What a reward expression earns: its value in the current state over time
// (`time`), its value on each transition taken (`steps`), or both.
struct Accumulation {
  bool time = true;
  bool steps = true;
};

struct Part {
  const Instance* instance;
  const Edge* edge;
};

// A state assignment of a transition.
struct Write {
  std::string place;
  ExprPtr value;
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

  // Refuses a member of the model's objects that the JANI schema does not
  // define for them: a misspelt optional member ("gaurd", "probabilty")
  // would otherwise be dropped and the model run without it.
  void CheckMemberNames();
  void CheckPropertyMembers(const Json& expression, const std::string& path);
  bool OnlyMembers(const Json& object, const std::string& path,
                   std::initializer_list<const char*> allowed);
  void ReadActions();
  // Whether `json` names a declared action; on an error, says so at `path`.
  bool IsDeclaredAction(const Json& json, const std::string& path);
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
                                            bool indicator, Accumulation earn);
  // What `expression` reads: transient variables, and state variables
  // outside the location values of transient ones. Nullopt on an error.
  struct Reads {
    bool transient = false;
    bool state = false;
  };
  std::optional<Reads> ReadsOf(const Json& expression, const std::string& path);

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
  std::set<std::string> actions_;  // the names of "actions"
  std::map<std::string, ConstantValue> constants_;
  std::map<std::string, Variable> globals_;
  std::map<std::string, Function> functions_;
  std::vector<std::unique_ptr<Instance>> instances_;
  std::set<std::string> transients_read_;
  bool state_read_ = false;  // a state variable read by the last translation
  // Per exponential activity, and per case of an instantaneous one: the
  // transient variables it assigns, with their values (translated in the
  // source state), and the name an impulse gives it.
  std::vector<std::map<std::string, ExprPtr>> impulses_;
  std::vector<std::string> impulse_activities_;
  // Per instantaneous activity: its name and enabling condition.
  std::vector<std::pair<std::string, ExprPtr>> immediate_choices_;
  RewardNames reward_names_;
  int nesting_ = 0;
};

}  // namespace jani

#endif  // GEN_JANI_JANIIMPORTER_H_
