// Whole runs on broken and hostile inputs: maps truncated, empty, with
// impossible headers or non-finite voxels; PDB files missing, empty, binary,
// cut short or hand-edited; thresholds that are no numbers; an output
// directory that cannot be made. Each run must end within its time bound with
// its exit status and its message, and the files it had already written
// (the report headers, the reference strand points) must be intact.
//
// Each case prints one line, "bad input | case | status | seconds | message",
// so that a run of this suite tabulates what the program did.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <functional>
#include <iostream>
#include <limits>
#include <sstream>

#include "driver/stages.h"
#include "support/gzip_file.h"
#include "support/mrc_file.h"
#include "support/program.h"
#include "velmorantique/map.h"

using namespace vel;

namespace fs = std::filesystem;

namespace {

const std::string kName = "synth_4x7_t18_8a";  // the reference structure, as bundled
const int kTimeBound = 60;                     // seconds per run, sanitizers included

// A small twisted sheet, one voxel thick, on 1 Å voxels: fast to analyse,
// and it yields candidates, so every stage runs (the reference strands are
// scored against them).
MrcMapFile twistedSheet() {
  const int n = 12;
  MrcMapFile map;
  map.nx = map.ny = map.nz = n;
  map.mx = map.my = map.mz = n;
  map.xlen = map.ylen = map.zlen = static_cast<float>(n);
  map.data.assign(static_cast<size_t>(n) * n * n, 0.0f);
  for (int x = 0; x < n; ++x)
    for (int y = 0; y < n; ++y) {
      const int z = static_cast<int>(std::lround(0.1 * (x - 6) * (y - 6))) + 6;
      map.data[(static_cast<size_t>(z) * n + y) * n + x] = 1.0f;
    }
  return map;
}

std::string joinLines(const std::vector<std::string>& ls) {
  std::string text;
  for (const std::string& l : ls) text += l + "\n";
  return text;
}

std::string bundledPdb() { return readFile(sourceDir() + "/examples/" + kName + "/" + kName + ".pdb"); }

// The bundled structure with every line passed through edit (an empty
// result drops the line).
std::string editedPdb(const std::function<std::string(const std::string&)>& edit) {
  std::vector<std::string> out;
  for (const std::string& l : lines(bundledPdb())) {
    std::string e = edit(l);
    if (!e.empty()) out.push_back(e);
  }
  return joinLines(out);
}

bool isAtom(const std::string& l) { return l.compare(0, 4, "ATOM") == 0; }
int residueNumber(const std::string& l) { return std::atoi(l.substr(22, 4).c_str()); }

// What a run must have left behind when it ended.
enum class Left {
  HeadersOnly,         // both report files with their header rows, nothing else
  StrandPointsIntact,  // the same, and the reference strand points of the bundled structure
  CompleteReports,     // both report files with their header and one data row
  Nothing,             // no output directory at all
};

struct BadInput {
  std::string name;
  std::function<void(const std::string& work)> prepare;  // writes the case's files
  std::vector<std::string> args;                         // pdb base, map base, threshold
  int status;
  std::vector<std::string> messages;  // each must appear on standard output
  Left left;
  bool stdinClosed = false;
};

void writeMap(const std::string& path, const MrcMapFile& map) { writeMrcFile(path, map); }

// The bundled structure and the small sheet, then whatever the case changes.
std::function<void(const std::string&)> withMap(std::function<void(MrcMapFile&)> change) {
  return [change](const std::string& work) {
    copyFile(sourceDir() + "/examples/" + kName + "/" + kName + ".pdb", work + "/" + kName + ".pdb");
    MrcMapFile map = twistedSheet();
    change(map);
    writeMap(work + "/" + kName + ".mrc", map);
  };
}

std::function<void(const std::string&)> withPdb(std::function<std::string()> text) {
  return [text](const std::string& work) {
    writeFile(work + "/" + kName + ".pdb", text());
    writeMap(work + "/" + kName + ".mrc", twistedSheet());
  };
}

BadInput mapCase(const std::string& name, std::function<void(MrcMapFile&)> change, int status,
                 std::vector<std::string> messages, Left left) {
  return {name, withMap(change), {kName, kName, "0.5"}, status, messages, left};
}

BadInput pdbCase(const std::string& name, std::function<std::string()> text, int status,
                 std::vector<std::string> messages, Left left) {
  return {name, withPdb(text), {kName, kName, "0.5"}, status, messages, left};
}

const std::string kMapFrame = "============================== in MRC::read (string) ==========================\n";
const std::string kBadExtents = kMapFrame +
                                "Strange header of the file. One of (nx,ny,nz) exceeds MAXLEN ( 2000 ).\n" +
                                std::string(79, '=') + "\n";
std::string truncated(int present) {
  return kMapFrame + "Map file ends before its voxel data does: " + std::to_string(present) +
         " bytes of voxel data present, 6912 expected. The file is truncated (an interrupted download?).\n" +
         std::string(79, '=') + "\n";
}
const std::string kNoDensity = "============================== in sheet extraction ==========================\n"
                               "No sheet density is left at threshold ";

BadInput thresholdRefused(const std::string& name, const std::string& threshold) {
  return {name, withMap([](MrcMapFile&) {}), {kName, kName, threshold}, 1,
          {"\n================================ in RunSetup.setUpRun() ====================\nThe threshold ( " +
           threshold +
           " ) is not a finite number: give the density threshold as a number such as 0.05, 1e-3 or -0.2 (with a "
           "decimal point, not a comma).\n" +
           std::string(79, '=') + "\n"},
          Left::Nothing};
}

std::vector<BadInput> badInputs() {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  auto everyKth = [](MrcMapFile& m, size_t k, float v) {
    for (size_t i = 0; i < m.data.size(); i += k) m.data[i] = v;
  };
  auto cutAtoms = [](size_t column) {
    return [column] { return editedPdb([column](const std::string& l) { return isAtom(l) ? l.substr(0, column) : l; }); };
  };
  std::vector<BadInput> cases = {
      // Maps.
      {"MapMissing", withMap([](MrcMapFile&) {}), {kName, "absent", "0.5"}, 1,
       {kMapFrame + "Can't open given Map file ( absent.mrc ). \n"}, Left::StrandPointsIntact},
      mapCase("MapEmpty", [](MrcMapFile& m) { m.fileLength = 0; }, 1, {kBadExtents}, Left::StrandPointsIntact),
      // A cut file (an interrupted download) would read the rest as empty
      // voxels, and the analysis would run on part of the sheet.
      mapCase("MapHeaderOnly", [](MrcMapFile& m) { m.fileLength = 1024; }, 1,
              {truncated(0)}, Left::StrandPointsIntact),
      mapCase("MapDataCutInHalf", [](MrcMapFile& m) { m.fileLength = 1024 + 4 * 12 * 12 * 6 + 2; }, 1,
              {truncated(4 * 12 * 12 * 6 + 2)}, Left::StrandPointsIntact),
      // A skewed cell would place voxels on axes the grid does not have;
      // all three angles 0, as some writers leave them, is a right-angled cell.
      mapCase("MapCellGamma120", [](MrcMapFile& m) { m.gamma = 120.0f; }, 1,
              {kMapFrame + "Strange header of the file. The cell angles (alpha,beta,gamma) = ( 90 90 120 ) are not all "
                           "90 degrees: only maps on orthogonal axes can be read.\n"},
              Left::StrandPointsIntact),
      mapCase("MapCellBeta94Point3", [](MrcMapFile& m) { m.beta = 94.3f; }, 1, {"= ( 90 94.3 90 ) are not all 90"},
              Left::StrandPointsIntact),
      mapCase("MapCellAnglesAllZero", [](MrcMapFile& m) { m.alpha = m.beta = m.gamma = 0.0f; }, 0,
              {"num of points = 144\n"}, Left::CompleteReports),
      mapCase("MapCellAngleWithinAThousandth", [](MrcMapFile& m) { m.alpha = 90.0009f; }, 0,
              {"num of points = 144\n"}, Left::CompleteReports),
      // Stacks: several volumes, or 2-D images, one after another.
      mapCase("MapVolumeStack", [](MrcMapFile& m) { m.ispg = 401, m.mz = 6; }, 1,
              {kMapFrame + "Strange header of the file. The map is a stack of volumes ( ispg = 401, nz = 12 sections "
                           "of 6 per volume ), not one volume.\n"},
              Left::StrandPointsIntact),
      mapCase("MapImageStack", [](MrcMapFile& m) { m.ispg = 0, m.mz = 1; }, 1,
              {kMapFrame + "Strange header of the file. The map is a stack of 12 2-D images ( ispg = 0, mz = 1 ), "
                           "not one volume.\n"},
              Left::StrandPointsIntact),
      mapCase("MapSpaceGroupZeroVolume", [](MrcMapFile& m) { m.ispg = 0; }, 0, {"num of points = 144\n"},
              Left::CompleteReports),
      mapCase("MapOneVolumeOfAStackGroup", [](MrcMapFile& m) { m.ispg = 401; }, 0, {"num of points = 144\n"},
              Left::CompleteReports),
      // A sheet one voxel thick: every centroid lies within 1.5 A of an empty
      // voxel, none is left for the centre plane, and the run says so.
      mapCase("MapWithoutCentrePlane", [](MrcMapFile&) {}, 0,
              {"num of points = 144\nNo centre plane was found: fewer than three centroids pass the angle test, so "
               "the surface fit and the twists are not meaningful.\ntheta = -nan\n"},
              Left::CompleteReports),
      // Placed by ORIGIN; the grid start is named as not used.
      mapCase("MapOriginAndGridStartBothSet",
              [](MrcMapFile& m) {
                m.xorigin = 0.5f;
                m.nxstart = 3, m.nzstart = -2;
              },
              0,
              {"\nMap placed by its origin ( 0.5 0 0 ); the grid start ( 3 0 -2 ) was not used.\n"
               "Filtering the map ...\n"},
              Left::CompleteReports),
      mapCase("MapNxZero", [](MrcMapFile& m) { m.nx = 0; }, 1, {kBadExtents}, Left::StrandPointsIntact),
      mapCase("MapNyMinusOne", [](MrcMapFile& m) { m.ny = -1; }, 1, {kBadExtents}, Left::StrandPointsIntact),
      mapCase("MapNz2000", [](MrcMapFile& m) { m.nz = 2000; }, 1, {kBadExtents}, Left::StrandPointsIntact),
      mapCase("MapMxZero", [](MrcMapFile& m) { m.mx = 0; }, 1,
              {kMapFrame + "Strange header of the file. One of (mx,my,mz) is zero: the voxel size is undefined.\n"},
              Left::StrandPointsIntact),
      // Not-a-number voxels are never above the threshold nor below it: they
      // stay, and are no density; -inf is thresholded away; +inf is density.
      mapCase("MapNaNVoxels", [=](MrcMapFile& m) { everyKth(m, 3, nan); }, 0, {"num of points = "},
              Left::CompleteReports),
      mapCase("MapPlusInfVoxels", [=](MrcMapFile& m) { everyKth(m, 97, inf); }, 0, {"num of points = "},
              Left::CompleteReports),
      mapCase("MapMinusInfVoxels", [=](MrcMapFile& m) { everyKth(m, 3, -inf); }, 0, {"num of points = "},
              Left::CompleteReports),
      mapCase("MapAllNaN", [=](MrcMapFile& m) { everyKth(m, 1, nan); }, 1,
              {"num of points = 0\n" + kNoDensity + "0.5"}, Left::StrandPointsIntact),
      // A cell length that is no number, or zero, leaves no voxel a position.
      mapCase("MapCellLengthInfinite", [=](MrcMapFile& m) { m.xlen = inf; }, 1,
              {"One of (xlen,ylen,zlen) is zero or not a finite length"}, Left::StrandPointsIntact),
      // A voxel over 1000 A, or a map a million angstrom away, is no measurement.
      mapCase("MapVoxelOver1000", [=](MrcMapFile& m) { m.xlen = 12 * 1000.5f; }, 1,
              {kMapFrame + "Strange header of the file. The voxel size ( 1000.5 1 1 ) is not finite or exceeds 1000 A.\n"},
              Left::StrandPointsIntact),
      mapCase("MapOriginBeyondReach", [=](MrcMapFile& m) { m.zorigin = 3e7f; }, 1,
              {kMapFrame + "Strange header of the file. The origin ( 0 0 3e+07 ) lies beyond 1e+06 A.\n"},
              Left::StrandPointsIntact),
      mapCase("MapCellLengthZero", [=](MrcMapFile& m) { m.zlen = 0; }, 1,
              {"One of (xlen,ylen,zlen) is zero or not a finite length"}, Left::StrandPointsIntact),
      {"MapIsAPdbFile",
       [](const std::string& work) {
         copyFile(sourceDir() + "/examples/" + kName + "/" + kName + ".pdb", work + "/" + kName + ".pdb");
         copyFile(sourceDir() + "/examples/" + kName + "/" + kName + ".pdb", work + "/" + kName + ".mrc");
       },
       {kName, kName, "0.5"}, 1, {kBadExtents}, Left::StrandPointsIntact},
      {"MapIsADirectory",
       [](const std::string& work) {
         copyFile(sourceDir() + "/examples/" + kName + "/" + kName + ".pdb", work + "/" + kName + ".pdb");
         fs::create_directory(work + "/" + kName + ".mrc");
       },
       {kName, kName, "0.5"}, 1, {kBadExtents}, Left::StrandPointsIntact},

      // PDB files.
      {"PdbMissing", withMap([](MrcMapFile&) {}), {"absent", kName, "0.5"}, 1,
       {"\n================================ in Protein.read() ====================\nUnable to open absent.pdb\n"},
       Left::HeadersOnly},
      pdbCase("PdbEmpty", [] { return std::string(); }, 0, {"Be sure the portion (" + kName + ".pdb) contains AAs"},
              Left::CompleteReports),
      pdbCase("PdbBinaryGarbage",
              [] {
                std::string g;
                unsigned v = 12345;
                for (int i = 0; i < 20000; ++i) g += static_cast<char>((v = v * 1103515245u + 12345u) >> 23);
                return g;
              },
              0, {}, Left::CompleteReports),
      pdbCase("PdbIsAnMrcFile", [] { return readFile(sourceDir() + "/examples/" + kName + "/" + kName + ".mrc"); }, 0,
              {}, Left::CompleteReports),
      pdbCase("PdbAtomLinesCutAtColumn16", cutAtoms(16), 0, {"contains AAs"}, Left::CompleteReports),
      pdbCase("PdbAtomLinesCutAtColumn30", cutAtoms(30), 0, {}, Left::CompleteReports),
      pdbCase("PdbAtomLinesCutAtColumn50", cutAtoms(50), 0, {}, Left::CompleteReports),
      pdbCase("PdbSheetLinesCutAtColumn30",
              [] { return editedPdb([](const std::string& l) { return l.compare(0, 5, "SHEET") ? l : l.substr(0, 30); }); },
              0, {}, Left::CompleteReports),
      // The twist analysis goes on; the scores against no strands are said
      // to be no numbers.
      pdbCase("PdbNoSheetRecord",
              [] { return editedPdb([](const std::string& l) { return l.compare(0, 5, "SHEET") ? l : ""; }); }, 0,
              {"No reference strands: " + kName + ".pdb has no SHEET record of the chain read, so the distance and "
               "RMS scores are not numbers.\nFiltering the map ...\n",
               "2-way = -nan\n"},
              Left::CompleteReports),
      pdbCase("PdbSheetNamesAbsentResidues",
              [] {
                return editedPdb([](const std::string& l) {
                  return l.compare(0, 5, "SHEET") ? l : l.substr(0, 22) + " 901  VAL A 907" + l.substr(37);
                });
              },
              0, {}, Left::CompleteReports),
      pdbCase("PdbStrandOfOneResidue",
              [] {
                return editedPdb([](const std::string& l) {
                  return l.compare(0, 10, "SHEET    1") ? l : l.substr(0, 22) + "   4  VAL A   4" + l.substr(37);
                });
              },
              0, {}, Left::CompleteReports),
      pdbCase("PdbStrandEndBeforeStart",
              [] {
                return editedPdb([](const std::string& l) {
                  return l.compare(0, 10, "SHEET    1") ? l : l.substr(0, 22) + "   7  VAL A   1" + l.substr(37);
                });
              },
              0, {}, Left::CompleteReports),
      pdbCase("PdbResidueWithoutCA",
              [] {
                return editedPdb([](const std::string& l) {
                  return isAtom(l) && residueNumber(l) == 5 && l.substr(12, 4) == " CA " ? "" : l;
                });
              },
              1,
              {"\n================================ in Reference.FindTrueStrands() ====================\nThe strand "
               "VAL-1 to VAL-7 of " + kName + ".pdb has no C-alpha ( CA ) at residue VAL-5: its strand axis cannot "
               "be drawn. Add the atom, or end the SHEET record before that residue.\n" + std::string(79, '=') + "\n"},
              Left::HeadersOnly),
      pdbCase("PdbUnknownResidueNames",
              [] { return editedPdb([](const std::string& l) { return isAtom(l) ? l.substr(0, 17) + "XYZ" + l.substr(20) : l; }); },
              0, {"Unknown character (X) has been returned for AA (XYZ ).."}, Left::CompleteReports),
      pdbCase("PdbAtomNameWithoutElement",
              [] {
                return editedPdb([](const std::string& l) {
                  return isAtom(l) && residueNumber(l) == 3 && l.substr(12, 4) == " CB " ? l.substr(0, 12) + " QX " + l.substr(16) : l;
                });
              },
              1, {"================================ in Protein.getAtomType() ====================\nUnknown atom type.....\n"},
              Left::HeadersOnly),
      pdbCase("PdbInsertionCodeInFirstResidue",
              [] {
                return editedPdb([](const std::string& l) {
                  return isAtom(l) && residueNumber(l) == 1 ? l.substr(0, 26) + "A" + l.substr(27) : l;
                });
              },
              0, {" has code of residue inserting\n", "contains AAs"}, Left::CompleteReports),
      // Found by fuzzing: a C-alpha coordinate text that reads as infinite.
      pdbCase("PdbInfiniteCoordinate",
              [] {
                return editedPdb([](const std::string& l) {
                  return isAtom(l) && residueNumber(l) == 37 && l.substr(12, 4) == " CA " ? l.substr(0, 38) + "  1e3009" + l.substr(46) : l;
                });
              },
              1,
              {"in Protein.read() ====================\nThe atom  CA  of residue ALA-37 in " + kName + ".pdb lies at ( 7.2 inf -0.803 ): not",
               " inf ", " ): not a finite position within 1e+06 A. Check columns 31-54 of its ATOM record.\n"},
              Left::HeadersOnly),
      pdbCase("PdbNotANumberCoordinate",
              [] {
                return editedPdb([](const std::string& l) {
                  return isAtom(l) && residueNumber(l) == 2 && l.substr(12, 4) == " N  " ? l.substr(0, 30) + "     nan" + l.substr(38) : l;
                });
              },
              1, {"\nThe atom  N   of residue THR-2 in " + kName + ".pdb lies at ( nan -6.969 -3.813 ): "}, Left::HeadersOnly),
      // Every model's atoms join the last residue of the first, and are
      // collected again per earlier atom of their name.
      pdbCase("PdbEnsembleOfTwentyModels",
              [] {
                std::string atoms, rest;
                for (const std::string& l : lines(readFile(sourceDir() + "/examples/1hpv_b_8a/1hpv_b_8a.pdb")))
                  (isAtom(l) ? atoms : rest) += l + "\n";
                std::string text = rest;
                for (int m = 1; m <= 20; ++m) text += "MODEL     " + std::to_string(m) + "\n" + atoms + "ENDMDL\n";
                return text;
              },
              1, {"in Protein.read() ====================\nToo many atoms to order in "}, Left::HeadersOnly),

      // Thresholds: text that is not wholly a finite number is refused
      // before anything is made (it would read as 0 and keep every voxel).
      thresholdRefused("ThresholdAbc", "abc"),
      thresholdRefused("ThresholdDecimalComma", "0,05"),
      thresholdRefused("ThresholdEmpty", ""),
      thresholdRefused("ThresholdTrailingText", "0.5x"),
      thresholdRefused("ThresholdNaN", "nan"),
      thresholdRefused("ThresholdInf", "inf"),
      thresholdRefused("ThresholdOverflowing", "1e400"),
      {"ThresholdMinus1e308", withMap([](MrcMapFile&) {}), {kName, kName, "-1e308"}, 0, {"num of points = 144\n"},
       Left::CompleteReports},
      {"ThresholdExponent", withMap([](MrcMapFile&) {}), {kName, kName, "1e-3"}, 0, {"num of points = 144\n"},
       Left::CompleteReports},
      {"ThresholdNoLeadingDigit", withMap([](MrcMapFile&) {}), {kName, kName, ".05"}, 0, {"num of points = 144\n"},
       Left::CompleteReports},
      {"ThresholdNegative", withMap([](MrcMapFile&) {}), {kName, kName, "-0.2"}, 0, {"num of points = 144\n"},
       Left::CompleteReports},

      // Output.
      {"OutputDirectoryCannotBeCreated",
       [](const std::string& work) {
         withMap([](MrcMapFile&) {})(work);
         writeFile(work + "/" + kName + "twist", "a file where the directory should be\n");
       },
       {kName, kName, "0.5"}, 1,
       {"\n================================ in RunSetup.setUpRun() ====================\nUnable to open " + kName +
        "twist/" + kName + "_bestResult.txt: the output directory " + kName +
        "twist/ could not be created or cannot be written. Nothing of this run would be kept.\n" +
        std::string(79, '=') + "\n"},
       Left::Nothing, true},
      {"StageFileCannotBeWritten",
       [](const std::string& work) {
         withMap([](MrcMapFile&) {})(work);
         fs::create_directories(work + "/" + kName + "twist/" + kName + "_centroids.pdb");
       },
       {kName, kName, "0.5"}, 0,
       {"in Protein.writePDBFile() ====================\nUnable to open " + kName + "twist/" + kName +
        "_centroids.pdb\n" + std::string(79, '=') + "\n\aPress any key...\n"},
       Left::CompleteReports, true},
  };
  // Density that is no sheet: every voxel of a box, far more points than
  // one sheet gives, or a slab so wide that every strand line crosses it.
  auto filledBox = [](int nx, int ny, int nz) {
    return [=](MrcMapFile& m) {
      m.nx = m.mx = nx, m.ny = m.my = ny, m.nz = m.mz = nz;
      m.xlen = static_cast<float>(nx), m.ylen = static_cast<float>(ny), m.zlen = static_cast<float>(nz);
      m.data.assign(static_cast<size_t>(nx) * ny * nz, 1.0f);
    };
  };
  cases.push_back(mapCase("MapWithTooManySheetPoints", filledBox(102, 102, 100), 1,
                          {"\n============================== in sheet extraction ==========================\n"
                           "Too many sheet points: 1040400 voxels keep density at threshold 0.5, more than the 1000000 "
                           "that the map of one sheet is meant to give. Cut the map down to the sheet, raise the "
                           "threshold, or resample the map more coarsely.\n"},
                          Left::StrandPointsIntact));
  const uint64_t slabBound = 999 * 1000 * sizeof(float) + sheetMemoryBound(SheetFootprint{999000, std::hypot(998.0, 999.0)});
  if (cubeMemoryLimit() != 0 && slabBound > cubeMemoryLimit())
    cases.push_back(mapCase("MapSheetTooLargeForThisMachine", filledBox(999, 1000, 1), 1,
                            {"Sheet too large for this machine. Its 999000 points, spread over 1412 A, may need up to "},
                            Left::StrandPointsIntact));
  // The case is "a 2 KB file whose header claims 1999^3 voxels"; its grid
  // of some 30 GB is refused where that is more than half the memory.
  const uint64_t needed = cubeFootprint(1999, 1999, 1999), limit = cubeMemoryLimit();
  if (limit != 0 && needed > limit)
    cases.push_back(mapCase("MapClaims1999CubedIn2KB",
                            [](MrcMapFile& m) {
                              m.nx = m.ny = m.nz = 1999;
                              m.fileLength = 2048;
                            },
                            1, {kMapFrame + "Map too large for this machine. The grid of (nx,ny,nz) needs "},
                            Left::StrandPointsIntact));
  return cases;
}

struct Outcome {
  ProgramRun run;
  double seconds = 0.0;
};

// Runs the program as runProgram does, but with standard input closed
// rather than empty when asked, and after a shell command (such as a limit)
// when one is given.
Outcome runTimed(const std::string& work, const std::vector<std::string>& args, bool stdinClosed,
                 const std::string& before = "") {
  const auto start = std::chrono::steady_clock::now();
  Outcome o;
  if (!stdinClosed && before.empty()) {
    o.run = runProgram(work, args, kTimeBound);
  } else {
    std::string cmd = "cd '" + work + "' && " + before + (before.empty() ? "" : "; ") + "timeout -s KILL " +
                      std::to_string(kTimeBound) + " '" + VEL_BINARY + "'";
    for (const std::string& a : args) cmd += " '" + a + "'";
    cmd += std::string(stdinClosed ? " 0<&-" : " </dev/null") + " >.out 2>.err";
    const int raw = std::system(cmd.c_str());
    o.run.status = (raw != -1 && WIFEXITED(raw)) ? WEXITSTATUS(raw) : -1;
    o.run.out = readFile(work + "/.out");
    o.run.err = readFile(work + "/.err");
    fs::remove(work + "/.out");
    fs::remove(work + "/.err");
  }
  o.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return o;
}

// The middle line of the last framed message, if any.
std::string keyMessage(const std::string& out) {
  std::vector<std::string> ls = lines(out);
  for (size_t i = ls.size(); i-- > 1;)
    if (ls[i - 1].compare(0, 30, std::string(30, '=')) == 0 && ls[i - 1].find(" in ") != std::string::npos)
      return ls[i];
  return "(no framed message)";
}

void PrintTo(const BadInput& c, std::ostream* os) { *os << c.name; }

class BadInputRun : public ::testing::TestWithParam<BadInput> {};

TEST_P(BadInputRun, EndsInTimeWithItsStatusAndMessageKeepingWhatWasWritten) {
  const BadInput& c = GetParam();
  const TempDir workDir;
  const std::string& work = workDir.path;
  c.prepare(work);
  Outcome o = runTimed(work, c.args, c.stdinClosed);
  std::cout << "bad input | " << c.name << " | " << o.run.status << " | " << o.seconds << " | "
            << keyMessage(o.run.out) << std::endl;

  EXPECT_EQ(o.run.status, c.status) << o.run.out.substr(o.run.out.size() > 3000 ? o.run.out.size() - 3000 : 0);
  EXPECT_LT(o.seconds, kTimeBound);
  for (const std::string& m : c.messages) EXPECT_NE(o.run.out.find(m), std::string::npos) << m;
  // No sanitizer report, no stray output on the error stream past set-up.
  EXPECT_EQ(o.run.err.find("runtime error"), std::string::npos) << o.run.err;
  EXPECT_EQ(o.run.err.find("Sanitizer"), std::string::npos) << o.run.err;

  const std::string protein = c.args[0], outDir = work + "/" + c.args[1] + "twist/";
  const std::string nameField = std::string(protein.size() < 15 ? 15 - protein.size() : 0, ' ') + protein;
  const std::vector<std::string> best = lines(readFile(outDir + protein + "_bestResult.txt"));
  const std::vector<std::string> rms = lines(readFile(outDir + protein + "_rms.txt"));
  const std::string goldenPoints =
      readFile(sourceDir() + "/tests/golden/" + kName + "/files/" + kName + "_strandPoints.pdb");
  // Wherever the output folder exists the run leaves its summary, which
  // carries the exit status and the first line of the framed refusal.
  const std::string summaryPath = outDir + protein + "_summary.json";
  size_t summaryFiles = 0;
  if (fs::is_directory(outDir) && c.left != Left::Nothing) {
    ASSERT_TRUE(fs::exists(summaryPath));
    summaryFiles = 1;
    const nlohmann::json summary = nlohmann::json::parse(readFile(summaryPath));
    EXPECT_EQ(summary["exit_status"], o.run.status);
    const std::string key = keyMessage(o.run.out);
    if (o.run.status == 1 && key != "(no framed message)") {
      ASSERT_TRUE(summary["message"].is_string());
      EXPECT_EQ(lines(summary["message"].get<std::string>()).at(0), key);
    } else if (o.run.status == 0) {
      EXPECT_TRUE(summary["message"].is_null());
    }
  }
  switch (c.left) {
    case Left::Nothing:
      EXPECT_FALSE(fs::is_directory(outDir));
      break;
    case Left::HeadersOnly:
    case Left::StrandPointsIntact:
      ASSERT_EQ(best.size(), 1u);
      ASSERT_EQ(rms.size(), 1u);
      EXPECT_EQ(best[0].size(), 180u);
      EXPECT_EQ(rms[0].size(), 166u);
      if (c.left == Left::StrandPointsIntact) {
        EXPECT_EQ(readFile(outDir + protein + "_strandPoints.pdb"), goldenPoints);
        EXPECT_EQ(listFiles(outDir).size(), 3u + summaryFiles);
      } else {
        EXPECT_EQ(listFiles(outDir).size(), 2u + summaryFiles);
      }
      break;
    case Left::CompleteReports:
      // One data row each, starting with the protein in its field of 15
      // (fields widen for longer texts).
      ASSERT_EQ(best.size(), 2u);
      ASSERT_EQ(rms.size(), 2u);
      EXPECT_EQ(best[1].compare(0, nameField.size(), nameField), 0) << best[1];
      EXPECT_EQ(rms[1].compare(0, nameField.size(), nameField), 0) << rms[1];
      EXPECT_TRUE(fs::exists(outDir + protein + "_surfaceModel.pdb"));
      break;
  }
}

INSTANTIATE_TEST_SUITE_P(HostileInputs, BadInputRun, ::testing::ValuesIn(badInputs()),
                         [](const ::testing::TestParamInfo<BadInput>& info) { return info.param.name; });

// A neutron structure: the bundled one with deuterium on every residue (the
// amide D after N, DA after CA, named by element in columns 77-78). Deuterium
// is read as hydrogen, which no measure of the run uses: the run must print
// and write exactly what it does for the structure without it.
TEST(DeuteratedStructure, AnalysedExactlyAsWithoutItsDeuterium) {
  auto runOn = [](const std::string& pdbText) {
    const std::string work = makeTempDir();
    writeFile(work + "/" + kName + ".pdb", pdbText);
    writeMap(work + "/" + kName + ".mrc", twistedSheet());
    Outcome o = runTimed(work, {kName, kName, "0.5"}, false);
    std::vector<std::string> files;
    const std::string outDir = work + "/" + kName + "twist/";
    for (const std::string& f : listFiles(outDir)) files.push_back(f + "\n" + readFile(outDir + f));
    fs::remove_all(work);
    return std::make_pair(o.run, files);
  };
  const std::string deuterated = editedPdb([](const std::string& l) {
    if (!isAtom(l)) return l;
    const std::string name = l.substr(12, 4);
    if (name != " N  " && name != " CA ") return l;
    std::string d = l.substr(0, 12) + (name == " N  " ? " D  " : " DA ") + l.substr(16);
    d.resize(80, ' ');
    d.replace(76, 2, " D");
    return l + "\n" + d;
  });
  ASSERT_NE(deuterated.find(" DA "), std::string::npos);
  const auto plain = runOn(bundledPdb());
  const auto withDeuterium = runOn(deuterated);
  EXPECT_EQ(withDeuterium.first.status, 0);
  EXPECT_EQ(withDeuterium.first.status, plain.first.status);
  EXPECT_EQ(withDeuterium.first.out, plain.first.out);
  EXPECT_EQ(withDeuterium.first.err, plain.first.err);
  EXPECT_EQ(withDeuterium.second, plain.second);
}

// Ten models of a structure, whose repeated atoms the reader collects, on a
// machine (here: a process limit) that cannot hold them: the run ends with a
// framed message and status 1, not with an abort. A sanitizer build cannot
// run under such a limit at all, and skips.
// A map whose grid fits in memory once but not twice: the grid must be held
// once, the shape estimate reading the map's own voxels. Here a process
// limit of 110 MB and a 64 MB grid (256^3 voxels, the small sheet in one
// corner); sanitizer builds cannot run under such a limit, and skip.
TEST(BadInputMemory, AMapThatFitsOnceIsAnalysed) {
  const TempDir workDir;
  const std::string& work = workDir.path;
  copyFile(sourceDir() + "/examples/" + kName + "/" + kName + ".pdb", work + "/" + kName + ".pdb");
  const MrcMapFile sheet = twistedSheet();
  MrcMapFile map = sheet;
  const int n = 256;
  map.nx = map.ny = map.nz = map.mx = map.my = map.mz = n;
  map.xlen = map.ylen = map.zlen = static_cast<float>(n);
  map.data.assign(static_cast<size_t>(n) * n * n, 0.0f);
  for (int z = 0; z < sheet.nz; ++z)
    for (int y = 0; y < sheet.ny; ++y)
      for (int x = 0; x < sheet.nx; ++x)
        map.data[(static_cast<size_t>(z) * n + y) * n + x] = sheet.data[(static_cast<size_t>(z) * sheet.ny + y) * sheet.nx + x];
  writeGzipFile(work + "/" + kName + ".mrc.gz", mrcFileBytes(map));

  Outcome o = runTimed(work, {kName, kName, "0.5"}, false, "ulimit -v 110000");
  if (o.run.err.find("Sanitizer") != std::string::npos) GTEST_SKIP() << "sanitizers need more address space";
  EXPECT_EQ(o.run.status, 0) << keyMessage(o.run.out);
  EXPECT_NE(o.run.out.find("num of points = 144\n"), std::string::npos);
}

TEST(BadInputMemory, RunningOutOfMemoryEndsWithAFramedMessage) {
  const TempDir workDir;
  const std::string& work = workDir.path;
  std::string atoms, rest;
  for (const std::string& l : lines(readFile(sourceDir() + "/examples/1hpv_b_8a/1hpv_b_8a.pdb")))
    (isAtom(l) ? atoms : rest) += l + "\n";
  std::string text = rest;
  for (int m = 1; m <= 10; ++m) text += "MODEL     " + std::to_string(m) + "\n" + atoms + "ENDMDL\n";
  writeFile(work + "/" + kName + ".pdb", text);
  writeMap(work + "/" + kName + ".mrc", twistedSheet());

  Outcome o = runTimed(work, {kName, kName, "0.5"}, false, "ulimit -v 100000");
  std::cout << "bad input | OutOfMemory | " << o.run.status << " | " << o.seconds << " | " << keyMessage(o.run.out)
            << std::endl;
  if (o.run.err.find("Sanitizer") != std::string::npos) GTEST_SKIP() << "sanitizers need more address space";
  EXPECT_EQ(o.run.status, 1);
  EXPECT_NE(o.run.out.find("\n================================ in Velmorantique.run() ====================\n"
                           "Out of memory: the map or the PDB file asks for more memory than this machine can give.\n" +
                           std::string(79, '=') + "\n"),
            std::string::npos);
  EXPECT_EQ(lines(readFile(work + "/" + kName + "twist/" + kName + "_bestResult.txt")).size(), 1u);
}

}  // namespace
