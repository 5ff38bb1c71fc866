#ifndef GEN_GENERATOR_RESULTSDB_H_
#define GEN_GENERATOR_RESULTSDB_H_

// Descriptor of a results database through which the number of generated
// states would be recorded. No database is reached: the write reports
// success and records nothing. The server name is kept in a fixed-width
// field; a longer name is cut to fit.
class ResultsDB {
 public:
  // `port` -1 leaves the port unset.
  ResultsDB(const char* server, int port);

  bool writeSSGExperInfo(const char* experiment_name,
                         unsigned long number_of_states) const;

  const char* server() const { return server_; }
  int port() const { return port_; }

 private:
  char server_[100] = {};
  int port_ = -1;
};

#endif  // GEN_GENERATOR_RESULTSDB_H_
