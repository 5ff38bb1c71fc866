#ifndef GEN_GENERATOR_RESULTSDB_H_
#define GEN_GENERATOR_RESULTSDB_H_

// Descriptor of a results database through which the number of generated
// states would be recorded. No database is reached: every write reports
// success and records nothing. Texts are kept in fixed-width fields; longer
// texts are cut to fit.
class ResultsDB {
 public:
  ResultsDB(const char* server, int port, const char* a, const char* b,
            const char* c);

  void setDBInfo(const char* server, int port, const char* a, const char* b,
                 const char* c);
  int init() { return 1; }
  unsigned long getRunId() { return 0xFFFFFFFFul; }
  bool writeSingleGV() { return true; }
  bool writeGVValues() { return true; }
  bool writeSSGExperInfo(const char* experiment_name,
                         unsigned long number_of_states);

  const char* server() const { return server_; }
  int port() const { return port_; }

 private:
  char server_[100] = {};
  int port_ = -1;
  char third_[200] = {};
  char fourth_[100] = {};
  char fifth_[612] = {};
};

#endif  // GEN_GENERATOR_RESULTSDB_H_
