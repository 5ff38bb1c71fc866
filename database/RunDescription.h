#ifndef GEN_DATABASE_RUNDESCRIPTION_H_
#define GEN_DATABASE_RUNDESCRIPTION_H_

#include <optional>
#include <string>
#include <vector>

// One global variable (or constant) as it stands when the run starts:
// after the experiment's values and the overrides.
struct GlobalValue {
  std::string name;
  std::string type;  // as the study lists it: "double", "int", ...
  double value = 0;
};

// What a run records about itself besides its counts: filled by the
// program's driver.
struct RunDescription {
  std::string program;  // "gen", "san", "genbench"
  std::string version;
  std::optional<std::string> model_file;    // none for a compiled-in model
  std::optional<std::string> model_sha256;  // of the file's bytes
  std::optional<std::string> model_format;  // "san", "jani", ...
  int experiment = 0;
  std::string experiment_name;  // the study's name of the experiment
  std::vector<GlobalValue> globals;
  // An imported model's constants in declaration order, from the model
  // file or --const: type "constant" for a number, "bool" (0 or 1) for a
  // boolean.
  std::vector<GlobalValue> constants;
};

#endif  // GEN_DATABASE_RUNDESCRIPTION_H_
