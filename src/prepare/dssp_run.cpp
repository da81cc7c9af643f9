// DSSP's sheets for an entry without sheet records. mkdssp reads a clean
// mmCIF copy of the amino-acid chains (it refuses many PDB files as they come:
// without CRYST1, with odd headers, or with another program's records) and
// answers in the classic DSSP format: per residue its structure, its bridge
// partners with their ladder labels, and its sheet. (Its mmCIF sheet tables
// split sheets chain by chain and stop on closed barrels.)
#include <gemmi/cif.hpp>
#include <gemmi/to_cif.hpp>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
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

// The classic format gives a residue's chain in one column, so each chain
// DSSP reads gets one of these characters, and each residue its index in the
// chain (from 1) as its number: the answer maps back to the residue exactly,
// whatever the file's chain names and numbering.
constexpr char kChainCodes[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
constexpr size_t kMaxChains = sizeof kChainCodes - 1;

// The chains DSSP reads: the chains prepared, then every other chain with
// amino acids (whose strands may join theirs), up to the number the format
// can name.
std::vector<size_t> dsspChains(const Structure& st, const std::string& prepared) {
  const std::vector<std::string> names = chainsPrepared(st, prepared);
  if (names.size() > kMaxChains)
    throw PrepareError("DSSP reads at most " + std::to_string(kMaxChains) + " chains at once, and " +
                       std::to_string(names.size()) + " are to be prepared; name fewer with --chain");
  std::vector<size_t> chains;
  for (bool first : {true, false})
    for (size_t n = 0; n < st.chains.size() && chains.size() < kMaxChains; ++n) {
      const bool named = std::find(names.begin(), names.end(), st.chains[n].name) != names.end();
      if (st.chains[n].aminoAcids && named == first) chains.push_back(n);
    }
  return chains;
}

void writeDsspInput(const Structure& st, const std::vector<size_t>& chains, const std::string& path) {
  gemmi::cif::Document doc;
  doc.blocks.emplace_back("velmorantique");
  gemmi::cif::Block& block = doc.blocks.back();
  block.set_pair("_entry.id", gemmi::cif::quote(st.entry.empty() ? "entry" : st.entry));
  std::vector<std::string> scheme, atoms;
  size_t serial = 0;
  for (size_t c = 0; c < chains.size(); ++c) {
    const Chain& chain = st.chains[chains[c]];
    const std::string code(1, kChainCodes[c]), entity = std::to_string(c + 1);
    for (size_t k = 0; k < chain.residues.size(); ++k) {
      const Residue& r = chain.residues[k];
      const std::string seq = std::to_string(k + 1), name = gemmi::cif::quote(r.name);
      scheme.insert(scheme.end(), {code, entity, seq, name, seq, seq, seq, name, name, code, ".", "n"});
      for (const Atom& a : r.atoms) {
        const std::string atom = gemmi::cif::quote(a.name);
        atoms.insert(atoms.end(), {"ATOM", std::to_string(++serial), gemmi::cif::quote(a.element.empty() ? "X" : a.element),
                                   atom, ".", name, code, entity, seq, "?", coordinate(a.pos[0]), coordinate(a.pos[1]),
                                   coordinate(a.pos[2]), "1", "0", seq, name, code, atom, "1"});
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

// One residue line of the classic format.
struct DsspResidue {
  ResidueId id;
  char structure = ' ';  // 'E': in a ladder of a sheet
  char labels[2] = {' ', ' '};  // ladder of each partner: lower case parallel, upper case antiparallel
  long partners[2] = {0, 0};    // the partners' line numbers, 0 for none
  char sheet = ' ';
};

long field(const std::string& line, size_t from, size_t width) {
  return line.size() < from + width ? 0 : std::strtol(line.substr(from, width).c_str(), nullptr, 10);
}

// The residues by their line number; chain breaks ('!') are left out.
std::map<long, DsspResidue> readDsspAnswer(const Structure& st, const std::vector<size_t>& chains,
                                           const std::string& path) {
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line) && line.compare(0, 12, "  #  RESIDUE") != 0) {
  }
  if (!in) throw PrepareError("DSSP's answer holds no residue table");
  std::map<long, DsspResidue> residues;
  while (std::getline(in, line)) {
    if (line.size() < 34 || line[13] == '!') continue;
    const char* code = std::strchr(kChainCodes, line[11]);
    const long index = field(line, 5, 5) - 1;
    if (line[11] == '\0' || !code || static_cast<size_t>(code - kChainCodes) >= chains.size())
      throw PrepareError("DSSP's answer names a chain that is not in its input");
    const Chain& chain = st.chains[chains[static_cast<size_t>(code - kChainCodes)]];
    if (index < 0 || static_cast<size_t>(index) >= chain.residues.size())
      throw PrepareError("DSSP's answer names a residue that is not in its input");
    const Residue& r = chain.residues[static_cast<size_t>(index)];
    DsspResidue d;
    d.id = {chain.name, r.name, r.number, r.icode};
    d.structure = line[16];
    d.labels[0] = line[23];
    d.labels[1] = line[24];
    d.partners[0] = field(line, 25, 4);
    d.partners[1] = field(line, 29, 4);
    d.sheet = line[33];
    residues[field(line, 0, 5)] = d;
  }
  return residues;
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
  std::vector<std::string> args = {run.program, "--output-format", "dssp", in.string(), out.string()};
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

std::vector<Sheet> assignSheetsByDssp(const Structure& st, const std::string& prepared, const DsspRun& run) {
  ScratchFolder scratch;
  const fs::path in = scratch.path / "chains.cif", out = scratch.path / "answer.dssp", log = scratch.path / "dssp.log";
  const std::vector<size_t> chains = dsspChains(st, prepared);
  writeDsspInput(st, chains, in.string());
  runDssp(run, in, out, log);
  const std::map<long, DsspResidue> residues = readDsspAnswer(st, chains, out.string());

  // Strands: runs of ladder residues, one after the other in one chain and sheet.
  std::vector<Strand> strands;
  std::vector<char> sheetOf;
  std::map<long, size_t> strandOf;  // line number -> strand
  long previous = -1;
  for (const auto& [number, r] : residues) {
    if (r.structure != 'E') continue;
    const auto before = residues.find(number - 1);
    const bool continues = previous == number - 1 && before != residues.end() &&
                           before->second.id.chain == r.id.chain && before->second.sheet == r.sheet;
    if (!continues) {
      strands.emplace_back();
      strands.back().start = r.id;
      sheetOf.push_back(r.sheet);
    }
    strands.back().end = r.id;
    strandOf[number] = strands.size() - 1;
    previous = number;
  }
  std::vector<Ladder> ladders;
  for (const auto& [number, r] : residues)
    for (int p = 0; p < 2; ++p) {
      const auto partner = strandOf.find(r.partners[p]);
      if (r.partners[p] == 0 || partner == strandOf.end() || !strandOf.count(number)) continue;
      const int sense = std::islower(static_cast<unsigned char>(r.labels[p])) ? 1 : -1;
      ladders.push_back({strandOf.at(number), partner->second, sense});
    }
  // One sheet per set of strands joined by ladders, named by DSSP's label.
  std::vector<size_t> group(strands.size());
  for (size_t i = 0; i < group.size(); ++i) group[i] = i;
  std::function<size_t(size_t)> root = [&](size_t i) { return group[i] == i ? i : group[i] = root(group[i]); };
  for (const Ladder& l : ladders) group[root(l.first)] = root(l.second);
  std::vector<Sheet> sheets;
  std::set<size_t> done;
  std::set<std::string> names;
  for (size_t first = 0; first < strands.size(); ++first) {
    const size_t set = root(first);
    if (!done.insert(set).second) continue;
    std::vector<Strand> members;
    std::map<size_t, size_t> place;
    for (size_t i = first; i < strands.size(); ++i)
      if (root(i) == set) {
        place[i] = members.size();
        members.push_back(strands[i]);
      }
    std::vector<Ladder> joins;
    for (const Ladder& l : ladders)
      if (root(l.first) == set) joins.push_back({place[l.first], place[l.second], l.sense});
    std::string id(1, sheetOf[first] == ' ' ? 'S' : sheetOf[first]);
    while (!names.insert(id).second) id += "_";
    for (Sheet& s : sheetsFromLadders(id, members, joins)) sheets.push_back(std::move(s));
  }
  return sheets;
}

}  // namespace prepare
}  // namespace vel
