#include "reference/plain_points.h"

#include <cmath>
#include <cstddef>
#include <map>
#include <vector>

namespace plain {

namespace {

double round(double& value, int16_t decimals) {
  double scale = std::pow(10.0, decimals);
  double half = value < 0 ? -0.5 : 0.5;
  return std::trunc(value * scale + half) / scale;
}

}  // namespace

void peakClustering(const PointList& points, ClusterList& clusters, Coordinate start, double threshold) {
  const std::size_t n = points.size();
  std::vector<bool> assigned(n, false);
  std::size_t assignedCount = 0;
  Coordinate reference = start;

  while (assignedCount < n) {
    double best = 9999.0;
    int seed = -1;
    for (std::size_t j = 0; j < n; ++j) {
      if (assigned[j]) continue;
      double d = getDistance(reference, points[j]);
      d = round(d, 3);
      if (best > d) {
        best = d;
        seed = static_cast<int>(j);
      }
    }
    if (seed < 0) break;

    PointList cluster;
    cluster.push_back(points[seed]);
    reference = points[seed];
    assigned[seed] = true;
    ++assignedCount;

    bool grew = true;
    while (grew && assignedCount < n) {
      grew = false;
      for (std::size_t j = 0; j < n && assignedCount < n; ++j) {
        double d = getDistance(points[j], reference);
        d = round(d, 3);
        if (!assigned[j] && d < threshold) {
          assigned[j] = true;
          ++assignedCount;
          cluster.push_back(points[j]);
          grew = true;
          double k = static_cast<double>(cluster.size());
          reference.x = ((k - 1) * reference.x + points[j].x) / k;
          reference.y = ((k - 1) * reference.y + points[j].y) / k;
          reference.z = ((k - 1) * reference.z + points[j].z) / k;
        }
      }
    }

    cluster.push_back(reference);
    clusters.push_back(cluster);
  }
}

int findClosestPointInSet(const PointList& points, Coordinate query) {
  double best = 999.0;
  int closest = -1;
  for (std::size_t i = 0; i < points.size(); ++i) {
    double d = getDistance(query, points[i]);
    if (best > d && d > 0) {
      best = d;
      closest = static_cast<int>(i);
    }
  }
  return closest;
}

IndexPair findFarestPointInOneSet(const PointList& points) {
  double best = -999;
  IndexPair pair{-1, -1};
  const int n = static_cast<int>(points.size());
  for (int i = 0; i + 1 < n; ++i) {
    for (int j = i + 1; j < n; ++j) {
      double d = getDistance(points[i], points[j]);
      if (d > best && d > 0) {
        best = d;
        pair = {i, j};
      }
    }
  }
  return pair;
}

IndexPair findClosestPointBtwSets(const PointList& a, const PointList& b) {
  double best = 999;
  IndexPair pair{-1, -1};
  const int na = static_cast<int>(a.size());
  const int nb = static_cast<int>(b.size());
  for (int i = 0; i < na; ++i) {
    for (int j = 0; j < nb; ++j) {
      double d = getDistance(a[i], b[j]);
      if (d < best && d > 0) {
        best = d;
        pair = {i, j};
      }
    }
  }
  return pair;
}

int findMiddlePointBtwTwoPointsInOneSet(const IndexPair& ends, const PointList& points) {
  const int n = static_cast<int>(points.size());
  if (ends.size() != 2) return -1;
  const int e0 = ends[0], e1 = ends[1];
  if (e0 < 0 || e0 >= n || e1 < 0 || e1 >= n) return -1;

  std::map<double, int> byImbalance;
  for (int i = 0; i < n; ++i) {
    double key = std::fabs(getDistance(points[i], points[e0]) - getDistance(points[i], points[e1]));
    byImbalance[key] = i;
  }
  return byImbalance.begin()->second;
}

void fineStickUnordered(PointList& points, double spacing) {
  PointList remaining = points;
  points.clear();

  int cur = plain::findFarestPointInOneSet(remaining)[0];
  if (cur < 0) return;
  int nxt = plain::findClosestPointInSet(remaining, remaining[cur]);

  while (remaining.size() > 2 && cur != -1 && nxt != -1) {
    Coordinate a = remaining[cur];
    Coordinate b = remaining[nxt];
    double length = Vectors(a, b).length();
    if (length > spacing) {
      for (double t = 0; t < length; t += spacing) points.push_back(pointOnLine(a, b, t));
    } else {
      points.push_back(a);
    }

    PointList rest;
    for (const Coordinate& p : remaining) {
      if (getDistance(a, p) < 0.001) continue;
      rest.push_back(p);
    }
    remaining = rest;

    cur = plain::findClosestPointInSet(remaining, a);
    if (cur == -1) break;
    nxt = plain::findClosestPointInSet(remaining, remaining[cur]);
  }
}

void roughStick(PointList& points, double gap) {
  for (std::size_t i = 0; i < points.size(); ++i) {
    std::size_t j = i + 1;
    while (j + 1 < points.size() && getDistance(points[i], points[j]) < gap) {
      points.erase(points.begin() + static_cast<std::ptrdiff_t>(j));
    }
  }
}

void roughStickFromIndx(PointList& points, double gap, int anchor) {
  const int n = static_cast<int>(points.size());
  if (anchor < 0 || anchor >= n) {
    points.clear();
    return;
  }

  PointList forward(points.begin() + anchor, points.end());
  PointList backward;
  for (int i = anchor; i >= 0; --i) backward.push_back(points[i]);
  plain::roughStick(forward, gap);
  plain::roughStick(backward, gap);

  points.clear();
  for (std::size_t i = backward.size() - 1; i >= 1; --i) points.push_back(backward[i]);
  points.insert(points.end(), forward.begin(), forward.end());
}

bool anyCloserThan(const PointList& points, Coordinate query, double radius) {
  for (const Coordinate& p : points)
    if (getDistance(query, p) < radius) return true;
  return false;
}

}  // namespace plain
