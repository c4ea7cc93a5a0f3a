#include "received/apply_call.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <optional>
#include <string>
#include <vector>

namespace q9x {

namespace {

// One call being applied, with its arguments as the functions use them.
struct Applying {
  ReceivedScene& scene;
  const JournalCall& call;
  bool holdMeshes;
  bool printMeshes;

  const JournalValue& Arg(size_t i) const { return call.Arg(i); }
  std::optional<std::string_view> Text(size_t i) const { return TextOf(call.Arg(i)); }
};

// `count` floats of an argument that is an array of exactly `count` values.
template <size_t count>
std::optional<std::array<float, count>> FloatsOf(const JournalCall& call, const JournalValue& value) {
  if (value.kind != JournalValue::Kind::Array || value.size != count) return std::nullopt;
  std::array<float, count> floats;
  for (size_t i = 0; i < count; ++i) floats[i] = FloatOf(call.Element(value, i));
  return floats;
}

// The separate fov of a camera call; the block's own when the line holds null.
float FovOf(const JournalValue& fov, const std::optional<CameraBlock>& block) {
  if (fov.kind == JournalValue::Kind::Null) return block ? (*block)[9] : 0;
  return FloatOf(fov);
}

int64_t CountOf(const JournalValue& value) {
  if (value.kind == JournalValue::Kind::Unsigned) return static_cast<int64_t>(value.unsignedValue);
  if (value.kind == JournalValue::Kind::Signed) return value.signedValue;
  return -1;
}

// The words of array 1 taken as positions: whole triangles only, and never more than the count
// names.
size_t PositionWords(const ReceivedMesh& mesh, const JournalValue& words) {
  if (mesh.triangles <= 0 || words.kind != JournalValue::Kind::Array) return 0;
  return std::min<size_t>(words.size / 9, static_cast<size_t>(mesh.triangles)) * 9;
}

uint32_t WordBits(const JournalValue& word) {
  return word.kind == JournalValue::Kind::Unsigned ? static_cast<uint32_t>(word.unsignedValue) : 0;
}

void HoldPositions(ReceivedMesh& mesh, const JournalCall& call, const JournalValue& words) {
  const size_t count = PositionWords(mesh, words);
  mesh.positions.resize(count);
  // (Indexed only when there are words: a value that is not an array holds no `first`.)
  for (size_t i = 0; i < count; ++i) mesh.positions[i] = std::bit_cast<float>(WordBits(call.Element(words, i)));
}

// The same words as HoldPositions holds, hashed and boxed as they go by.
void PrintPositions(ReceivedMesh& mesh, const JournalCall& call, const JournalValue& words) {
  const size_t count = PositionWords(mesh, words);
  PositionsPrint print;
  for (size_t corner = 0; corner < count; corner += 3) {
    Vec3 at;
    for (size_t i = 0; i < 3; ++i) {
      const uint32_t bits = WordBits(call.Element(words, corner + i));
      print.hash = HashStep(print.hash, bits);
      at[i] = std::bit_cast<float>(bits);
    }
    if (std::isfinite(at[0]) && std::isfinite(at[1]) && std::isfinite(at[2])) print.Add({at, at});
  }
  print.hash = HashStep(print.hash, count);
  mesh.print = print;
  mesh.printed = true;
}

// (material, property, value): only with both names.
void SetMaterialProperty(const Applying& a, PropertyValue value) {
  const auto material = a.Text(0), property = a.Text(1);
  if (material && property) a.scene.SetMaterialProperty(*material, *property, std::move(value));
}

// (kind, entity, property, value...): only with both names.
void SetEntityProperty(const Applying& a, PropertyValue value) {
  const auto entity = a.Text(1), property = a.Text(2);
  if (entity && property) a.scene.SetEntityProperty(IntOf(a.Arg(0)), *entity, *property, std::move(value));
}

// What each call does, under its function's own name; ApplyCall's table below is made from
// Q9_LINK_FUNCTIONS, so every function of the list has its entry here, if only to say that it
// changes nothing the renderer holds.
namespace apply {

void SetQ9RenderPath(const Applying&) {}
void StartLinkQ9Render(const Applying&) {}
void CreateSession(const Applying& a) { a.scene.StartSession(); }
void DestroySession(const Applying&) {}
void Connect(const Applying&) {}
void HasConnected(const Applying&) {}
void SendModel(const Applying&) {}
void DisConnect(const Applying&) {}

void SetModelFilePath(const Applying& a) {
  if (const auto name = a.Text(0)) a.scene.model = *name;
}

void Q9GetRenderVersion(const Applying&) {}
void Q9SetMaterialVersion(const Applying& a) { a.scene.materialVersion = IntOf(a.Arg(0)); }
void Q9SaveRawToQ9a(const Applying&) {}
void SendScenes(const Applying&) {}

void MaxBeginNode(const Applying& a) {
  const auto name = a.Text(0);
  if (!name) return;
  const JournalValue& flag = a.Arg(2);
  a.scene.BeginNode(*name, FloatsOf<16>(a.call, a.Arg(1)), flag.kind == JournalValue::Kind::Bool && flag.boolean);
}

void MaxAddTriangles(const Applying& a) {
  ReceivedMesh* mesh = a.scene.AddMesh(a.Text(0).value_or(""), IntOf(a.Arg(1)));
  if (mesh && a.holdMeshes) HoldPositions(*mesh, a.call, a.Arg(2));
  if (mesh && a.printMeshes) PrintPositions(*mesh, a.call, a.Arg(2));
}

void Q9EndNode(const Applying& a) { a.scene.EndNode(); }
void Q9SendProcessed(const Applying&) {}

void MaxDeleteNode(const Applying& a) {
  if (const auto name = a.Text(0)) a.scene.DeleteNode(*name);
}

void Q9DeleteNode(const Applying& a) { MaxDeleteNode(a); }

void Q9AddLight(const Applying& a) {
  if (const auto name = a.Text(0)) a.scene.AddLight(*name);
}

void Q9DeleteLight(const Applying& a) {
  if (const auto name = a.Text(0)) a.scene.DeleteLight(*name);
}

void Q9ClearLights(const Applying& a) { a.scene.ClearLights(); }
void Q9SendLights(const Applying&) {}

void Q9SetEntityStringProperty(const Applying& a) {
  if (const auto value = a.Text(3)) SetEntityProperty(a, std::string(*value));
}

void Q9SetEntityIntProperty(const Applying& a) { SetEntityProperty(a, IntOf(a.Arg(3))); }
void Q9SetEntityFloatProperty(const Applying& a) { SetEntityProperty(a, FloatOf(a.Arg(3))); }

// A null array or a negative count sets nothing; an array of another length than its count sets
// no floats.
void Q9SetEntityFloatArrayProperty(const Applying& a) {
  const JournalValue& values = a.Arg(3);
  const int64_t count = CountOf(a.Arg(4));
  if (values.kind == JournalValue::Kind::Null || count < 0) return;
  std::vector<float> floats;
  if (values.kind == JournalValue::Kind::Array && values.size == static_cast<uint64_t>(count)) {
    floats.reserve(values.size);
    for (size_t i = 0; i < values.size; ++i) floats.push_back(FloatOf(a.call.Element(values, i)));
  }
  SetEntityProperty(a, std::move(floats));
}

void Q9AddMaterial(const Applying& a) {
  if (const auto name = a.Text(0)) a.scene.AddMaterial(*name);
}

void Q9ResetMaterial(const Applying& a) {
  if (const auto name = a.Text(0)) a.scene.ResetMaterial(*name);
}

void Q9SetMaterialType(const Applying& a) {
  if (const auto name = a.Text(0)) a.scene.SetMaterialType(*name, IntOf(a.Arg(1)));
}

void Q9SetMaterialStringProperty(const Applying& a) {
  if (const auto value = a.Text(2)) SetMaterialProperty(a, std::string(*value));
}

void Q9SetMaterialIntProperty(const Applying& a) { SetMaterialProperty(a, IntOf(a.Arg(2))); }
void Q9SetMaterialFloatProperty(const Applying& a) { SetMaterialProperty(a, FloatOf(a.Arg(2))); }

void AddScene(const Applying& a) {
  const auto name = a.Text(0);
  if (!name) return;
  const std::optional<CameraBlock> block = FloatsOf<10>(a.call, a.Arg(2));
  a.scene.AddScene(*name, a.Text(1).value_or(""), block, FovOf(a.Arg(3), block));
}

// A null block is a call without a camera; a block of another shape is no call at all.
void SendCameraTransformFov(const Applying& a) {
  const JournalValue& argument = a.Arg(0);
  const std::optional<CameraBlock> block = FloatsOf<10>(a.call, argument);
  if (block || argument.kind == JournalValue::Kind::Null) a.scene.SendCamera(block, FovOf(a.Arg(1), block));
}

void Q9SendCamera(const Applying&) {}
void Q9ClearScenes(const Applying& a) { a.scene.ClearScenes(); }

void Q9DeleteScene(const Applying& a) {
  if (const auto name = a.Text(0)) a.scene.DeleteScene(*name);
}

}  // namespace apply

using Apply = void (*)(const Applying&);

// By LinkFunction: Other first, then the list's functions in its order.
constexpr Apply kApply[] = {
    nullptr,
#define Q9_APPLY_ENTRY(result, name, parameters, arguments) &apply::name,
    Q9_LINK_FUNCTIONS(Q9_APPLY_ENTRY)
#undef Q9_APPLY_ENTRY
};
static_assert(std::size(kApply) == 1 + q9::kLinkFunctionCount);

}  // namespace

void ApplyCall(ReceivedScene& scene, const JournalCall& call, bool holdMeshes, bool printMeshes) {
  if (const Apply apply = kApply[static_cast<size_t>(call.function)]) apply({scene, call, holdMeshes, printMeshes});
}

}  // namespace q9x
