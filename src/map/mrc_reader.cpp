// Reading an MRC map into the grid: the header, whichever of the stored forms
// the map came in, then the voxels into the grid as floats.

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <initializer_list>
#include <new>
#include <sstream>
#include <vector>

#include "mrc_format.h"
#include "velmorantique/fatal.h"
#include "velmorantique/geometry.h"
#include "velmorantique/map.h"

namespace vel {

namespace {

bool cellLengthUsable(float length) { return std::isfinite(length) && length != 0.0f; }

constexpr double kMaxVoxelSize = 1000.0;  // ångström

bool voxelSizeUsable(double apix) { return std::fabs(apix) <= kMaxVoxelSize; }  // false for NaN

// Numbers as the stream prints them, blank-separated.
std::string numbersText(std::initializer_list<double> values) {
  std::ostringstream text;
  for (double v : values) text << (text.tellp() > 0 ? " " : "") << v;
  return text.str();
}

[[noreturn]] void refuseMap(const std::string& middle) { stopRun(FrameStyle::Banner, "MRC::read (string)", middle); }

void refuseIfDamaged(const MapSource& source) {
  if (!source.damage().empty())
    refuseMap("The gzip-compressed map file is damaged ( " + source.damage() + " ).");
}

// Angles within 0.001 degrees of 90 are right angles; all three 0, as some
// writers leave them, mean an orthogonal cell too.
bool orthogonalCell(const MRC_HEADER& h) {
  if (h.alpha == 0.0f && h.beta == 0.0f && h.gamma == 0.0f) return true;
  for (float angle : {h.alpha, h.beta, h.gamma})
    if (!(std::fabs(static_cast<double>(angle) - 90.0) <= 0.001)) return false;
  return true;
}

std::string axisOrderText(const MRC_HEADER& h) {
  return std::to_string(h.mapc) + " " + std::to_string(h.mapr) + " " + std::to_string(h.maps);
}

// What was done to read a map stored in other than the plain form, said in
// one line after reading; a plain map adds nothing to the output.
class Conversions {
 public:
  void add(const std::string& sentence) { text_ += (text_.empty() ? "" : " ") + sentence; }
  void print() const {
    if (!text_.empty()) *runStreams().out << text_ << std::endl;
  }

 private:
  std::string text_;
};

// How the file stores its map, as its header says.
struct StoredForm {
  ByteOrder order = ByteOrder::Little;
  bool stampSaid = true;  // the machine stamp named the byte order
  AxisOrder axes{};       // grid axis of the stored columns, rows and sections
  int bytesPerVoxel = 4;
  size_t columns = 0, rows = 0, sections = 0;  // the stored extents, before reordering
};

std::string extendedHeaderMessage(const MRC_HEADER& h) {
  return "Strange header of the file. The extended header ( nsymbt = " + std::to_string(h.nsymbt) +
         " bytes ) does not fit in the file.";
}

// The file itself, or the compressed copy beside it: maps are often kept as downloaded.
void openMapFile(MapSource& source, const std::string& path, Conversions& conversions) {
  if (!source.open(path)) {
    if (!source.open(path + ".gz")) refuseMap("Can't open given Map file ( " + path + " ). ");
    conversions.add("Map file " + path + " not found; read " + path + ".gz instead.");
  }
  if (source.gzipped()) conversions.add("Map file is gzip-compressed; decompressed on reading.");
}

// The header block in the byte order it was written in. A file shorter than
// the header leaves the bytes it lacks as in the default header: all zero,
// mode 2.
MRC_HEADER readHeader(MapSource& source, StoredForm& form) {
  unsigned char block[kMrcHeaderBytes] = {};
  block[12] = 2;
  unsigned char got[kMrcHeaderBytes];
  const size_t headerRead = source.read(got, kMrcHeaderBytes);
  refuseIfDamaged(source);
  std::memcpy(block, got, headerRead);
  form.order = storedByteOrder(block, form.stampSaid);
  return decodeHeader(block, form.order);
}

// Refuses a header that describes no single volume this reader can place,
// in the order the checks are made; fills in the stored form it describes.
void checkHeader(const MRC_HEADER& hdr, StoredForm& form) {
  if (!extentInRange(hdr.nx) || !extentInRange(hdr.ny) || !extentInRange(hdr.nz))
    refuseMap("Strange header of the file. One of (nx,ny,nz) exceeds MAXLEN ( " +
              std::to_string(MAXLEN) + " ).");
  // A zero sampling interval gives an infinite voxel size, and with it no
  // position for any voxel.
  if (hdr.mx == 0 || hdr.my == 0 || hdr.mz == 0)
    refuseMap("Strange header of the file. One of (mx,my,mz) is zero: the voxel size is undefined.");
  // A cell length of zero puts every voxel at the origin, and one that is not
  // a number gives no voxel a position: refuse them here, not as a failed fit.
  if (!cellLengthUsable(hdr.xlen) || !cellLengthUsable(hdr.ylen) || !cellLengthUsable(hdr.zlen))
    refuseMap("Strange header of the file. One of (xlen,ylen,zlen) is zero or not a finite length: the voxel size is undefined.");
  if (!std::isfinite(hdr.xorigin) || !std::isfinite(hdr.yorigin) || !std::isfinite(hdr.zorigin))
    refuseMap("Strange header of the file. The origin is not a finite position.");
  form.bytesPerVoxel = voxelBytes(hdr.mode);
  if (form.bytesPerVoxel == 0)
    refuseMap("Map mode " + std::to_string(hdr.mode) + " (" + modeName(hdr.mode) +
              ") cannot be read: only modes 0, 1, 2, 6 and 12 hold real voxel values.");
  // Voxels are placed on orthogonal axes; a skewed cell would put them up to
  // many ångström away from where the map has them.
  if (!orthogonalCell(hdr))
    refuseMap("Strange header of the file. The cell angles (alpha,beta,gamma) = ( " + numbersText({hdr.alpha, hdr.beta, hdr.gamma}) +
              " ) are not all 90 degrees: only maps on orthogonal axes can be read.");
  // A stack holds several volumes or 2-D images one after another; read as
  // one volume its sections would be taken for one sheet.
  if (hdr.ispg >= 401 && hdr.ispg <= 630 && hdr.nz > hdr.mz)
    refuseMap("Strange header of the file. The map is a stack of volumes ( ispg = " + std::to_string(hdr.ispg) +
              ", nz = " + std::to_string(hdr.nz) + " sections of " + std::to_string(hdr.mz) +
              " per volume ), not one volume.");
  if (hdr.ispg == 0 && hdr.mz == 1 && hdr.nz > 1)
    refuseMap("Strange header of the file. The map is a stack of " + std::to_string(hdr.nz) +
              " 2-D images ( ispg = 0, mz = 1 ), not one volume.");
  if (!storedAxisOrder(hdr, form.axes))
    refuseMap("Strange header of the file. The axis order (mapc,mapr,maps) = ( " + axisOrderText(hdr) +
              " ) is not an order of 1 2 3.");
  if (hdr.nsymbt < 0) refuseMap(extendedHeaderMessage(hdr));
  form.columns = static_cast<size_t>(hdr.nx);
  form.rows = static_cast<size_t>(hdr.ny);
  form.sections = static_cast<size_t>(hdr.nz);
}

// Says how the map is stored, where that is not the plain form, and turns the
// header's extents and starts, stored per column, row and section, onto x, y, z.
void convertStoredForm(MRC_HEADER& hdr, const StoredForm& form, Conversions& conversions) {
  if (form.order == ByteOrder::Big)
    conversions.add(form.stampSaid ? "Map stored big-endian; byte-swapped."
                                   : "Map stored big-endian (judged by its header: no machine stamp); byte-swapped.");
  if (hdr.mode != 2)
    conversions.add("Map stored in mode " + std::to_string(hdr.mode) + " (" + modeName(hdr.mode) +
                    "); converted to 32-bit floats.");
  if (hdr.nsymbt > 0)
    conversions.add("Map has an extended header of " + std::to_string(hdr.nsymbt) +
                    " bytes; voxel data read from byte " +
                    std::to_string(kMrcHeaderBytes + static_cast<size_t>(hdr.nsymbt)) + ".");
  if (!isStandardAxisOrder(form.axes)) {
    conversions.add("Map stored in axis order " + axisOrderText(hdr) + "; reordered to x y z.");
    reorderToXyz(hdr, form.axes);
  }
}

// The header alone decides the grid's size, whatever the file holds: it is
// checked against the machine before memory is touched. Returns the start of
// the message that refuses a grid too large.
std::string checkFootprint(const MRC_HEADER& hdr) {
  const uint64_t needed = cubeFootprint(hdr.nx, hdr.ny, hdr.nz);
  const uint64_t limit = cubeMemoryLimit();
  const uint64_t mb = 1024 * 1024;
  const std::string tooLarge = "Map too large for this machine. The grid of (nx,ny,nz) needs " +
                               std::to_string((needed + mb - 1) / mb) + " MB";
  if (limit != 0 && needed > limit)
    refuseMap(tooLarge + ", more than " + memoryLimitName() + " ( " + std::to_string(limit / mb) +
              " MB ).");
  return tooLarge;
}

// Where voxel (0, 0, 0) lies. Many writers leave ORIGIN at zero and place the
// grid by its start indices instead; without them the map would lie away
// from the model.
void placeOrigin(MRC_HEADER& hdr, double apixX, double apixY, double apixZ, Conversions& conversions) {
  if (hdr.xorigin == 0.0f && hdr.yorigin == 0.0f && hdr.zorigin == 0.0f &&
      (hdr.nxstart != 0 || hdr.nystart != 0 || hdr.nzstart != 0)) {
    hdr.xorigin = static_cast<float>(hdr.nxstart * apixX);
    hdr.yorigin = static_cast<float>(hdr.nystart * apixY);
    hdr.zorigin = static_cast<float>(hdr.nzstart * apixZ);
    std::ostringstream note;
    note << "Map origin is zero; voxel (0,0,0) placed at the grid start ( " << hdr.nxstart << " "
         << hdr.nystart << " " << hdr.nzstart << " ) times the voxel size: ( " << hdr.xorigin << " "
         << hdr.yorigin << " " << hdr.zorigin << " ).";
    conversions.add(note.str());
  } else if (hdr.nxstart != 0 || hdr.nystart != 0 || hdr.nzstart != 0) {
    // Placed by ORIGIN alone; a reader that places maps by their grid start
    // would put this one elsewhere.
    std::ostringstream note;
    note << "Map placed by its origin ( " << hdr.xorigin << " " << hdr.yorigin << " " << hdr.zorigin
         << " ); the grid start ( " << hdr.nxstart << " " << hdr.nystart << " " << hdr.nzstart
         << " ) was not used.";
    conversions.add(note.str());
  }
}

// A voxel of over 1000 Å, or a map placed a million ångström away, is no
// measurement but a damaged or foreign header.
void checkPlacement(const MRC_HEADER& hdr, double apixX, double apixY, double apixZ) {
  if (!voxelSizeUsable(apixX) || !voxelSizeUsable(apixY) || !voxelSizeUsable(apixZ))
    refuseMap("Strange header of the file. The voxel size ( " + numbersText({apixX, apixY, apixZ}) +
              " ) is not finite or exceeds " + numbersText({kMaxVoxelSize}) + " A.");
  if (!withinReach(Coordinate(hdr.xorigin, hdr.yorigin, hdr.zorigin)))
    refuseMap("Strange header of the file. The origin ( " + numbersText({hdr.xorigin, hdr.yorigin, hdr.zorigin}) +
              " ) lies beyond " + numbersText({kCoordinateReach}) + " A.");
}

uint64_t storedBytes(const StoredForm& form) {
  return static_cast<uint64_t>(form.columns) * form.rows * form.sections * static_cast<uint64_t>(form.bytesPerVoxel);
}

// A file that ends early (an interrupted download) is refused: the voxels it
// lacks would read as empty.
[[noreturn]] void refuseTruncated(uint64_t bytesPresent, uint64_t bytesExpected) {
  refuseMap("Map file ends before its voxel data does: " + std::to_string(bytesPresent) +
            " bytes of voxel data present, " + std::to_string(bytesExpected) +
            " expected. The file is truncated (an interrupted download?).");
}

// The stored section s, of `voxels` values, onto the grid's axes.
void placeSection(const StoredForm& form, size_t s, const float* values, size_t voxels, Map& map) {
  size_t pos[3] = {0, 0, 0};  // grid index along x, y, z
  pos[form.axes[2]] = s;
  size_t i = 0;
  for (size_t r = 0; r < form.rows && i < voxels; ++r) {
    pos[form.axes[1]] = r;
    for (size_t c = 0; c < form.columns && i < voxels; ++c, ++i) {
      pos[form.axes[0]] = c;
      map.at(static_cast<int>(pos[0]), static_cast<int>(pos[1]), static_cast<int>(pos[2])) = values[i];
    }
  }
}

// Appends count values to the grid, which holds the voxels in stored order
// so far, taking more memory only as data arrives, never past the whole.
void appendGrowing(std::vector<float>& cube, const float* values, size_t count, size_t whole) {
  if (cube.size() + count > cube.capacity())
    cube.reserve(std::min(whole, std::max(cube.size() + count, 2 * cube.capacity())));
  cube.insert(cube.end(), values, values + count);
}

// The voxels into the grid. Storage order is columns fastest, then rows, then
// sections: one section at a time is one bulk read. When the grid is to grow
// (a compressed file that does not vouch for its length), the values are
// kept in stored order as they arrive and put in place once all are there.
void readVoxels(MapSource& source, const StoredForm& form, int32_t mode, bool grow, Map& map) {
  const size_t columns = form.columns, rows = form.rows, sections = form.sections;
  const size_t stride = static_cast<size_t>(form.bytesPerVoxel);
  const size_t whole = columns * rows * sections;
  uint64_t bytesPresent = 0;
  std::vector<unsigned char> stored(columns * rows * stride);
  std::vector<float> values(columns * rows);
  for (size_t s = 0; s < sections; ++s) {
    const size_t bytes = source.read(stored.data(), stored.size());
    refuseIfDamaged(source);
    bytesPresent += bytes;
    const size_t voxels = bytes / stride;
    decodeVoxels(stored.data(), voxels, mode, form.order, values.data());
    if (grow)
      appendGrowing(map.cube, values.data(), voxels, whole);
    else if (isStandardAxisOrder(form.axes))
      std::copy(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(voxels),
                map.cube.begin() + static_cast<std::ptrdiff_t>(s * columns * rows));
    else
      placeSection(form, s, values.data(), voxels, map);
    if (bytes < stored.size()) break;
  }
  if (bytesPresent < storedBytes(form)) {
    std::vector<float>().swap(map.cube);
    refuseTruncated(bytesPresent, storedBytes(form));
  }
  if (grow && !isStandardAxisOrder(form.axes)) {
    const std::vector<float> inStoredOrder = std::move(map.cube);
    map.cube.assign(whole, 0.0f);
    for (size_t s = 0; s < sections; ++s)
      placeSection(form, s, inStoredOrder.data() + s * columns * rows, columns * rows, map);
  }
}

}  // namespace

void Map::setApix() {
  apixX = static_cast<double>(hdr.xlen) / hdr.mx;
  apixY = static_cast<double>(hdr.ylen) / hdr.my;
  apixZ = static_cast<double>(hdr.zlen) / hdr.mz;
}

void Map::read(std::string path) {
  Conversions conversions;  // said in one line once the map is read
  MapSource source;
  openMapFile(source, path, conversions);
  StoredForm form;
  hdr = readHeader(source, form);
  checkHeader(hdr, form);
  convertStoredForm(hdr, form, conversions);
  const std::string tooLarge = checkFootprint(hdr);
  setApix();
  placeOrigin(hdr, apixX, apixY, apixZ, conversions);
  checkPlacement(hdr, apixX, apixY, apixZ);

  if (hdr.nsymbt > 0 && !source.skip(static_cast<uint64_t>(hdr.nsymbt))) {
    refuseIfDamaged(source);
    refuseMap(extendedHeaderMessage(hdr));
  }
  // A header may claim far more voxels than the file holds: a plain file's
  // size tells before anything is allocated; a compressed file that does not
  // vouch for its length gets its grid as its data arrives.
  uint64_t left = 0;
  if (source.bytesLeft(left) && left < storedBytes(form)) refuseTruncated(left, storedBytes(form));
  const bool grow = source.gzipped() && !source.trailerGives(storedBytes(form));
  try {
    if (grow) {
      createCube(0, 0, 0);
      rows_ = static_cast<int16_t>(hdr.nx), cols_ = static_cast<int16_t>(hdr.ny), slcs_ = static_cast<int16_t>(hdr.nz);
    } else {
      createCube(static_cast<int16_t>(hdr.nx), static_cast<int16_t>(hdr.ny), static_cast<int16_t>(hdr.nz));
    }
    readVoxels(source, form, hdr.mode, grow, *this);
  } catch (const std::bad_alloc&) {
    createCube(0, 0, 0);
    refuseMap(tooLarge + ", more than can be allocated.");
  }
  conversions.print();
}

}  // namespace vel
