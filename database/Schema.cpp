#include "database/Schema.h"

std::vector<std::string> SchemaStatements(bool postgres) {
  const std::string id =
      postgres ? "BIGSERIAL PRIMARY KEY" : "INTEGER PRIMARY KEY AUTOINCREMENT";
  const std::string real = postgres ? "DOUBLE PRECISION" : "REAL";
  return {
      "CREATE TABLE IF NOT EXISTS runs ("
      "id " +
          id +
          ", "
          "entity TEXT, "
          "program TEXT NOT NULL, "
          "version TEXT NOT NULL, "
          "model_file TEXT, "
          "model_sha256 TEXT, "
          "experiment INTEGER, "
          "experiment_name TEXT, "
          "result_path TEXT NOT NULL, "
          "result_name TEXT NOT NULL, "
          "result_base TEXT NOT NULL, "
          "states BIGINT, "
          "transitions BIGINT, "
          "started_at TEXT NOT NULL, "
          "finished_at TEXT, "
          "status TEXT NOT NULL)",
      "CREATE INDEX IF NOT EXISTS runs_by_result ON runs (result_base)",
      "CREATE INDEX IF NOT EXISTS runs_by_entity ON runs (entity)",
      "CREATE TABLE IF NOT EXISTS globals ("
      "run_id BIGINT NOT NULL REFERENCES runs (id) ON DELETE CASCADE, "
      "position INTEGER NOT NULL, "
      "name TEXT NOT NULL, "
      "type TEXT NOT NULL, "
      "value " +
          real +
          ", "
          "PRIMARY KEY (run_id, position))",
      "CREATE TABLE IF NOT EXISTS measures ("
      "id " +
          id +
          ", "
          "run_id BIGINT NOT NULL REFERENCES runs (id) ON DELETE CASCADE, "
          "position INTEGER NOT NULL, "
          "measure TEXT NOT NULL, "
          "subject TEXT NOT NULL, "
          "time_start " +
          real +
          ", "
          "time_stop " +
          real +
          ", "
          "value " +
          real +
          ", "
          "bound " +
          real +
          ", "
          "method TEXT, "
          "solved_at TEXT NOT NULL)",
      "CREATE INDEX IF NOT EXISTS measures_by_run ON measures (run_id)",
  };
}
