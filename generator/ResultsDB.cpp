#include "generator/ResultsDB.h"

#include <cstddef>
#include <cstring>

namespace {

// Copies at most size - 1 characters and always terminates.
template <std::size_t N>
void CopyField(char (&field)[N], const char* text) {
  if (text == nullptr) return;
  std::strncpy(field, text, N - 1);
  field[N - 1] = '\0';
}

}  // namespace

ResultsDB::ResultsDB(const char* server, int port, const char* a, const char* b,
                     const char* c) {
  setDBInfo(server, port, a, b, c);
}

void ResultsDB::setDBInfo(const char* server, int port, const char* a,
                          const char* b, const char* c) {
  CopyField(server_, server);
  if (port != -1) port_ = port;
  CopyField(third_, a);
  CopyField(fourth_, b);
  CopyField(fifth_, c);
}

bool ResultsDB::writeSSGExperInfo(const char* /*experiment_name*/,
                                  unsigned long /*number_of_states*/) {
  return true;
}
