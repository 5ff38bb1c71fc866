#ifndef GEN_DATABASE_SCHEMA_H_
#define GEN_DATABASE_SCHEMA_H_

#include <string>
#include <vector>

// The statements that create the results tables where they are missing:
// runs, globals (the values in force after overrides) and measures (what
// solve printed). The two engines differ only in how an id counts up.
// Column names and meanings are read by users' queries; never rename.
std::vector<std::string> SchemaStatements(bool postgres);

#endif  // GEN_DATABASE_SCHEMA_H_
