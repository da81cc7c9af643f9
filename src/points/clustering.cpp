#include <cmath>
#include <cstddef>
#include <vector>

#include "velmorantique/points.h"

// Halves go away from zero. The truncation is done in double: it gives the
// same value as truncating to a 32-bit integer wherever that integer exists,
// and stays defined for distances too large for one (and for not-a-number,
// which stays not-a-number).
double round(double& value, int16_t decimals) {
  double scale = std::pow(10.0, decimals);
  double half = value < 0 ? -0.5 : 0.5;
  return std::trunc(value * scale + half) / scale;
}

void peakClustering(const PointList& points, ClusterList& clusters, Coordinate start, double threshold) {
  const std::size_t n = points.size();
  std::vector<bool> assigned(n, false);
  std::size_t assignedCount = 0;
  // Each new cluster is seeded next to the centroid of the previous one, so
  // the clusters tile the cloud patch by patch.
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
    // Points are left but none is within reach of the reference point (or
    // their distances are not numbers): no further cluster can be seeded.
    if (seed < 0) break;

    PointList cluster;
    cluster.push_back(points[seed]);
    reference = points[seed];  // the running centroid
    assigned[seed] = true;
    ++assignedCount;

    // Sweep the cloud again and again while the cluster still grows; a point
    // joins when it lies within the threshold of the centroid as it stands at
    // that moment.
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
  // A point at distance 0 is the query itself (or a duplicate of it) and is
  // never its own neighbour.
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
