#ifndef GEN_DATABASE_RECORDTIME_H_
#define GEN_DATABASE_RECORDTIME_H_

#include <string>

// The current time in UTC as "YYYY-MM-DDTHH:MM:SS.mmmZ": sorts as text in
// both engines.
std::string UtcNow();

// `path_and_name` (a run's path and name joined, as its files are named)
// with its folder made absolute and free of links, so that runs and solves
// that name the same files differently ("out/", "./out/") find each other.
// The folder as given when it does not exist.
std::string CanonicalResultBase(const std::string& path_and_name);

#endif  // GEN_DATABASE_RECORDTIME_H_
