#pragma once
// Point sets and strand traces: clustering of density points, nearest,
// farthest and middle point queries, ordering clouds into sticks and building
// C-alpha traces along sticks.

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "velmorantique/geometry.h"

namespace vel {

using IndexPair = std::vector<int>;  // two indices; (-1, -1) when no pair qualifies
using ClusterList = std::vector<PointList>;  // every cluster ends with its centroid

// Not C's round: the value (left unchanged) rounded to the given number of
// decimals, halves away from zero.
double round(double& value, int16_t decimals);

void peakClustering(const PointList& points, ClusterList& clusters, Coordinate start, double threshold);
// Nearest point at a positive distance below 999; the first on ties; -1 if none.
int findClosestPointInSet(const PointList& points, Coordinate query);

// The farthest pair: the two points farthest apart, the first pair on ties;
// (-1, -1) without two distinct points.
IndexPair findFarestPointInOneSet(const PointList& points);
IndexPair findClosestPointBtwSets(const PointList& a, const PointList& b);
int findMiddlePointBtwTwoPointsInOneSet(const IndexPair& ends, const PointList& points);
void fineStickUnordered(PointList& points, double spacing);
void roughStick(PointList& points, double gap);
void roughStickFromIndx(PointList& points, double gap, int anchor);

StrandSet buildSheetCa(StrandSet sticks, Vectors normal);
PointList buildStrandCa(const PointList& stick, int anchor, Vectors normal);

// A point list arranged for repeated queries: its exact duplicates gathered
// into one distinct point each, and the distinct points held in a tree of
// bounding boxes. Every query returns exactly what a scan over the whole list
// returns (the same distances from getDistance, the same tie rules and the
// same list positions); boxes only skip points that provably cannot change
// the answer. Lists with coordinates that are not finite, or beyond 1e6 Å,
// are answered by plain scans. The readers refuse such positions where they
// read them (kCoordinateReach), but the stages still derive points beyond the
// reach from accepted input: a map 1e6 Å away with voxels of 1000 Å holds
// sheet points at 1e7 Å, and the aligned frame turns the sheet about a map
// centre that its cell lengths alone place.
class PointSetIndex {
 public:
  // Any list: duplicates are found and the points ordered in space.
  explicit PointSetIndex(const PointList& points);
  // A list whose duplicates the caller knows: list position i holds the
  // point distinct[classOf[i]], and equal points share a class. When
  // inSpatialOrder, neighbours in `distinct` lie near each other in space (as
  // along a line), and the tree follows that order as it stands. `along`,
  // when given, is the direction the points run in (for instance that of a
  // family of parallel lines); indexes given the same direction share their
  // frame, which spares closestPairBetween a pass over the points.
  PointSetIndex(PointList distinct, std::vector<int> classOf, bool inSpatialOrder, const Vectors* along = nullptr);

  size_t size() const { return classOf_.size(); }  // positions of the whole list
  Coordinate point(int position) const { return pts_[classOf_[position]]; }  // the list's point there
  // findFarestPointInOneSet of the list.
  IndexPair farthestPair() const;
  // findMiddlePointBtwTwoPointsInOneSet of the list, given the two end points.
  int middlePoint(Coordinate end0, Coordinate end1) const;
  // The distance from the query to its nearest point of the list at a
  // positive distance, or 999 when none is nearer (the per-point term of
  // Dist). hint, when not -1, names a distinct point likely to be nearest
  // and is set to the one found, so that a walk along a line stays cheap.
  double nearestDistance(Coordinate query, int& hint) const;
  // For every query, a distance no point of the list is nearer to it than
  // (0 for lists answered by scans).
  void lowerBounds(const PointList& queries, std::vector<double>& bounds) const;
  // findClosestPointBtwSets of the two lists.
  friend IndexPair closestPairBetween(const PointSetIndex& a, const PointSetIndex& b);

 private:
  // Boxes are held in a frame whose first axis runs along the set (from its
  // lowest to its highest point along the widest coordinate axis), so that
  // the boxes of a line's pieces stay thin however the line is turned.
  struct Box {
    double lo[3], hi[3];
  };
  struct Node {
    Box box;
    int begin, end;   // range of distinct points, in tree order
    int left, right;  // children, -1 for a leaf
    int parent;       // -1 for the root
  };
  void build(bool inSpatialOrder, const Vectors* along);
  // order, when given, is sorted here by median splits: tree position -> distinct point.
  int buildNode(int begin, int end, std::vector<int>* order);
  void chooseFrame();            // along the set, from its extremes
  void setFrame(Vectors along);  // first axis along the given direction
  Coordinate toFrame(const double frame[3][3], Coordinate p) const;
  // The boxes of this tree's nodes in another frame.
  std::vector<Box> boxesIn(const double frame[3][3]) const;
  template <class Get>
  static Box boxOf(Get pointAt, int begin, int end);
  static Box unite(const Box& a, const Box& b);
  Coordinate pointAt(int position) const { return pts_[classOf_[position]]; }

  std::vector<Coordinate> pts_;    // distinct points, in tree order
  std::vector<int> first_;         // first list position of each distinct point
  std::vector<int> last_;          // last list position of each distinct point
  std::vector<int> classOf_;       // list position -> distinct point (tree order)
  std::vector<Node> nodes_;
  std::vector<int> leafOf_;        // distinct point (tree order) -> its leaf
  std::vector<Coordinate> local_;  // while building: distinct points in the frame
  double frame_[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};  // rows: the frame's axes
  bool indexed_ = false;  // false: coordinates unsuited to boxes; answers by scans
  double margin_ = 0;
};

IndexPair closestPairBetween(const PointSetIndex& a, const PointSetIndex& b);

// Points bucketed into cubic cells a little wider than a search radius, so
// that "is some point closer than the radius?" looks at the 27 cells around
// the query only. Its answers are exactly those of a scan over every point.
class PointGrid {
 public:
  PointGrid(const PointList& points, double radius);
  // Whether some point lies at a distance below the radius (getDistance < radius).
  bool anyCloserThan(Coordinate query) const;
  // The same, trying first the point that `hint` names (-1 for none) and
  // setting it to the point found: queries that walk along a line mostly
  // find their answer in one distance.
  bool anyCloserThan(Coordinate query, int& hint) const;

 private:
  bool cellOf(Coordinate p, long long cell[3]) const;
  const PointList& points_;
  double radius_, cellSize_;
  bool indexed_ = false;  // false: coordinates too large or not finite for cells; scan instead
  std::vector<long long> keys_;   // sorted cell keys
  std::vector<int> order_;        // point indices in key order
  // A compact set of cells is also held densely: the cells of the box
  // [low_, low_ + dims_) in x, then y, then z order, each a range of start_.
  bool dense_ = false;
  long long low_[3] = {0, 0, 0}, dims_[3] = {0, 0, 0};
  std::vector<int> start_;
  PointList ordered_;             // the points in key order
};

}  // namespace vel
