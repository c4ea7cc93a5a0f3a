// The received scene: what the renderer holds after the last call it received. The reference
// link library keeps its sessions in it (and writes its raw archive from it); q9x rebuilds it
// from the library's journal (journal_decoder.h, apply_call.h) or raw archive (raw_archive.h)
// for `summary`, `view` and `export`. The calls' effects are the functions of ReceivedScene
// below, the same for both.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

// The model itself needs no JSON; the glTF writer of tools/picture takes it through here.

#include "received/named_list.h"

namespace q9x {

using Vec3 = std::array<float, 3>;
using Matrix = std::array<float, 16>;  // column by column: translation in 12, 13, 14

// The ten floats of a camera block as AddScene and SendCameraTransformFov pass it: from, to, up
// and the block's own field of view.
using CameraBlock = std::array<float, 10>;

// The box around points, in the coordinates they were given in.
struct Bounds {
  Vec3 low{}, high{};
  bool operator==(const Bounds&) const = default;
  void Add(const Bounds& other);
};

// One step of the 64-bit hash of positions: `hash` with `value` mixed in (the hash of nothing is
// kHashStart). Equal sequences give equal hashes; unequal ones almost never do.
inline constexpr uint64_t kHashStart = 0x6A09E667F3BCC908u;
uint64_t HashStep(uint64_t hash, uint64_t value);

// What a mesh's positions were, without holding them: a reader asked for it (apply_call.h)
// hashes the bits of the words it would hold as positions as they stream by, and boxes their
// corners.
// Kept flat (no optional members), since every mesh of a scene of millions carries one.
struct PositionsPrint {
  uint64_t hash = kHashStart;  // the words' bits, in order, then their number
  Bounds bounds;               // of the corners whose three coordinates are finite...
  bool bounded = false;        // ...when there was one
  void Add(const Bounds& more);
};

struct ReceivedMesh {
  std::string name;           // the material's name, as the host names its meshes
  int32_t triangles = 0;      // the count the call gave
  bool printed = false;       // `print` was made (a reader asked for it)
  // Held only when the reader was asked for them (a journal holds array 1 alone; the reference
  // library and a raw archive keep none).
  std::vector<float> positions;  // 9 floats a triangle (three corners x, y, z)
  std::vector<float> normals;    // 9 floats a triangle, or empty
  std::vector<float> texcoords;  // 6 floats a triangle, or empty
  // Of the same words as `positions`, when `printed`.
  PositionsPrint print;
  size_t HeldTriangles() const { return positions.size() / 9; }
};

struct ReceivedNode {
  std::optional<Matrix> matrix;
  bool flag = false;
  std::vector<ReceivedMesh> meshes;
  int64_t Triangles() const;
};

// A property as its setter passed it: a text, an integer, a float or floats.
using PropertyValue = std::variant<std::string, int32_t, float, std::vector<float>>;
using ReceivedProperties = NamedList<PropertyValue>;

struct ReceivedMaterial {
  std::optional<int32_t> type;
  ReceivedProperties properties;
  // "Diffuse (Color)" read as "#RRGGBB", in 0..1; absent when not sent or not readable.
  std::optional<Vec3> DiffuseColour() const;
  // "Diffuse Map", or empty.
  std::string DiffuseMap() const;
  // The text property `name` as it was sent; empty when it was not sent as a text.
  std::string Text(const std::string& name) const;
};

struct ReceivedLight {
  ReceivedProperties properties;
  // "point", "spot" (a cone angle) or "ies" (a profile), from the light's properties.
  std::string Kind() const;
  // "light_color" (0..255 each) in 0..1; white when not sent (a colour temperature instead).
  Vec3 Colour() const;
  // "transform", when it was sent.
  std::optional<Matrix> Transform() const;
  // "brightness" when it was sent as a number, else 1.
  double Brightness() const;
  // "light_cone_angle" (the full opening in degrees) when it was sent as a number.
  std::optional<double> ConeAngle() const;
};

// A camera as SendCameraTransformFov and AddScene pass it. `fov` is the separate argument: the
// renderer's field of view in degrees (the host's times 1.5), read as the horizontal angle.
struct ReceivedCamera {
  Vec3 from{}, to{}, up{};
  float blockFov = 0;   // the block's own tenth float
  float fov = 0;
  static ReceivedCamera Of(const CameraBlock& block, float fov);
  CameraBlock Block() const;
};

struct ReceivedSceneEntry {
  std::string displayName;
  std::optional<ReceivedCamera> camera;  // absent when the call passed a null block
  float fov = 0;                         // the separate argument (also camera->fov)
};

struct ReceivedScene {
  std::string source;   // what it was read from (for captions); no call changes it
  std::string model;    // SetModelFilePath
  std::optional<int32_t> materialVersion;
  NamedList<ReceivedMaterial> materials;
  NamedList<ReceivedLight> lights;
  NamedList<ReceivedNode> nodes;
  NamedList<ReceivedSceneEntry> scenes;
  std::optional<ReceivedCamera> camera;     // the last SendCameraTransformFov with a block
  std::optional<float> cameraWithoutBlock;  // the fov of a later one that passed a null block

  int64_t Triangles() const;
  // The material a mesh is drawn with: the one of the mesh's name, or none.
  const ReceivedMaterial* MaterialOf(const ReceivedMesh& mesh) const { return materials.Find(mesh.name); }

  // What the calls do. Names are UTF-8; a call whose name was a null pointer is not made.
  void StartSession();  // CreateSession: a new session starts from nothing
  void AddMaterial(std::string_view name);  // (re)created empty
  void ResetMaterial(std::string_view name);
  void SetMaterialType(std::string_view name, int32_t type);
  // Only on a material that was added.
  void SetMaterialProperty(std::string_view material, std::string_view property, PropertyValue value);
  void AddLight(std::string_view name);  // (re)created empty
  void DeleteLight(std::string_view name);
  void ClearLights();
  // Entity kind 1 is the light; only on a light that was added.
  void SetEntityProperty(int32_t kind, std::string_view entity, std::string_view property,
                         PropertyValue value);
  // (Re)creates the node and opens it for AddMesh until EndNode.
  ReceivedNode& BeginNode(std::string_view name, const std::optional<Matrix>& matrix, bool flag);
  // A mesh of the open node; null (nothing added) when no node is open.
  ReceivedMesh* AddMesh(std::string_view name, int32_t triangles);
  void EndNode();
  void DeleteNode(std::string_view name);  // MaxDeleteNode, Q9DeleteNode
  void AddScene(std::string_view name, std::string_view displayName,
                const std::optional<CameraBlock>& block, float fov);
  void DeleteScene(std::string_view name);
  void ClearScenes();
  void SendCamera(const std::optional<CameraBlock>& block, float fov);  // SendCameraTransformFov

 private:
  // The node between BeginNode and EndNode; its entry is found again after anything that may
  // move it, and a copied scene finds it in its own list.
  struct OpenNode {
    std::optional<std::string> name;
    ReceivedNode* entry = nullptr;
    OpenNode() = default;
    OpenNode(const OpenNode& other) : name(other.name) {}
    OpenNode& operator=(const OpenNode& other) {
      name = other.name;
      entry = nullptr;
      return *this;
    }
    OpenNode(OpenNode&&) = default;
    OpenNode& operator=(OpenNode&&) = default;
  };
  OpenNode open_;
};

// What a source held: a journal (its calls applied in order) or a raw archive (scene_reader.h
// reads both).
struct ReadScene {
  enum class Kind { Journal, Archive } kind = Kind::Journal;
  ReceivedScene scene;
  size_t callCount = 0;  // a journal's calls
  // A journal whose last line was cut short (the file ends inside a call, as when the program
  // that wrote it stopped): what that line is; the calls before it make the scene.
  std::string cutShort;
  // A journal's lines longer than the reader's limit, skipped: what each is, in order.
  std::vector<std::string> skipped;
};

}  // namespace q9x
