#pragma once
// A batch folder as the batch tool leaves it, written by the report tests:
// OUT/cases/NAME/record.json per case, the run's output folder with a summary
// and stage PDB files of pseudo-atoms.

#include <filesystem>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "support/gzip_file.h"
#include "support/pdb_text.h"
#include "support/program.h"

struct BatchFolder {
  std::string root = makeTempDir();
  std::string out = root + "/OUT";

  // The case folder; the record points at the summary and output folder given.
  std::string addCase(const std::string& name, nlohmann::json record) {
    const std::string folder = out + "/cases/" + name;
    std::filesystem::create_directories(folder);
    record["case"] = name;
    if (!record.contains("finished")) record["finished"] = true;
    writeFile(folder + "/record.json", record.dump(1));
    return folder;
  }

  // A finished case whose run left `summary` and the stage files in ROOT/runs/NAME/,
  // with the case's meta.json when one is given.
  std::string addFinishedCase(const std::string& name, const nlohmann::json& summary,
                              const nlohmann::json& meta = nullptr) {
    const std::string outputDir = root + "/runs/" + name + "/";
    std::filesystem::create_directories(outputDir);
    writeFile(outputDir + "summary.json", summary.dump(1));
    if (!meta.is_null()) writeFile(outputDir + "meta.json", meta.dump(1));
    addCase(name, {{"status", "ok"}, {"case_dir", root + "/runs"}, {"output_dir", outputDir},
                   {"summary", outputDir + "summary.json"},
                   {"meta", meta.is_null() ? nlohmann::json(nullptr) : nlohmann::json(outputDir + "meta.json")},
                   {"seconds", 0.5}});
    return outputDir;
  }
};

// Pseudo-atoms as the analysis writes them, one residue of waters or C-alphas.
inline std::string pseudoAtoms(const std::vector<std::vector<double>>& points, const std::string& atom = " H  ",
                               const std::string& residue = "HOH") {
  std::string text;
  int serial = 0;
  for (const std::vector<double>& p : points) text += atomLine(++serial, atom, residue, 1, p[0], p[1], p[2]);
  return text;
}

// n points 0.1 Å apart along x from (x0, y, 0): a resampled strand line.
inline std::vector<std::vector<double>> stickLine(double x0, double y, int n) {
  std::vector<std::vector<double>> points;
  for (int i = 0; i < n; ++i) points.push_back({x0 + 0.1 * i, y, 0.0});
  return points;
}

inline void writeGzipText(const std::string& path, const std::string& text) {
  writeGzipFile(path, std::vector<unsigned char>(text.begin(), text.end()));
}
