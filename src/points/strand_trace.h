#pragma once
// How C-alpha traces are grown along sticks, apart from the searches they
// call: a trace starts at an anchor C-alpha and grows towards both ends of
// its stick; a sheet anchors each stick near the middle of its central one.
// The program searches with its fast kernels (ca_model.cpp); the tests'
// plain reference runs this same control flow with plain scans, so that
// comparing the two checks the kernels.

#include <cstddef>
#include <vector>

#include "velmorantique/points.h"

namespace vel::strand_trace {

constexpr double kThinningGap = 3.0;      // stick points about one residue apart
constexpr double kAnchorMatch = 0.001;    // finding the anchor again after thinning
constexpr double kSearchHalfWidth = 1.5;  // grid reach around a stick point
constexpr double kGridStep = 0.1;
constexpr double kPlaneTolerance = 0.3;   // C-alphas stay close to the stick's plane
constexpr double kNormalCone = 60.0;      // anchor C-alpha on the normal's side
constexpr double kMinSpacing = 3.75;      // consecutive C-alphas of a strand
constexpr double kMaxSpacing = 3.8;
constexpr double kMinVirtualAngle = 100.0;
constexpr double kMaxVirtualAngle = 150.0;
constexpr double kBridgingStep = 3.8;
constexpr double kEndGap = 3.0;

// The offsets of one grid axis: accumulated from -1.5 upwards at even stick
// indices and from +1.5 downwards at odd ones. Both give 30 values, because
// the accumulated value overshoots the far end before reaching it.
inline std::vector<double> gridOffsets(bool upwards) {
  std::vector<double> offsets;
  if (upwards) {
    for (double o = -kSearchHalfWidth; o <= kSearchHalfWidth; o += kGridStep) offsets.push_back(o);
  } else {
    for (double o = kSearchHalfWidth; o >= -kSearchHalfWidth; o -= kGridStep) offsets.push_back(o);
  }
  return offsets;
}

// Grows the trace from the anchor towards both ends of the stick. The anchor
// C-alpha starts both directions and appears once in the result, which runs
// from the stick's first end to its last. tracer.search(i, trace, found)
// finds the first grid position around stick point i that fits the trace.
template <class Tracer>
PointList traceStrand(const PointList& stick, int anchor, const Tracer& tracer) {
  const int s = static_cast<int>(stick.size());
  if (anchor < 0 || anchor >= s) return PointList();

  Coordinate anchorCa;
  // A stick of fewer than three points, or a straight one, spans no plane, so
  // no position passes and the trace stays empty.
  if (!tracer.search(anchor, PointList(), anchorCa)) return PointList();

  // Forward; the last stick point gets no search of its own. The anchor
  // C-alpha opens the forward half even when the anchor is the last stick
  // point, so the trace always keeps it.
  PointList forward{anchorCa};
  for (int i = anchor + 1; i <= s - 2; ++i) {
    Coordinate ca;
    if (tracer.search(i, forward, ca)) {
      forward.push_back(ca);
    } else if (getDistance(stick[i + 1], forward.back()) > kBridgingStep) {
      // No fitting position: step towards the next stick point rather than
      // leave a gap the next search could not span.
      forward.push_back(pointOnLine(forward.back(), stick[i + 1], kBridgingStep));
    }
  }
  if (getDistance(stick[s - 1], forward.back()) >= kEndGap) forward.push_back(stick[s - 1]);

  // Backward; the first stick point gets no search of its own.
  PointList backward{anchorCa};
  for (int i = anchor - 1; i >= 1; --i) {
    Coordinate ca;
    if (tracer.search(i, backward, ca)) {
      backward.push_back(ca);
    } else if (getDistance(stick[i - 1], backward.back()) > kBridgingStep) {
      backward.push_back(pointOnLine(backward.back(), stick[i - 1], kBridgingStep));
    }
  }
  if (getDistance(stick[0], backward.back()) >= kEndGap) backward.push_back(stick[0]);

  PointList trace;
  for (std::size_t k = backward.size() - 1; k >= 1; --k) trace.push_back(backward[k]);
  trace.insert(trace.end(), forward.begin(), forward.end());
  return trace;
}

// Every strand is anchored at its point nearest the middle of the central
// strand, so the C-alpha registers of neighbouring strands start side by side.
// Kernels gives the point queries (farthestPair, middlePoint, closestPoint),
// the thinning (roughStickFromIndx) and the trace of one stick (strand).
template <class Kernels>
StrandSet traceSheet(StrandSet sticks, Vectors normal) {
  const int n = static_cast<int>(sticks.size());
  StrandSet traces(n);
  if (n == 0) return traces;

  const int central = n / 2;
  IndexPair ends = Kernels::farthestPair(sticks[central]);
  int middle = Kernels::middlePoint(ends, sticks[central]);
  if (middle < 0) return traces;  // the central stick has no extent: no centre to anchor at
  const Coordinate centre = sticks[central][middle];

  std::vector<bool> anchored(n, false);
  PointList anchors(n);
  for (int i = 0; i < n; ++i) {
    // The centre itself lies at distance 0 from the central stick's middle
    // point, which the nearest-point query would skip.
    int k = (i == central) ? middle : Kernels::closestPoint(sticks[i], centre);
    if (k >= 0) {
      anchors[i] = sticks[i][k];
      anchored[i] = true;
    }
    Kernels::roughStickFromIndx(sticks[i], kThinningGap, k);
  }

  for (int j = 0; j < n; ++j) {
    if (!anchored[j]) continue;
    const PointList& stick = sticks[j];
    for (std::size_t p = 0; p < stick.size(); ++p) {
      if (getDistance(stick[p], anchors[j]) < kAnchorMatch) {
        traces[j] = Kernels::strand(stick, static_cast<int>(p), normal);
        break;
      }
    }
  }
  return traces;
}

}  // namespace vel::strand_trace
