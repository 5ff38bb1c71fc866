// The layering of the source tree: which top-level folder includes which.
// A cycle between folders, or a layer reaching up, fails here rather than in
// a review.

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "gtest/gtest.h"

namespace {

namespace fs = std::filesystem;

using Graph = std::map<std::string, std::set<std::string>>;

// Folders that are not part of the program's layers.
bool Ignored(const std::string& folder) {
  static const std::set<std::string> kIgnored = {"tests", "bench", "fuzz",
                                                 "docs"};
  return folder.empty() || folder[0] == '.' || folder.rfind("build", 0) == 0 ||
         kIgnored.count(folder) > 0;
}

// Folder -> the other folders its sources include ("folder/file.h").
Graph IncludeGraph(const fs::path& root) {
  Graph graph;
  for (const fs::directory_entry& top : fs::directory_iterator(root)) {
    const std::string folder = top.path().filename().string();
    if (top.is_directory() && !Ignored(folder)) graph[folder];
  }
  const std::regex include(R"(^\s*#\s*include\s*"([^"/]+)/)");
  for (auto& [folder, targets] : graph) {
    for (const fs::directory_entry& entry :
         fs::recursive_directory_iterator(root / folder)) {
      const std::string extension = entry.path().extension().string();
      if (extension != ".h" && extension != ".cpp") continue;
      std::ifstream in(entry.path());
      std::string line;
      std::smatch match;
      while (std::getline(in, line)) {
        if (std::regex_search(line, match, include) && match[1] != folder &&
            graph.count(match[1]) > 0) {
          targets.insert(match[1]);
        }
      }
    }
  }
  return graph;
}

// Every cycle that a depth-first walk meets, as "a -> b -> a".
std::vector<std::string> Cycles(const Graph& graph) {
  std::map<std::string, int> state;  // 1: on the walk, 2: done
  std::vector<std::string> walk;
  std::vector<std::string> cycles;
  std::function<void(const std::string&)> visit = [&](const std::string& u) {
    state[u] = 1;
    walk.push_back(u);
    for (const std::string& v : graph.at(u)) {
      if (state[v] == 1) {
        std::string cycle;
        for (auto it = std::find(walk.begin(), walk.end(), v); it != walk.end();
             ++it) {
          cycle += *it + " -> ";
        }
        cycles.push_back(cycle + v);
      } else if (state[v] == 0) {
        visit(v);
      }
    }
    walk.pop_back();
    state[u] = 2;
  };
  for (const auto& [folder, targets] : graph) {
    if (state[folder] == 0) visit(folder);
  }
  return cycles;
}

TEST(FolderGraphTest, CyclesAreFound) {
  const Graph graph = {{"a", {"b"}}, {"b", {"c"}}, {"c", {"a"}}, {"d", {"a"}}};
  EXPECT_EQ(Cycles(graph), std::vector<std::string>{"a -> b -> c -> a"});
  EXPECT_TRUE(Cycles({{"a", {"b"}}, {"b", {}}}).empty());
}

TEST(FolderGraphTest, FoldersIncludeEachOtherWithoutCycles) {
  const Graph graph = IncludeGraph(GEN_SOURCE_DIR);
  ASSERT_GT(graph.count("generator"), 0u);
  for (const std::string& cycle : Cycles(graph)) ADD_FAILURE() << cycle;
}

// The explorer knows nothing of models: only the base layer and the file
// writers lie below it.
TEST(FolderGraphTest, ExplorerDependsOnlyOnBaseAndOutput) {
  const Graph graph = IncludeGraph(GEN_SOURCE_DIR);
  EXPECT_EQ(graph.at("generator"), (std::set<std::string>{"base", "output"}));
  EXPECT_TRUE(graph.at("base").empty());
  EXPECT_EQ(graph.at("output"), std::set<std::string>{});
}

// The front ends (the model language and the readers of other tools' model
// files) form a wing of their own: they include only the base layer and each
// other, and only the bridge and the programs reach into them, so that
// neither side of the bridge can grow into the other.
TEST(FolderGraphTest, FrontEndsMeetTheGeneratorOnlyAtTheBridge) {
  const std::set<std::string> wing = {"lang", "peer", "jani", "pnpro", "prism"};
  const std::set<std::string> may_reach_wing = {"bridge", "san"};
  const Graph graph = IncludeGraph(GEN_SOURCE_DIR);
  for (const auto& [folder, targets] : graph) {
    SCOPED_TRACE(folder);
    const bool in_wing = wing.count(folder) > 0;
    for (const std::string& target : targets) {
      if (in_wing) {
        EXPECT_TRUE(wing.count(target) > 0 || target == "base")
            << folder << " includes " << target;
      } else if (wing.count(target) > 0) {
        EXPECT_GT(may_reach_wing.count(folder), 0u)
            << folder << " includes " << target;
      }
    }
  }
  for (const std::string& folder : wing) EXPECT_GT(graph.count(folder), 0u);
}

}  // namespace

namespace {

// The results database is reached by runs and by the solver alike, so it
// stands on the base layer alone.
TEST(FolderGraphTest, ResultsDatabaseDependsOnlyOnBase) {
  const Graph graph = IncludeGraph(GEN_SOURCE_DIR);
  EXPECT_EQ(graph.at("database"), std::set<std::string>{"base"});
}

}  // namespace
