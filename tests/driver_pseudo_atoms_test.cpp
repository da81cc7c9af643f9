#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "driver/pseudo_atoms.h"
#include "reference/plain_pdb_writer.h"
#include "support/protein_fixture.h"
#include "support/files.h"

using namespace vel;

namespace {

std::string written(const PointList& points, const std::string& resName = "HOH",
                    const std::string& atomName = " H  ") {
  TempFile file("pseudo.pdb");
  writePseudoAtoms(file.path, points, resName, atomName);
  return readFile(file.path);
}

void expectSameAsStreamed(const PointList& points, const std::string& resName = "HOH",
                          const std::string& atomName = " H  ") {
  const std::string fast = written(points, resName, atomName);
  const std::string streamed = plain::pseudoAtomFile(points, resName, atomName);
  ASSERT_EQ(fast.size(), streamed.size());
  if (fast == streamed) return;
  size_t at = 0;
  while (fast[at] == streamed[at]) ++at;
  const size_t lineStart = streamed.rfind('\n', at) == std::string::npos ? 0 : streamed.rfind('\n', at) + 1;
  FAIL() << "first difference in the line\n" << streamed.substr(lineStart, streamed.find('\n', at) - lineStart)
         << "\nwritten as\n" << fast.substr(lineStart, fast.find('\n', at) - lineStart);
}

// Coordinates on which a fixed three-decimal rendering can go wrong: signed
// zeros, values that round to a signed zero, exact binary ties at the third
// decimal (round half to even), values just off a tie, column overflow,
// the extremes of the double range, not-a-number and infinity.
std::vector<double> hardValues() {
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  std::vector<double> v = {0.0, -0.0, 1.5, -2.25, 10.0, -0.0004, 0.0004, -0.0005, 0.0005, 0.00049999999999999999,
                           0.0625, -0.0625, 0.1875, 1.0625, 2.0005, 2.0015, 999.9995, -999.9995, 9999.9995,
                           -999.99949999, 0.03125, 0.015625, 1234.5675, 4.5e-4, 1e-320, -1e-320,
                           std::numeric_limits<double>::denorm_min(), std::numeric_limits<double>::min(),
                           9999.999, 10000.0, -1000.0, -999.999, 99999.9995, 1e15, -1e15, 123456789012.3456,
                           std::numeric_limits<double>::max(), std::numeric_limits<double>::lowest(), 1e300,
                           9007199254740993.0, 0.1, 0.7, -3.14159, 42.0, nan, -nan, inf, -inf,
                           3999999999999.9995, -3999999999999.999, 4e12, 4.0000000000005e12, 4398046511104.0,
                           0.00048828125, 0.000244140625};
  // Odd sixteenths are the exact ties at the third decimal, small and large.
  for (int k = -41; k <= 41; k += 2) {
    v.push_back(k / 16.0);
    v.push_back(k / 16.0 + 1048576.0);
    v.push_back(k / 16.0 - 68719476736.0);
  }
  return v;
}

TEST(PseudoAtomWriter, MatchesStreamedRecordsOnHardValues) {
  const std::vector<double> values = hardValues();
  PointList points;
  for (size_t i = 0; i < values.size(); ++i)
    for (size_t j = 0; j < values.size(); j += 7)
      points.push_back(Coordinate(values[i], values[j], values[(i + j) % values.size()]));
  expectSameAsStreamed(points);
  // Names are written as given: shorter ones padded, longer ones widen the line.
  expectSameAsStreamed(points, "GLY", " CA ");
  expectSameAsStreamed(points, "LONGNAME", "X");
  expectSameAsStreamed(points, "", "");
}

TEST(PseudoAtomWriter, MatchesStreamedRecordsOnRandomValues) {
  std::mt19937_64 random(20261207);
  std::uniform_real_distribution<double> nearSheet(-500.0, 500.0);
  PointList points;
  for (int i = 0; i < 20000; ++i) {
    // Any bit pattern at all: every exponent, subnormals, NaN payloads.
    double bits[3];
    for (double& b : bits) {
      const uint64_t raw = random();
      std::memcpy(&b, &raw, sizeof b);
    }
    points.push_back(Coordinate(bits[0], bits[1], bits[2]));
    points.push_back(Coordinate(nearSheet(random), nearSheet(random) / 1000, nearSheet(random) * 1000));
  }
  expectSameAsStreamed(points);
}

TEST(PseudoAtomWriter, ResiduesSplitAsThePseudoProtein) {
  // Past 99999 points the atoms are cut into residues; a last residue of a
  // single point (200000 points) repeats the number before it.
  for (int count : {0, 1, 99999, 100000, 100001, 200000}) {
    SCOPED_TRACE(count);
    PointList points(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) points[i] = Coordinate(i * 0.001, -i, 0.5);
    expectSameAsStreamed(points);
  }
}

TEST(PseudoAtomWriter, StrandsAreWrittenAsTheirFlattenedList) {
  // Empty strands first, between and last; one strand crosses the residue
  // split at 99999 points.
  StrandSet strands{PointList(), PointList(3), PointList(), PointList(99998), PointList(5), PointList()};
  int i = 0;
  for (PointList& strand : strands)
    for (Coordinate& p : strand) p = Coordinate(i * 0.001, -i, 0.25 * (i % 7)), ++i;
  for (size_t kept : {strands.size(), size_t(3), size_t(0)}) {
    SCOPED_TRACE(kept);
    const StrandSet some(strands.begin(), strands.begin() + static_cast<long>(kept));
    TempFile file("strands.pdb");
    writePseudoAtoms(file.path, some, "HOH", " H  ");
    EXPECT_EQ(readFile(file.path), written(flatten(some)));
  }
}

TEST(PseudoAtomWriter, UnwritablePathIsReportedAndNothingIsWritten) {
  ASSERT_NE(std::freopen("/dev/null", "r", stdin), nullptr);
  const std::string out = stdoutOf([] { writePseudoAtoms("/nonexistent-dir/x.pdb", {Coordinate()}, "HOH", " H  "); });
  EXPECT_EQ(out, "\n================================ in Protein.writePDBFile() ====================\n"
                 "Unable to open /nonexistent-dir/x.pdb\n" +
                     std::string(79, '=') + "\n\aPress any key...\n");
  EXPECT_EQ(std::fopen("/nonexistent-dir/x.pdb", "r"), nullptr);
}

}  // namespace
