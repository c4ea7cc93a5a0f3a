#include "picture/gltf_writer.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <deque>
#include <unordered_map>
#include <vector>

#include "base/text.h"
#include "base/json_writer.h"
#include "picture/camera.h"
#include "translate/material_translation.h"

namespace q9x {

namespace {

static_assert(std::endian::native == std::endian::little,
              "the binary chunk holds the floats as they lie in memory");

// The JSON chunk's parts, each kept in memory in blocks of 1 MB: compact, numbers as the shortest
// decimal of their double (callers keep out what is not finite), strings made UTF-8.
using JsonText = q9::JsonWriter;
q9::JsonOptions GltfOptions() {
  q9::JsonOptions options;
  options.nonFinite = q9::JsonNonFinite::Zero;
  options.escaping.replaceInvalidUtf8 = true;
  return options;
}

constexpr int kFloatComponent = 5126;
constexpr int kArrayBuffer = 34962;
constexpr size_t kBlock = JsonText::kMemoryBlock;  // the binary chunk's pieces too
constexpr uint64_t kLargestGlb = 0xFFFFFFFFu;  // the header's length is 32 bits

// A matrix's 16 floats as the doubles they are.
JsonText& WriteMatrix(JsonText& out, const float* values) {
  out.BeginArray();
  for (size_t i = 0; i < 16; ++i) out.Number(static_cast<double>(values[i]));
  out.EndArray();
  return out;
}

// One of the document's top-level arrays: its items, joined by commas.
class Section {
 public:
  // Starts the next item; `size()` before the call is its index.
  JsonText& Item() {
    if (count_++ > 0) text_ << ",";
    return text_;
  }
  size_t size() const { return count_; }
  const JsonText& text() const { return text_; }

 private:
  JsonText text_{GltfOptions()};
  size_t count_ = 0;
};

Vec3d Unit(Vec3d a, Vec3d fallback) {
  const double length = Length(a);
  if (!(length > 1e-30) || !std::isfinite(length)) return fallback;
  return {a.x / length, a.y / length, a.z / length};
}

// What a mesh gives the file: its whole triangles with finite corners (and finite texture
// coordinates where they were sent), in the order they were sent.
struct MeshPlan {
  bool sentNormals = false;
  bool sentTexcoords = false;
  size_t triangles = 0;
  std::array<float, 3> low{}, high{};  // of the positions kept

  explicit MeshPlan(const ReceivedMesh& mesh)
      : sentNormals(mesh.normals.size() == mesh.positions.size()),
        sentTexcoords(mesh.texcoords.size() * 3 == mesh.positions.size() * 2) {}

  bool Keeps(const ReceivedMesh& mesh, size_t t) const {
    for (size_t i = 0; i < 9; ++i) {
      if (!std::isfinite(mesh.positions[t * 9 + i])) return false;
    }
    if (sentTexcoords) {
      for (size_t i = 0; i < 6; ++i) {
        if (!std::isfinite(mesh.texcoords[t * 6 + i])) return false;
      }
    }
    return true;
  }
};

MeshPlan PlanOf(const ReceivedMesh& mesh) {
  MeshPlan plan(mesh);
  for (size_t t = 0; t < mesh.HeldTriangles(); ++t) {
    if (!plan.Keeps(mesh, t)) continue;
    for (size_t i = 0; i < 9; ++i) {
      const float v = mesh.positions[t * 9 + i];
      if (plan.triangles == 0 && i < 3) plan.low[i] = plan.high[i] = v;
      plan.low[i % 3] = std::min(plan.low[i % 3], v);
      plan.high[i % 3] = std::max(plan.high[i % 3], v);
    }
    ++plan.triangles;
  }
  return plan;
}

// The binary chunk, passed on to the sink in pieces of at most 1 MB.
class BinaryChunk {
 public:
  explicit BinaryChunk(const GlbSink& sink) : sink_(sink) { buffer_.reserve(kBlock); }
  void Floats(const float* values, size_t count) {
    const char* bytes = reinterpret_cast<const char*>(values);
    if (buffer_.size() + count * 4 > kBlock) Flush();
    buffer_.insert(buffer_.end(), bytes, bytes + count * 4);
  }
  void Vector(Vec3d v) {
    const float values[3] = {static_cast<float>(v.x), static_cast<float>(v.y), static_cast<float>(v.z)};
    Floats(values, 3);
  }
  // False once the sink has refused bytes.
  bool Flush() {
    if (ok_ && !buffer_.empty()) ok_ = sink_(std::string_view(buffer_.data(), buffer_.size()));
    total_ += buffer_.size();
    buffer_.clear();
    return ok_;
  }
  bool ok() const { return ok_; }
  // The bytes taken so far.
  uint64_t total() const { return total_ + buffer_.size(); }

 private:
  const GlbSink& sink_;
  std::vector<char> buffer_;
  uint64_t total_ = 0;
  bool ok_ = true;
};

// A mesh's positions, normals and texture coordinates, as its plan lays them out.
void WriteMeshData(BinaryChunk& out, const ReceivedMesh& mesh, const MeshPlan& plan) {
  const size_t held = mesh.HeldTriangles();
  for (size_t t = 0; t < held; ++t) {
    if (plan.Keeps(mesh, t)) out.Floats(&mesh.positions[t * 9], 9);
  }
  // Corner normals that were sent but do not make a direction give way to the triangles'.
  bool sentUsable = plan.sentNormals;
  for (size_t t = 0; sentUsable && t < held; ++t) {
    if (!plan.Keeps(mesh, t)) continue;
    for (size_t k = 0; k < 3 && sentUsable; ++k) {
      const float* n = &mesh.normals[t * 9 + k * 3];
      sentUsable = Length(Unit({n[0], n[1], n[2]}, {0, 0, 0})) != 0;
    }
  }
  for (size_t t = 0; t < held; ++t) {
    if (!plan.Keeps(mesh, t)) continue;
    if (sentUsable) {
      for (size_t k = 0; k < 3; ++k) {
        const float* n = &mesh.normals[t * 9 + k * 3];
        out.Vector(Unit({n[0], n[1], n[2]}, {0, 0, 0}));
      }
    } else {
      const float* p = &mesh.positions[t * 9];
      const Vec3d a{p[0], p[1], p[2]}, b{p[3], p[4], p[5]}, c{p[6], p[7], p[8]};
      const Vec3d normal = Unit(Cross(b - a, c - a), {0, 0, 1});
      for (int k = 0; k < 3; ++k) out.Vector(normal);
    }
  }
  if (plan.sentTexcoords) {
    for (size_t t = 0; t < held; ++t) {
      if (plan.Keeps(mesh, t)) out.Floats(&mesh.texcoords[t * 6], 6);
    }
  }
}

bool FiniteCamera(const ReceivedCamera& camera) {
  for (int i = 0; i < 3; ++i) {
    if (!std::isfinite(camera.from[i]) || !std::isfinite(camera.to[i]) || !std::isfinite(camera.up[i])) {
      return false;
    }
  }
  return true;
}

// A camera's node matrix: glTF cameras look along their -Z with +Y up.
Matrix CameraMatrix(const ReceivedCamera& camera) {
  const CameraBasis basis = BasisOf(camera);
  auto f = [](double v) { return static_cast<float>(v); };
  return {f(basis.right.x),    f(basis.right.y),    f(basis.right.z),    0,
          f(basis.up.x),       f(basis.up.y),       f(basis.up.z),       0,
          f(-basis.forward.x), f(-basis.forward.y), f(-basis.forward.z), 0,
          camera.from[0],      camera.from[1],      camera.from[2],      1};
}

// The renderer's names of the properties that carry a map file, in UTF-8.
const std::vector<std::string>& MapProperties() {
  static const std::vector<std::string> names = [] {
    std::vector<std::string> utf8;
    for (std::u16string_view name : q9::kMapProperties) utf8.push_back(q9::Utf8FromUtf16(name));
    return utf8;
  }();
  return names;
}

// The JSON chunk, built in one pass over the scene: its text in parts, and the length of the
// binary chunk it describes.
class Document {
 public:
  explicit Document(const ReceivedScene& scene) : scene_(scene) {
    for (const auto& [name, node] : scene.nodes) AddNode(name, node);
    if (scene.camera) AddCamera("Current camera", *scene.camera);
    for (const auto& [name, entry] : scene.scenes) {
      if (entry.camera) AddCamera("Scene " + name, *entry.camera);
    }
    for (const auto& [name, light] : scene.lights) AddLight(name, light);
    Assemble();
  }
  // Its pieces point into itself.
  Document(const Document&) = delete;
  Document& operator=(const Document&) = delete;

  uint64_t jsonLength() const {
    uint64_t length = 0;
    for (const JsonText* piece : pieces_) length += piece->size();
    return length;
  }
  uint64_t binaryLength() const { return binaryLength_; }
  bool WriteJson(const GlbSink& sink) const {
    for (const JsonText* piece : pieces_) {
      for (const std::string& block : piece->blocks()) {
        if (!sink(block)) return false;
      }
    }
    return true;
  }

 private:
  void Glue(std::string_view text) { pieces_.push_back(&(glue_.emplace_back(GltfOptions()) << text)); }

  // The parts in the file's order; the root node lists every other node as its child.
  void Assemble() {
    JsonText& head = glue_.emplace_back(GltfOptions());
    head << "{\"asset\":{\"version\":\"2.0\",\"generator\":\"q9x export\"},\"scene\":0,\"scenes\":[{\"name\":";
    head.String(scene_.model.empty() ? "received" : scene_.model);
    // The host's Z-up axes turned to glTF's Y-up: -90 degrees about X.
    head << ",\"nodes\":[0]}],\"nodes\":[{\"name\":\"Received scene\",\"rotation\":";
    head.Numbers({-0.70710678118654752, 0, 0, 0.70710678118654752});
    if (nodes_.size() > 0) {
      head << ",\"children\":[";
      for (size_t i = 1; i <= nodes_.size(); ++i) {
        if (i > 1) head << ",";
        head.Unsigned(i);
      }
      head << "]},";
    } else {
      head << "}";
    }
    pieces_.push_back(&head);
    pieces_.push_back(&nodes_.text());
    Glue("]");
    const std::pair<const char*, const Section*> sections[] = {
        {",\"meshes\":[", &meshes_},           {",\"materials\":[", &materials_},
        {",\"accessors\":[", &accessors_},     {",\"bufferViews\":[", &bufferViews_},
        {",\"cameras\":[", &cameras_}};
    for (const auto& [opening, section] : sections) {
      if (section->size() == 0) continue;
      Glue(opening);
      pieces_.push_back(&section->text());
      Glue("]");
    }
    if (binaryLength_ > 0) {
      JsonText& buffers = glue_.emplace_back(GltfOptions());
      buffers << ",\"buffers\":[{\"byteLength\":";
      buffers.Unsigned(binaryLength_) << "}]";
      pieces_.push_back(&buffers);
    }
    if (lights_.size() > 0) {
      Glue(",\"extensionsUsed\":[\"KHR_lights_punctual\"],\"extensions\":{\"KHR_lights_punctual\":{\"lights\":[");
      pieces_.push_back(&lights_.text());
      Glue("]}}");
    }
    Glue("}");
  }

  // A buffer view of the next `triangles` x 3 items of `components` floats in the binary chunk
  // and the start of its accessor, left open for more members.
  JsonText& Accessor(uint64_t triangles, size_t components, const char* type, size_t& index) {
    const uint64_t bytes = triangles * 3 * components * 4;
    JsonText& view = bufferViews_.Item();
    view << "{\"buffer\":0,\"byteOffset\":";
    view.Unsigned(binaryLength_) << ",\"byteLength\":";
    view.Unsigned(bytes) << ",\"target\":";
    view.Unsigned(kArrayBuffer) << "}";
    binaryLength_ += bytes;
    index = accessors_.size();
    JsonText& accessor = accessors_.Item();
    accessor << "{\"bufferView\":";
    accessor.Unsigned(bufferViews_.size() - 1) << ",\"componentType\":";
    accessor.Unsigned(kFloatComponent) << ",\"count\":";
    accessor.Unsigned(triangles * 3) << ",\"type\":\"" << type << "\"";
    return accessor;
  }

  // The material a mesh is drawn with, written at its first use; nothing when it has none.
  std::optional<size_t> MaterialOf(const ReceivedMesh& mesh) {
    const ReceivedMaterial* material = scene_.MaterialOf(mesh);
    if (!material) return std::nullopt;
    const auto [at, added] = materialIndex_.try_emplace(material, materials_.size());
    if (!added) return at->second;
    const Vec3 colour = material->DiffuseColour().value_or(Vec3{1, 1, 1});
    JsonText& entry = materials_.Item();
    entry << "{\"name\":";
    entry.String(mesh.name) << ",\"pbrMetallicRoughness\":{\"baseColorFactor\":";
    entry.Numbers({colour[0], colour[1], colour[2], 1.0}) << ",\"metallicFactor\":0},\"doubleSided\":true";
    const char* separator = ",\"extras\":{";
    for (const std::string& property : MapProperties()) {
      const std::string file = material->Text(property);
      if (file.empty()) continue;
      entry << separator;
      entry.String(property) << ":";
      entry.String(file);
      separator = ",";
    }
    if (separator[0] == ',' && separator[1] == '\0') entry << "}";
    entry << "}";
    return at->second;
  }

  // The next child of the root.
  JsonText& NextNode() { return nodes_.Item(); }

  void AddNode(const std::string& name, const ReceivedNode& node) {
    // The primitives first: a node names a mesh only when it has one.
    JsonText primitives(GltfOptions());
    size_t count = 0;
    for (const ReceivedMesh& mesh : node.meshes) {
      const MeshPlan plan = PlanOf(mesh);
      if (plan.triangles == 0) continue;
      size_t position = 0, normal = 0, texcoord = 0;
      JsonText& positions = Accessor(plan.triangles, 3, "VEC3", position);
      positions << ",\"min\":";
      positions.Numbers({plan.low[0], plan.low[1], plan.low[2]}) << ",\"max\":";
      positions.Numbers({plan.high[0], plan.high[1], plan.high[2]}) << "}";
      Accessor(plan.triangles, 3, "VEC3", normal) << "}";
      if (plan.sentTexcoords) Accessor(plan.triangles, 2, "VEC2", texcoord) << "}";
      if (count++ > 0) primitives << ",";
      primitives << "{\"attributes\":{\"POSITION\":";
      primitives.Unsigned(position) << ",\"NORMAL\":";
      primitives.Unsigned(normal);
      if (plan.sentTexcoords) {
        primitives << ",\"TEXCOORD_0\":";
        primitives.Unsigned(texcoord);
      }
      primitives << "},\"mode\":4";
      if (const std::optional<size_t> material = MaterialOf(mesh)) {
        primitives << ",\"material\":";
        primitives.Unsigned(*material);
      }
      primitives << "}";
    }
    JsonText& entry = NextNode();
    entry << "{\"name\":";
    entry.String(name);
    if (node.matrix && IsFinite(*node.matrix) && !IsIdentity(*node.matrix)) {
      entry << ",\"matrix\":";
      WriteMatrix(entry, node.matrix->data());
    }
    if (count > 0) {
      entry << ",\"mesh\":";
      entry.Unsigned(meshes_.size());
      JsonText& mesh = meshes_.Item();
      mesh << "{\"name\":";
      mesh.String(name) << ",\"primitives\":[" << primitives << "]}";
    }
    entry << "}";
  }

  void AddCamera(const std::string& name, const ReceivedCamera& camera) {
    if (!FiniteCamera(camera)) return;
    const double yfov = 2 * PortableAtan(PortableTan(HorizontalFov(camera) * kPi / 360.0) / kExportAspect);
    JsonText& node = NextNode();
    node << "{\"name\":";
    node.String(name) << ",\"camera\":";
    node.Unsigned(cameras_.size()) << ",\"matrix\":";
    WriteMatrix(node, CameraMatrix(camera).data()) << "}";
    JsonText& entry = cameras_.Item();
    entry << "{\"name\":";
    entry.String(name) << ",\"type\":\"perspective\",\"perspective\":{\"aspectRatio\":";
    entry.Number(kExportAspect) << ",\"yfov\":";
    entry.Number(yfov) << ",\"znear\":0.01}}";
  }

  void AddLight(const std::string& name, const ReceivedLight& light) {
    JsonText& node = NextNode();
    node << "{\"name\":";
    node.String(name) << ",\"extensions\":{\"KHR_lights_punctual\":{\"light\":";
    node.Unsigned(lights_.size()) << "}}";
    const std::optional<Matrix> transform = light.Transform();
    if (transform && IsFinite(*transform) && !IsIdentity(*transform)) {
      node << ",\"matrix\":";
      WriteMatrix(node, transform->data());
    }
    node << "}";

    const Vec3 colour = light.Colour();
    const double intensity = light.Brightness();
    const std::string kind = light.Kind();
    JsonText& entry = lights_.Item();
    entry << "{\"name\":";
    entry.String(name) << ",\"color\":";
    entry.Numbers({colour[0], colour[1], colour[2]}) << ",\"intensity\":";
    entry.Number(std::isfinite(intensity) && intensity >= 0 ? intensity : 1.0);
    if (kind == "spot") {
      // The cone angle as the full opening in degrees.
      const std::optional<double> cone = light.ConeAngle();
      double outer = cone ? *cone * kPi / 360.0 : kPi / 4;
      if (!(outer > 0.001)) outer = 0.001;
      if (outer > kPi / 2) outer = kPi / 2;
      entry << ",\"type\":\"spot\",\"spot\":{\"innerConeAngle\":0,\"outerConeAngle\":";
      entry.Number(outer) << "}";
    } else {
      entry << ",\"type\":\"point\"";  // a profile's light is shown as a point light
    }
    entry << ",\"extras\":{\"kind\":";
    entry.String(kind) << "}}";
  }

  const ReceivedScene& scene_;
  Section nodes_, meshes_, materials_, accessors_, bufferViews_, cameras_, lights_;
  std::unordered_map<const ReceivedMaterial*, size_t> materialIndex_;
  uint64_t binaryLength_ = 0;
  std::deque<JsonText> glue_;  // a deque: the pieces point into it
  std::vector<const JsonText*> pieces_;
};

void Word(std::string& bytes, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes += static_cast<char>((value >> (8 * i)) & 0xFF);
}

}  // namespace

bool WriteGlb(const ReceivedScene& scene, const GlbSink& sink, std::string& error) {
  const Document document(scene);
  const uint64_t json = document.jsonLength();
  const uint64_t padding = (4 - json % 4) % 4;
  const uint64_t binary = document.binaryLength();
  const uint64_t length = 12 + 8 + json + padding + (binary > 0 ? 8 + binary : 0);
  if (length > kLargestGlb) {
    error = "the scene makes a .glb file of " + std::to_string(length) +
            " bytes; one .glb file holds at most 4294967295";
    return false;
  }
  std::string header;
  Word(header, 0x46546C67);  // "glTF"
  Word(header, 2);
  Word(header, static_cast<uint32_t>(length));
  Word(header, static_cast<uint32_t>(json + padding));
  Word(header, 0x4E4F534A);  // "JSON"
  bool written = sink(header) && document.WriteJson(sink) && sink(std::string(padding, ' '));
  if (written && binary > 0) {
    std::string chunk;
    Word(chunk, static_cast<uint32_t>(binary));
    Word(chunk, 0x004E4942);  // "BIN"
    written = sink(chunk);
    BinaryChunk out(sink);
    for (const auto& [name, node] : scene.nodes) {
      for (const ReceivedMesh& mesh : node.meshes) {
        if (!written) break;
        const MeshPlan plan = PlanOf(mesh);
        if (plan.triangles > 0) WriteMeshData(out, mesh, plan);
        written = out.ok();
      }
    }
    written = written && out.Flush();
    if (written && out.total() != binary) {
      error = "the binary chunk came to " + std::to_string(out.total()) + " bytes instead of " +
              std::to_string(binary);
      return false;
    }
  }
  if (!written) error = "the file could not take every byte";
  return written;
}

std::string ExportGlb(const ReceivedScene& scene) {
  std::string bytes, error;
  const bool written = WriteGlb(scene, [&bytes](std::string_view part) {
    bytes.append(part);
    return true;
  }, error);
  return written ? bytes : std::string();
}

}  // namespace q9x
