#include "generator/ResultsDB.h"

#include <cstring>

ResultsDB::ResultsDB(const char* server, int port) {
  if (server != nullptr) {
    // At most 99 characters, always terminated.
    std::strncpy(server_, server, sizeof server_ - 1);
  }
  if (port != -1) port_ = port;
}

bool ResultsDB::writeSSGExperInfo(const char* /*experiment_name*/,
                                  unsigned long /*number_of_states*/) const {
  return true;
}
