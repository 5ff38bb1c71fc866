#ifndef GEN_PRISM_PRISMDOCUMENT_H_
#define GEN_PRISM_PRISMDOCUMENT_H_

#include <string>
#include <utility>
#include <vector>

#include "lang/Expr.h"
#include "lang/SourceLocation.h"

// A PRISM model file and property file as written, with the position of
// every element for messages. Expressions keep their names unresolved
// (kName nodes; a label reference "full" is a kName node named "\"full\"");
// the translation resolves them.

struct PrismConstant {
  std::string name;
  ValueType type = ValueType::kInt;
  ExprPtr value;  // null: open, set with --const
  SourceLocation where;
};

struct PrismVariable {
  std::string name;
  bool is_bool = false;
  ExprPtr low;   // bounded ints
  ExprPtr high;  // bounded ints
  ExprPtr init;  // null: the lower bound, or false
  SourceLocation where;
};

struct PrismAssignment {
  std::string variable;
  ExprPtr value;
  SourceLocation where;
};

// `rate : (x'=e) & ...`; "true" has no assignments.
struct PrismUpdate {
  ExprPtr rate;  // null: 1
  std::vector<PrismAssignment> assignments;
  SourceLocation where;
};

struct PrismCommand {
  std::string action;  // empty: unlabelled
  ExprPtr guard;
  std::vector<PrismUpdate> updates;
  SourceLocation where;
};

// One `old=new` of a renamed module; `where` is the old name's position.
struct PrismRename {
  std::string from;
  std::string to;
  SourceLocation where;
};

struct PrismModule {
  std::string name;
  std::vector<PrismVariable> variables;
  std::vector<PrismCommand> commands;
  // A renamed copy `module name = base [old=new, ...] endmodule`.
  std::string base;
  std::vector<PrismRename> renames;
  SourceLocation where;
};

// A formula or a label: a named expression.
struct PrismDefinition {
  std::string name;
  ExprPtr body;
  SourceLocation where;
};

struct PrismRewardItem {
  bool transition = false;
  std::string action;  // transition items; empty: unlabelled commands
  ExprPtr guard;
  ExprPtr value;
  SourceLocation where;
};

struct PrismRewards {
  std::string name;           // empty: unnamed
  SourceLocation name_where;  // the name's, or the property's when unnamed
  std::vector<PrismRewardItem> items;
  SourceLocation where;
};

struct PrismModelFile {
  std::vector<PrismConstant> constants;
  std::vector<PrismVariable> globals;
  std::vector<PrismModule> modules;
  std::vector<PrismDefinition> formulas;
  std::vector<PrismDefinition> labels;
  std::vector<PrismRewards> rewards;
  ExprPtr init;  // init ... endinit; null when absent
  SourceLocation init_where;
};

// A property's time bound `<=t`, `<t`, `>=t`, `>t`, `=t` or `[t1,t2]`.
struct PrismTimeBound {
  ExprPtr low;   // null: 0
  ExprPtr high;  // null: unbounded
};

// A property in the forms that have a kind (see docs/peer-formats.md);
// anything else is kept as text only, with `supported` false.
struct PrismProperty {
  std::string name;           // empty: unnamed
  SourceLocation name_where;  // the name's, or the property's when unnamed
  std::string text;           // as written, for unsupported ones
  bool supported = false;
  enum class Form { kReach, kAlways, kSteadyState, kReward };
  Form form = Form::kReach;
  // kReach: P=? [ F bound target ] or [ left U bound target ].
  // kAlways: P=? [ G bound target ].
  // kSteadyState: S=? [ target ].
  ExprPtr left;  // null: true
  ExprPtr target;
  PrismTimeBound bound;
  // kReward: R{reward}=? [ S | C<=t | I=t | F target ].
  std::string reward;      // a name, "#k" for the k-th structure, or empty
  char reward_path = 'S';  // 'S', 'C', 'I' or 'F'
  SourceLocation where;
};

struct PrismPropertyFile {
  std::vector<PrismConstant> constants;
  std::vector<PrismDefinition> formulas;
  std::vector<PrismDefinition> labels;
  std::vector<PrismProperty> properties;
};

#endif  // GEN_PRISM_PRISMDOCUMENT_H_
