#ifndef GEN_PEER_IMPORTEDMODEL_H_
#define GEN_PEER_IMPORTEDMODEL_H_

#include <map>
#include <string>
#include <vector>

#include "lang/ModelIr.h"
#include "lang/SourceLocation.h"
#include "peer/ConstantValue.h"

// What the readers of other tools' model files need from the command line.
struct ImportOptions {
  // Values of open constants (JANI constants without a value, PNPRO
  // templates), as written after --const NAME=.
  std::map<std::string, std::string> constants;
  // PNPRO: the reward variables to offer, a comma-separated list of place
  // names and X_<transition> names; empty: every place and every timed
  // transition's throughput.
  std::string rewards;
  // PNPRO: the gspn page to read when the project holds several.
  std::string page;
  // PRISM: the property file read with the model; empty: none.
  std::string properties_file;
};

// One property handed to the solver through the properties file: its name
// and kind followed by the kind's fields (see docs/formats.md).
struct PropertyLine {
  std::string name;
  std::string kind;
  std::vector<std::string> fields;
};

// A constant of an imported model and the value it has for this run: from
// the model file or from --const.
struct NamedConstant {
  std::string name;
  ConstantValue value;
};

// A model read from another tool's file: the model (checked), its
// properties and constants, or the errors that stop the import.
struct [[nodiscard]] ImportedModel {
  ModelIr model;
  std::vector<PropertyLine> properties;
  // Every constant in force, in declaration order (the property file's
  // after the model's); the readers fold them into the model's expressions.
  std::vector<NamedConstant> constants;
  std::vector<Diagnostic> errors;
};

#endif  // GEN_PEER_IMPORTEDMODEL_H_
