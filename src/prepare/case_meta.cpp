// meta.json: what a case is and how it was made, for people and for the
// tools that gather results across cases.
#include <nlohmann/json.hpp>

#include <cmath>
#include <fstream>

#include "case_record.h"
#include "velmorantique/summary.h"

namespace vel {
namespace prepare {

namespace {

// Divides by the power of ten so that the stored double is the nearest to the
// decimal (-28.7, not -28.700000000000003).
double rounded(double v, double perUnit) { return std::round(v * perUnit) / perUnit; }

// Not-a-number is written as null.
nlohmann::ordered_json number(double v) { return std::isfinite(v) ? nlohmann::ordered_json(v) : nlohmann::ordered_json(nullptr); }

nlohmann::ordered_json triple(const std::array<double, 3>& v) { return {v[0], v[1], v[2]}; }

}  // namespace

std::string caseMeta(const CaseRecord& c) {
  nlohmann::ordered_json j;
  j["case"] = c.name;
  j["entry"] = c.entry;
  j["chain"] = c.chain.substr(0, 1);
  j["sheet_id"] = c.sheetId;
  j["strand_count"] = c.strands.size();
  nlohmann::ordered_json strands = nlohmann::ordered_json::array();
  for (size_t i = 0; i < c.strands.size(); ++i)
    strands.push_back({{"strand", i + 1},
                       {"start", c.strands[i].start},
                       {"end", c.strands[i].end},
                       {"sense", c.strands[i].sense},
                       {"residues", c.strands[i].residues}});
  j["strands"] = strands;
  j["sheet_residue_count"] = c.sheetResidues;
  j["sheet_atom_count"] = c.sheetAtoms;
  j["chain_residue_count"] = c.chainResidues;
  j["resolution_A"] = c.resolution;
  j["voxel_size_A"] = triple(c.box.voxel);
  j["box_voxels"] = {c.box.n[0], c.box.n[1], c.box.n[2]};
  j["box_size_A"] = {c.box.n[0] * c.box.voxel[0], c.box.n[1] * c.box.voxel[1], c.box.n[2] * c.box.voxel[2]};
  j["origin_A"] = triple(c.box.origin);
  j["margin_A"] = c.margin;
  j["density_model"] = c.densityModel;
  j["threshold"] = c.level.level;
  j["threshold_rule"] = c.thresholdRule;
  j["level_rule"] = c.levelRule;
  if (c.volumeFactor > 0) j["volume_factor"] = c.volumeFactor;
  j["molecular_volume_A3"] = rounded(c.molecularVolume, 100);
  j["voxels_above_threshold"] = c.level.kept;
  j["enclosed_volume_A3"] = c.level.kept * c.box.voxel[0] * c.box.voxel[1] * c.box.voxel[2];
  j["components_6_connected"] = c.level.pieces6;
  j["components_26_connected"] = c.level.pieces26;
  j["ca_inside_fraction"] = c.caInsideFraction;
  j["map_min"] = c.mapMin;
  j["map_max"] = c.mapMax;
  j["map_bytes"] = c.mapBytes;
  nlohmann::ordered_json angles = nlohmann::ordered_json::array();
  double sum = 0;
  for (double a : c.angles) {
    angles.push_back(rounded(a, 10));
    sum += a;
  }
  j["inter_strand_angles_deg"] = angles;
  j["mean_inter_strand_angle_deg"] =
      c.angles.empty() ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(rounded(sum / c.angles.size(), 10));
  j["angle_convention"] =
      "per neighbouring pair of strands in SHEET order: u1, u2 = strand axes (principal axis of the CAs, N to C), "
      "u2 flipped to point like u1; K = unit link from strand 1 to strand 2 perpendicular to u1; "
      "angle = atan2((u1 x u2).K, u1.u2). Natural sheets give negative values (left-handed viewed across the strands)";
  j["files"] = {{"pdb", c.name + ".pdb"}, {"map", c.name + ".mrc"}, {"threshold", "threshold"}};
  j["run"] = "velmorantique " + c.name + " " + c.name + " " + c.level.text + "   (from inside this folder)";
  j["kind"] = c.kind;
  j["source"] = c.source;
  j["source_chain"] = c.chain;
  j["source_sheet_strands"] = c.strands.size();
  j["secondary_structure_source"] = c.sheetSource;
  if (!c.mapSource.empty()) {
    j["map_source"] = c.mapSource;
    j["zone_A"] = c.zone;
    j["noise_sigma"] = number(c.noiseSigma);
    j["model_map_fit"] = {{"strand_ca_in_density", number(c.fitCaInDensity)},
                          {"correlation", number(c.fitCorrelation)}};
  }
  if (c.kind == "synthetic") {
    j["orientation"] = c.synthetic.parallel ? "parallel" : "antiparallel";
    j["strand_length"] = c.synthetic.length;
    j["strand_spacing_A"] = 4.8;
    j["rise_per_residue_A"] = 3.35;
    j["true_inter_strand_angle_deg"] = c.synthetic.twist;
  }
  return j.dump(1) + "\n";
}

std::string metaSheet(const std::string& entry, const std::string& chain, const std::string& sheetId) {
  return entry + " chain " + chain + " sheet " + sheetId;
}

std::string metaSheet(const std::string& metaPath) {
  std::string problem;  // a damaged meta.json names no sheet
  const nlohmann::json j = readJsonFile(metaPath, problem);
  if (!j.is_object()) return "";
  const auto text = [&](const char* key) {
    const auto it = j.find(key);
    return it != j.end() && it->is_string() ? it->get<std::string>() : std::string();
  };
  return metaSheet(text("entry"), text("chain").substr(0, 1), text("sheet_id"));
}

}  // namespace prepare
}  // namespace vel
