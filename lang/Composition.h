#ifndef GEN_LANG_COMPOSITION_H_
#define GEN_LANG_COMPOSITION_H_

#include <set>
#include <string>
#include <vector>

#include "lang/ModelIr.h"
#include "lang/SourceLocation.h"

// A submodel: places and activities that can be joined into a model or
// replicated. `index_name`, when not empty, names the replica number (an
// int constant, 1..count; 1 when joined) inside the submodel's expressions.
struct SubmodelIr {
  std::string name;
  std::string index_name;
  std::vector<PlaceIr> places;
  std::vector<ActivityIr> activities;
  SourceLocation where;
};

// Builds a flat ModelIr out of its own places and activities and instances
// of submodels. Places are shared by name: a place added under a name that
// an instance already holds (or that an instance adds under the name of an
// existing place) is one place, and both declarations must agree on the
// initial marking and the bounds. Two places of the same name outside any
// instance are left to CheckModel to report as duplicates.
class Composer {
 public:
  explicit Composer(ModelIr& model) : model_(model) {}

  // A place or activity of the model itself.
  void AddPlace(PlaceIr place) { Add(std::move(place), false); }
  void AddActivity(ActivityIr activity) {
    model_.activities.push_back(std::move(activity));
  }

  // Adds `submodel` with its names unchanged: its places join the model's
  // places of the same names.
  void Join(const SubmodelIr& submodel);

  // Adds `count` replicas of `submodel`. In replica k (1-based) every place
  // not in `shared` and every activity is renamed "<name>_<k>"; the places
  // in `shared` keep their names and are one place for all replicas (and
  // the model).
  void Replicate(const SubmodelIr& submodel, int count,
                 const std::vector<std::string>& shared,
                 const SourceLocation& where);

  std::vector<Diagnostic>& errors() { return errors_; }

 private:
  void Add(PlaceIr place, bool from_instance);
  void Instance(const SubmodelIr& submodel, int replica, bool rename,
                const std::set<std::string>& shared);

  ModelIr& model_;
  std::set<std::string> instance_places_;
  std::vector<Diagnostic> errors_;
};

// Deep copies.
ActivityIr CloneActivity(const ActivityIr& activity);
PlaceIr ClonePlace(const PlaceIr& place);
std::vector<StatementIr> CloneStatements(
    const std::vector<StatementIr>& statements);

#endif  // GEN_LANG_COMPOSITION_H_
