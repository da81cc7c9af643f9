// Reading PDB and mmCIF files (plain or gzipped) into the plain structure the
// preparation works on: model 1, first alternate location, no hydrogens, the
// ATOM residues of every chain and the sheet records.
#include <gemmi/mmcif.hpp>
#include <gemmi/modify.hpp>
#include <gemmi/pdb.hpp>
#include <gemmi/cif.hpp>
#include <gemmi/resinfo.hpp>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <map>
#include <ostream>
#include <set>
#include <string>

#include "entry_input.h"
#include "velmorantique/prepare.h"

namespace vel {
namespace prepare {

const Atom* Residue::find(const std::string& atomName) const {
  for (const Atom& a : atoms)
    if (a.name == atomName) return &a;
  return nullptr;
}

namespace {

enum class Format { Pdb, Mmcif, Unknown };

// Decides by content, not by name: an mmCIF file opens a data block, a PDB
// file has records named in its first six columns.
Format sniffFormat(const std::string& text) {
  size_t i = 0;
  while (i < text.size()) {
    size_t end = text.find('\n', i);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(i, end - i);
    i = end + 1;
    size_t first = line.find_first_not_of(" \t\r");
    if (first == std::string::npos || line[first] == '#') continue;
    if (line.compare(first, 5, "data_") == 0) return Format::Mmcif;
    static const char* const kRecords[] = {"HEADER", "TITLE ", "COMPND", "REMARK", "ATOM  ", "HETATM",
                                           "CRYST1", "MODEL ", "SEQRES", "HELIX ", "SHEET ", "EXPDTA",
                                           "SOURCE", "KEYWDS", "AUTHOR", "REVDAT", "JRNL  ", "OBSLTE"};
    for (const char* r : kRecords)
      if (line.compare(0, 6, r) == 0 || (line.size() < 6 && std::string(r).compare(0, line.size(), line) == 0))
        return Format::Pdb;
    return Format::Unknown;
  }
  return Format::Unknown;
}

std::string cutColumns73To80(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    size_t end = text.find('\n', i);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(i, end - i);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.size() > 72) line.resize(72);
    out += line;
    out += '\n';
    i = end + 1;
  }
  return out;
}

std::string upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

std::string lowerBaseName(const std::string& path) {
  std::string base = path.substr(path.find_last_of('/') + 1);
  for (const char* ext : {".gz", ".pdb", ".ent", ".cif", ".mmcif"}) {
    const std::string e(ext);
    if (base.size() > e.size() && base.compare(base.size() - e.size(), e.size(), e) == 0)
      base.resize(base.size() - e.size());
  }
  if (base.compare(0, 3, "pdb") == 0 && base.size() == 7) base = base.substr(3);  // pdb1abc.ent
  return base;
}

// An amino acid by its name, or, for a name gemmi does not know, by the
// backbone atoms of one; DNA and RNA have neither.
bool isAminoAcid(const gemmi::Residue& r) {
  const gemmi::ResidueInfo info = gemmi::find_tabulated_residue(r.name);
  if (info.found()) return info.is_amino_acid();
  return r.find_atom("N", '*') && r.find_atom("CA", '*') && r.find_atom("C", '*');
}

// Where the file does not say (mmCIF files may leave group_PDB out), the
// standard residues of polymers count as ATOM records.
bool isAtomRecord(const gemmi::Residue& r) {
  if (r.het_flag != '\0') return r.het_flag == 'A';
  const gemmi::ResidueInfo info = gemmi::find_tabulated_residue(r.name);
  return info.found() && info.is_standard();
}

// A name the case's PDB file can carry and the analysis can read: printable
// ASCII only. Others are shown byte by byte.
std::string unreadableName(const std::string& name) {
  bool plain = true;
  std::string shown;
  for (unsigned char c : name) {
    plain = plain && c >= 0x20 && c < 0x7f;
    char hex[8];
    std::snprintf(hex, sizeof hex, "\\x%02X", c);
    shown += c >= 0x20 && c < 0x7f ? std::string(1, static_cast<char>(c)) : std::string(hex);
  }
  return plain ? "" : shown;
}

ResidueId residueId(const gemmi::AtomAddress& a) {
  ResidueId id;
  id.chain = a.chain_name;
  id.name = a.res_id.name;
  id.number = a.res_id.seqid.num.has_value() ? a.res_id.seqid.num.value : 0;
  id.icode = a.res_id.seqid.icode;
  return id;
}

Structure convert(gemmi::Structure& gst, const std::string& path) {
  // A residue number met again further down a chain comes back merged into
  // its first residue, which then holds the same atom twice; note it before
  // the alternate locations (the other legitimate repeats) are dropped.
  std::map<std::string, std::vector<int>> repeated;
  for (const gemmi::Chain& gc : gst.models[0].chains)
    for (const gemmi::Residue& gr : gc.residues) {
      std::set<std::pair<std::string, char>> names;
      for (const gemmi::Atom& ga : gr.atoms)
        if (!names.insert({ga.name, ga.altloc}).second) {
          repeated[gc.name].push_back(gr.seqid.num.has_value() ? gr.seqid.num.value : 0);
          break;
        }
    }
  gemmi::remove_alternative_conformations(gst);
  gemmi::remove_hydrogens(gst);
  Structure st;
  st.source = path;
  std::string id = gst.get_info("_entry.id");
  id.erase(id.find_last_not_of(' ') + 1);
  id.erase(0, id.find_first_not_of(' '));
  st.entry = id.empty() || id == "?" || id == "." ? lowerBaseName(path) : id;
  for (char& c : st.entry) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));

  for (const gemmi::Chain& gc : gst.models[0].chains) {
    Chain chain;
    chain.name = gc.name;
    chain.repeatedNumbers = repeated[gc.name];
    for (const gemmi::Residue& gr : gc.residues) {
      if (!isAtomRecord(gr)) continue;
      chain.aminoAcids = chain.aminoAcids || isAminoAcid(gr);
      const std::string where = "residue " + gr.name + " " + gr.seqid.str() + " of chain " + gc.name;
      if (!unreadableName(gr.name).empty())
        throw PrepareError(path + ": the residue name \"" + unreadableName(gr.name) + "\" (" + where +
                           ") is not plain ASCII; give the residue a standard name");
      Residue r;
      r.name = gr.name;
      r.number = gr.seqid.num.has_value() ? gr.seqid.num.value : 0;
      r.icode = gr.seqid.icode;
      for (const gemmi::Atom& ga : gr.atoms) {
        if (!unreadableName(ga.name).empty())
          throw PrepareError(path + ": the atom name \"" + unreadableName(ga.name) + "\" of " + where +
                             " is not plain ASCII; give the atom a standard name");
        Atom a;
        a.name = ga.name;
        a.element = upper(ga.element.name());
        a.pos = {ga.pos.x, ga.pos.y, ga.pos.z};
        a.occupancy = ga.occ;
        a.bFactor = ga.b_iso;
        r.atoms.push_back(a);
      }
      chain.residues.push_back(r);
    }
    if (chain.residues.empty()) continue;
    // gemmi keeps a chain interrupted by other chains as two pieces of one name.
    auto same = std::find_if(st.chains.begin(), st.chains.end(), [&](const Chain& c) { return c.name == chain.name; });
    if (same != st.chains.end()) {
      same->residues.insert(same->residues.end(), chain.residues.begin(), chain.residues.end());
      same->aminoAcids = same->aminoAcids || chain.aminoAcids;
    } else
      st.chains.push_back(chain);
    repeated[gc.name].clear();
  }
  for (const gemmi::Sheet& gs : gst.sheets) {
    Sheet sheet;
    sheet.id = gs.name;
    for (const gemmi::Sheet::Strand& g : gs.strands) {
      Strand s;
      s.start = residueId(g.start);
      s.end = residueId(g.end);
      s.sense = g.sense;
      if (!g.hbond_atom2.atom_name.empty() && !g.hbond_atom1.atom_name.empty()) {
        s.registered = true;
        s.curAtom = g.hbond_atom2.atom_name;
        s.prevAtom = g.hbond_atom1.atom_name;
        s.cur = residueId(g.hbond_atom2);
        s.prev = residueId(g.hbond_atom1);
      }
      sheet.strands.push_back(s);
    }
    st.sheets.push_back(sheet);
  }
  return st;
}

}  // namespace

Structure readStructure(const std::string& path, std::ostream* progress) {
  std::string text = readEntryText(path, progress);
  const Format format = sniffFormat(text);
  if (format == Format::Unknown) throw PrepareError(path + ": neither a PDB nor an mmCIF file");
  if (progress && text.size() >= (size_t(64) << 20))
    *progress << "  parsing " << (text.size() >> 20) << " MiB of " << path << "\n";

  gemmi::Structure gst;
  std::vector<std::string> notes;
  if (format == Format::Mmcif) {
    try {
      // The coordinates are in the first data block; the blocks after it
      // (restraints, or a million empty ones) are not parsed.
      gemmi::cif::Document doc;
      doc.source = path;
      gemmi::cif::parse_one_block(doc, gemmi::cif::pegtl::memory_input<>(text.data(), text.size(), path.c_str()));
      gemmi::cif::check_for_missing_values(doc);
      gemmi::cif::check_for_duplicates(doc);
      text.clear();
      text.shrink_to_fit();
      if (doc.blocks.empty()) throw PrepareError(path + ": an mmCIF file without a data block");
      keepFirstCifModel(doc.blocks[0]);
      notes = completeAtomSite(doc.blocks[0], path);
      gst = gemmi::make_structure(doc);
    } catch (const PrepareError&) {
      throw;
    } catch (const std::exception& e) {
      throw PrepareError(path + ": not a readable mmCIF file (" + e.what() + ")");
    }
    if (gst.models.empty()) throw PrepareError(path + ": no atoms (the mmCIF file has no _atom_site table)");
  } else {
    keepFirstPdbModel(text);
    try {
      gst = gemmi::read_pdb_string(text, path);
    } catch (const std::exception& first) {
      // Old files put the entry name and a line serial where newer files keep
      // the segment, the element and the charge.
      try {
        gst = gemmi::read_pdb_string(cutColumns73To80(text), path);
      } catch (const std::exception&) {
        throw PrepareError(path + ": not a readable PDB file (" + first.what() + ")");
      }
    }
    if (gst.models.empty()) throw PrepareError(path + ": no atoms (neither ATOM nor HETATM records)");
  }
  Structure st = convert(gst, path);
  st.notes = notes;
  return st;
}

}  // namespace prepare
}  // namespace vel
