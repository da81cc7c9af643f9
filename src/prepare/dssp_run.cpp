// DSSP's sheets for an entry without sheet records. mkdssp reads a clean
// mmCIF copy of the amino-acid chains (it refuses many PDB files as they come:
// without CRYST1, with odd headers, or with another program's records) and
// writes its assignment as mmCIF: strands in struct_sheet_range, the ladders
// between them in struct_sheet_order.
#include <gemmi/cif.hpp>
#include <gemmi/to_cif.hpp>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <thread>

#include "velmorantique/prepare.h"

extern char** environ;

namespace vel {
namespace prepare {

namespace fs = std::filesystem;

namespace {

// A private folder for DSSP's input and output, removed with everything in it.
struct ScratchFolder {
  fs::path path;
  ScratchFolder() {
    std::string pattern = (fs::temp_directory_path() / "velmorantique-dssp-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw PrepareError("cannot make a temporary folder for DSSP: " + std::string(std::strerror(errno)));
    path = pattern;
  }
  ~ScratchFolder() {
    std::error_code ec;
    fs::remove_all(path, ec);
  }
};

std::string coordinate(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.3f", v);
  return buf;
}

// A label for the n-th chain that no chain name can clash with.
std::string asymId(size_t n) { return "C" + std::to_string(n + 1); }

// Residue k of chain n is label_seq_id k + 1 of asym C(n+1), so that DSSP's
// answer maps back to the residue exactly, whatever the author numbering.
void writeDsspInput(const Structure& st, const std::string& path) {
  gemmi::cif::Document doc;
  doc.blocks.emplace_back("velmorantique");
  gemmi::cif::Block& block = doc.blocks.back();
  block.set_pair("_entry.id", gemmi::cif::quote(st.entry.empty() ? "entry" : st.entry));
  std::vector<std::string> scheme, atoms;
  size_t serial = 0;
  for (size_t n = 0; n < st.chains.size(); ++n) {
    const Chain& chain = st.chains[n];
    if (!chain.aminoAcids) continue;
    const std::string asym = asymId(n), entity = std::to_string(n + 1), author = gemmi::cif::quote(chain.name);
    for (size_t k = 0; k < chain.residues.size(); ++k) {
      const Residue& r = chain.residues[k];
      const std::string seq = std::to_string(k + 1), number = std::to_string(r.number);
      const std::string name = gemmi::cif::quote(r.name);
      const std::string icode = r.icode == ' ' ? "?" : gemmi::cif::quote(std::string(1, r.icode));
      scheme.insert(scheme.end(), {asym, entity, seq, name, seq, number, number, name, name, author, icode, "n"});
      for (const Atom& a : r.atoms) {
        const std::string atom = gemmi::cif::quote(a.name);
        atoms.insert(atoms.end(), {"ATOM", std::to_string(++serial), gemmi::cif::quote(a.element.empty() ? "X" : a.element),
                                   atom, ".", name, asym, entity, seq, icode, coordinate(a.pos[0]),
                                   coordinate(a.pos[1]), coordinate(a.pos[2]), "1", "0", number, name, author, atom,
                                   "1"});
      }
    }
  }
  // Each loop is filled before the next is made: making one may move the others.
  block.init_mmcif_loop("_pdbx_poly_seq_scheme.", {"asym_id", "entity_id", "seq_id", "mon_id", "ndb_seq_num",
                                                    "pdb_seq_num", "auth_seq_num", "pdb_mon_id", "auth_mon_id",
                                                    "pdb_strand_id", "pdb_ins_code", "hetero"})
      .values = std::move(scheme);
  block.init_mmcif_loop("_atom_site.", {"group_PDB", "id", "type_symbol", "label_atom_id", "label_alt_id",
                                        "label_comp_id", "label_asym_id", "label_entity_id", "label_seq_id",
                                        "pdbx_PDB_ins_code", "Cartn_x", "Cartn_y", "Cartn_z", "occupancy",
                                        "B_iso_or_equiv", "auth_seq_id", "auth_comp_id", "auth_asym_id",
                                        "auth_atom_id", "pdbx_PDB_model_num"})
      .values = std::move(atoms);
  std::ofstream out(path, std::ios::binary);
  gemmi::cif::write_cif_to_stream(out, doc, gemmi::cif::Style::Simple);
  out.close();
  if (!out) throw PrepareError(path + ": cannot write DSSP's input");
}

std::string lastLine(const std::string& path) {
  std::ifstream in(path);
  std::string line, last;
  while (std::getline(in, line))
    if (line.find_first_not_of(" \t\r") != std::string::npos) last = line;
  return last;
}

// Runs the program with standard input from /dev/null and its output into
// files, in a process group of its own, stopped after the timeout.
void runDssp(const DsspRun& run, const fs::path& in, const fs::path& out, const fs::path& log) {
  std::vector<std::string> args = {run.program, "--write-experimental", "--output-format", "mmcif", in.string(),
                                   out.string()};
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t files;
  posix_spawn_file_actions_init(&files);
  posix_spawn_file_actions_addopen(&files, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&files, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_adddup2(&files, 1, 2);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(&attributes, 0);
  pid_t pid = 0;
  const int started = posix_spawnp(&pid, run.program.c_str(), &files, &attributes, argv.data(), environ);
  posix_spawn_file_actions_destroy(&files);
  posix_spawnattr_destroy(&attributes);
  if (started != 0)
    throw PrepareError("cannot run DSSP (" + run.program + ": " + std::strerror(started) +
                       "); install Debian's dssp package, which provides mkdssp, or give --assign records");
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(run.timeoutSeconds);
  int status = 0;
  for (;;) {
    const pid_t ended = waitpid(pid, &status, WNOHANG);
    if (ended == pid || (ended < 0 && errno != EINTR)) break;
    if (std::chrono::steady_clock::now() >= deadline) {
      kill(-pid, SIGKILL);
      while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
      }
      char seconds[32];
      std::snprintf(seconds, sizeof seconds, "%g", run.timeoutSeconds);
      throw PrepareError("DSSP (" + run.program + ") was stopped after " + seconds + " s without an answer");
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    const std::string said = lastLine(log.string());
    const std::string how = WIFEXITED(status) ? "status " + std::to_string(WEXITSTATUS(status))
                                              : "signal " + std::to_string(WTERMSIG(status));
    throw PrepareError("DSSP (" + run.program + ") failed with " + how + (said.empty() ? "" : ": " + said));
  }
}

}  // namespace

std::vector<Sheet> assignSheetsByDssp(const Structure& st, const DsspRun& run) {
  ScratchFolder scratch;
  const fs::path in = scratch.path / "chains.cif", out = scratch.path / "dssp.cif", log = scratch.path / "dssp.log";
  writeDsspInput(st, in.string());
  runDssp(run, in, out, log);
  gemmi::cif::Document doc;
  try {
    doc = gemmi::cif::read_file(out.string());
  } catch (const std::exception& e) {
    throw PrepareError("DSSP's answer cannot be read (" + std::string(e.what()) + ")");
  }
  if (doc.blocks.empty()) throw PrepareError("DSSP's answer holds no data");
  gemmi::cif::Block& block = doc.blocks.front();

  auto residueAt = [&](const std::string& asym, const std::string& seq, ResidueId& id) {
    for (size_t n = 0; n < st.chains.size(); ++n) {
      if (asymId(n) != asym) continue;
      const long k = std::strtol(seq.c_str(), nullptr, 10) - 1;
      if (k < 0 || static_cast<size_t>(k) >= st.chains[n].residues.size()) return false;
      const Residue& r = st.chains[n].residues[static_cast<size_t>(k)];
      id = {st.chains[n].name, r.name, r.number, r.icode};
      return true;
    }
    return false;
  };
  // Every strand, with the DSSP sheet that names it and its place in DSSP's input.
  struct Found {
    Strand strand;
    std::string sheet, asym;
    long first = 0, last = 0;
  };
  std::vector<Found> strands;
  std::map<std::pair<std::string, std::string>, size_t> byId;  // (sheet, strand id) -> strand
  for (const auto row : block.find("_struct_sheet_range.", {"sheet_id", "id", "beg_label_asym_id", "beg_label_seq_id",
                                                            "end_label_asym_id", "end_label_seq_id"})) {
    Found f;
    if (!residueAt(row.str(2), row.str(3), f.strand.start) || !residueAt(row.str(4), row.str(5), f.strand.end))
      throw PrepareError("DSSP names a strand residue that is not in its input");
    f.sheet = row.str(0);
    f.asym = row.str(2);
    f.first = std::strtol(row.str(3).c_str(), nullptr, 10);
    f.last = std::strtol(row.str(5).c_str(), nullptr, 10);
    byId[{f.sheet, row.str(1)}] = strands.size();
    strands.push_back(f);
  }
  auto strandHolding = [&](const std::string& asym, const std::string& seq) {
    const long k = std::strtol(seq.c_str(), nullptr, 10);
    for (size_t i = 0; i < strands.size(); ++i)
      if (strands[i].asym == asym && strands[i].first <= k && k <= strands[i].last) return i;
    return strands.size();
  };
  // DSSP's ladders join strands across chains too; its own sheet table is
  // written chain by chain and is used only when the ladders are missing.
  std::vector<Ladder> ladders;
  for (const auto row : block.find("_dssp_struct_ladder.", {"type", "beg_1_label_asym_id", "beg_1_label_seq_id",
                                                            "beg_2_label_asym_id", "beg_2_label_seq_id"})) {
    const size_t a = strandHolding(row.str(1), row.str(2)), b = strandHolding(row.str(3), row.str(4));
    if (a < strands.size() && b < strands.size()) ladders.push_back({a, b, row.str(0).compare(0, 1, "p") == 0 ? 1 : -1});
  }
  if (ladders.empty())
    for (const auto row : block.find("_struct_sheet_order.", {"sheet_id", "range_id_1", "range_id_2", "sense"})) {
      auto a = byId.find({row.str(0), row.str(1)}), b = byId.find({row.str(0), row.str(2)});
      if (a != byId.end() && b != byId.end())
        ladders.push_back({a->second, b->second, row.str(3).compare(0, 1, "p") == 0 ? 1 : -1});
    }
  // One sheet per set of strands joined by ladders, named after DSSP's sheet
  // of its first strand.
  std::vector<size_t> group(strands.size());
  for (size_t i = 0; i < group.size(); ++i) group[i] = i;
  std::function<size_t(size_t)> root = [&](size_t i) { return group[i] == i ? i : group[i] = root(group[i]); };
  for (const Ladder& l : ladders) group[root(l.first)] = root(l.second);
  std::vector<Sheet> sheets;
  std::set<size_t> done;
  std::set<std::string> names;
  for (size_t first = 0; first < strands.size(); ++first) {
    const size_t group0 = root(first);
    if (!done.insert(group0).second) continue;
    std::vector<Strand> members;
    std::map<size_t, size_t> place;
    for (size_t i = first; i < strands.size(); ++i)
      if (root(i) == group0) {
        place[i] = members.size();
        members.push_back(strands[i].strand);
      }
    std::vector<Ladder> joins;
    for (const Ladder& l : ladders)
      if (root(l.first) == group0) joins.push_back({place[l.first], place[l.second], l.sense});
    std::string id = strands[first].sheet;
    while (!names.insert(id).second) id += "_";
    for (Sheet& s : sheetsFromLadders(id, members, joins)) sheets.push_back(std::move(s));
  }
  return sheets;
}

}  // namespace prepare
}  // namespace vel
