// A small network from a voxel's features to how likely it is to belong to a
// sheet: one hidden layer of tanh units and a logistic output per label. It
// is trained here, on maps simulated from the tuning half of the entries,
// and its weights are compiled in (sheet_net_weights.inc), so nothing is
// fetched or loaded at run time.
#include <algorithm>
#include <cmath>
#include <numeric>
#include <ostream>
#include <random>

#include "find_parts.h"

namespace vel {
namespace find {

void VoxelNet::predict(const float* x, float* out) const {
  float xs[kMostInputs];
  for (int i = 0; i < inputs; ++i) xs[i] = (x[i] - mean[i]) * scale[i];
  float h[kMostHidden];
  for (int u = 0; u < hidden; ++u) {
    float a = b1[u];
    const float* w = &w1[static_cast<size_t>(u) * inputs];
    for (int i = 0; i < inputs; ++i) a += w[i] * xs[i];
    h[u] = std::tanh(a);
  }
  for (int o = 0; o < outputs; ++o) {
    float a = b2[o];
    const float* w = &w2[static_cast<size_t>(o) * hidden];
    for (int u = 0; u < hidden; ++u) a += w[u] * h[u];
    out[o] = 1.0f / (1.0f + std::exp(-a));
  }
}

VoxelNet trainVoxelNet(const TrainingSet& data, const TrainingPlan& plan, std::ostream* progress) {
  VoxelNet net;
  net.inputs = data.inputs;
  net.outputs = data.outputs;
  net.hidden = std::min(plan.hidden, kMostHidden);
  net.voxel = plan.voxel;
  const size_t rows = data.x.size() / data.inputs;
  if (rows == 0) throw FindError("no training samples");
  if (net.inputs > kMostInputs || net.outputs > kMostOutputs) throw FindError("too many inputs or outputs for the network");
  // Inputs standardised by their mean and spread over the samples.
  net.mean.assign(net.inputs, 0.0f);
  net.scale.assign(net.inputs, 1.0f);
  for (int i = 0; i < net.inputs; ++i) {
    double sum = 0, sumSq = 0;
    for (size_t r = 0; r < rows; ++r) {
      const double v = data.x[r * net.inputs + i];
      sum += v;
      sumSq += v * v;
    }
    const double m = sum / rows, var = std::max(0.0, sumSq / rows - m * m);
    net.mean[i] = static_cast<float>(m);
    net.scale[i] = static_cast<float>(var > 1e-12 ? 1.0 / std::sqrt(var) : 1.0);
  }
  std::mt19937 random(plan.seed);
  std::normal_distribution<double> normal(0.0, 1.0);
  const int ni = net.inputs, nh = net.hidden, no = net.outputs;
  net.w1.resize(static_cast<size_t>(nh) * ni);
  for (float& w : net.w1) w = static_cast<float>(normal(random) / std::sqrt(ni));
  net.b1.assign(nh, 0.0f);
  net.w2.resize(static_cast<size_t>(no) * nh);
  for (float& w : net.w2) w = static_cast<float>(normal(random) / std::sqrt(nh));
  net.b2.assign(no, 0.0f);

  // Adam over mini-batches; the parameters as one list for its moments.
  std::vector<float*> params;
  for (std::vector<float>* p : {&net.w1, &net.b1, &net.w2, &net.b2})
    for (float& v : *p) params.push_back(&v);
  std::vector<double> grad(params.size()), m1(params.size(), 0.0), m2(params.size(), 0.0);
  const double beta1 = 0.9, beta2 = 0.999, eps = 1e-8;
  long step = 0;
  std::vector<size_t> order(rows);
  std::iota(order.begin(), order.end(), 0);
  std::vector<double> xs(ni), h(nh), dh(nh);
  const size_t w1Count = net.w1.size(), b1At = w1Count, w2At = b1At + nh, b2At = w2At + static_cast<size_t>(no) * nh;
  for (int epoch = 0; epoch < plan.epochs; ++epoch) {
    std::shuffle(order.begin(), order.end(), random);
    const double rate = plan.rate * (epoch < plan.epochs / 2 ? 1.0 : 0.3);
    double loss = 0, seen = 0;
    for (size_t start = 0; start < rows; start += plan.batch) {
      const size_t end = std::min(rows, start + plan.batch);
      std::fill(grad.begin(), grad.end(), 0.0);
      double batchWeight = 0;
      for (size_t b = start; b < end; ++b) {
        const size_t r = order[b];
        const double weight = data.weight.empty() ? 1.0 : data.weight[r];
        batchWeight += weight;
        for (int i = 0; i < ni; ++i) xs[i] = (data.x[r * ni + i] - net.mean[i]) * net.scale[i];
        for (int u = 0; u < nh; ++u) {
          double a = net.b1[u];
          for (int i = 0; i < ni; ++i) a += net.w1[static_cast<size_t>(u) * ni + i] * xs[i];
          h[u] = std::tanh(a);
          dh[u] = 0;
        }
        for (int o = 0; o < no; ++o) {
          double a = net.b2[o];
          for (int u = 0; u < nh; ++u) a += net.w2[static_cast<size_t>(o) * nh + u] * h[u];
          const double p = 1.0 / (1.0 + std::exp(-a));
          const double y = data.y[r * no + o];
          loss -= weight * (y * std::log(std::max(p, 1e-9)) + (1 - y) * std::log(std::max(1 - p, 1e-9)));
          const double da = weight * (p - y);
          grad[b2At + o] += da;
          for (int u = 0; u < nh; ++u) {
            grad[w2At + static_cast<size_t>(o) * nh + u] += da * h[u];
            dh[u] += da * net.w2[static_cast<size_t>(o) * nh + u];
          }
        }
        for (int u = 0; u < nh; ++u) {
          const double dz = dh[u] * (1 - h[u] * h[u]);
          grad[b1At + u] += dz;
          for (int i = 0; i < ni; ++i) grad[static_cast<size_t>(u) * ni + i] += dz * xs[i];
        }
      }
      seen += batchWeight;
      ++step;
      const double c1 = 1 - std::pow(beta1, step), c2 = 1 - std::pow(beta2, step);
      for (size_t p = 0; p < params.size(); ++p) {
        const double g = grad[p] / std::max(batchWeight, 1e-12) + plan.decay * *params[p];
        m1[p] = beta1 * m1[p] + (1 - beta1) * g;
        m2[p] = beta2 * m2[p] + (1 - beta2) * g * g;
        *params[p] -= static_cast<float>(rate * (m1[p] / c1) / (std::sqrt(m2[p] / c2) + eps));
      }
    }
    if (progress) *progress << "  epoch " << epoch + 1 << ": loss " << loss / std::max(seen, 1e-12) << "\n";
  }
  return net;
}

namespace {
void writeArray(std::ostream& out, const char* name, const std::vector<float>& v) {
  out << "const float " << name << "[] = {";
  for (size_t i = 0; i < v.size(); ++i) out << (i % 8 ? " " : "\n    ") << v[i] << (i + 1 < v.size() ? "," : "");
  out << "};\n";
}
}  // namespace

void writeNetSource(const VoxelNet& net, std::ostream& out) {
  out.precision(9);
  out << "// The sheet classifier's weights, written by bench/find_train from maps\n"
         "// simulated from the tuning half of bench/calibration/entries.tsv.\n"
      << "const int kNetInputs = " << net.inputs << ", kNetHidden = " << net.hidden << ", kNetOutputs = " << net.outputs
      << ";\n"
      << "const double kNetVoxel = " << net.voxel << ";  // A: the grid its features are read on (0: the map's own)\n";
  writeArray(out, "kNetMean", net.mean);
  writeArray(out, "kNetScale", net.scale);
  writeArray(out, "kNetW1", net.w1);
  writeArray(out, "kNetB1", net.b1);
  writeArray(out, "kNetW2", net.w2);
  writeArray(out, "kNetB2", net.b2);
}

namespace {
#include "sheet_net_weights.inc"
}  // namespace

const VoxelNet& sheetNet() {
  static const VoxelNet net = [] {
    VoxelNet n;
    n.inputs = kNetInputs;
    n.hidden = kNetHidden;
    n.outputs = kNetOutputs;
    n.voxel = kNetVoxel;
    n.mean.assign(std::begin(kNetMean), std::end(kNetMean));
    n.scale.assign(std::begin(kNetScale), std::end(kNetScale));
    n.w1.assign(std::begin(kNetW1), std::end(kNetW1));
    n.b1.assign(std::begin(kNetB1), std::end(kNetB1));
    n.w2.assign(std::begin(kNetW2), std::end(kNetW2));
    n.b2.assign(std::begin(kNetB2), std::end(kNetB2));
    return n;
  }();
  return net;
}

std::vector<float> sheetProbabilities(const VoxelFeatures& features, const VoxelNet& net) {
  if (net.inputs != kVoxelFeatureCount) throw FindError("the sheet classifier expects a different set of features");
  const size_t rows = features.voxels.size(), outputs = static_cast<size_t>(net.outputs);
  std::vector<float> out(rows * outputs);
  for (size_t row = 0; row < rows; ++row) net.predict(&features.values[row * kVoxelFeatureCount], &out[row * outputs]);
  return out;
}

}  // namespace find
}  // namespace vel
