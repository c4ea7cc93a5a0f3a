#include "scene/geometry_section.h"

#include <charconv>
#include <memory>

#include "base/request_tally.h"
#include "base/text.h"
#include "translate/light_translation.h"
#include "translate/material_translation.h"
#include "translate/views_translation.h"

namespace q9 {

namespace {

constexpr int64_t kSectionHeaderBytes = container::kGeometryHeaderBytes;

std::u16string ReadMaterialText(ContainerReader& reader) {
  const int32_t textBytes = reader.ReadInt32();
  reader.ReadInt32();
  reader.ReadInt32();
  reader.context = "material text";
  const uint64_t units = reader.CutCount(textBytes > 0 ? static_cast<uint64_t>(textBytes) / 2 : 0, 2);
  std::u16string text(static_cast<size_t>(units), u'\0');
  reader.Read(text.data(), text.size() * 2);
  const size_t zero = text.find(u'\0');
  if (zero != std::u16string::npos) text.resize(zero);
  return text;
}

// The buffers of arrays 1, 2 and 5, each of exactly the element count of the array it last
// held, and the storage of the mesh name. A buffer is kept from mesh to mesh while the counts
// stay the same, the name's storage while it is large enough: a fresh large buffer costs the
// system a page fault per 4 KiB on its first write, more than reading into it, and a damaged
// mesh list can name one mesh with a long name thousands of times.
struct MeshBuffers {
  std::unique_ptr<uint32_t[]> arrays[container::kMeshArrays];
  uint64_t sizes[container::kMeshArrays] = {};
  std::u16string name;

  uint32_t* Exactly(int a, uint64_t count) {
    if (sizes[a] != count || !arrays[a]) {
      arrays[a].reset();
      arrays[a] = std::make_unique_for_overwrite<uint32_t[]>(static_cast<size_t>(count));
      sizes[a] = count;
    }
    return arrays[a].get();
  }
};

void WalkMesh(ContainerReader& reader, int64_t at, const GeometryVisitor& visitor,
              MeshBuffers& buffers) {
  MeshItem mesh;
  mesh.at = at;
  reader.context = "mesh item";
  reader.Seek(at);
  reader.ReadInt32();
  const int64_t noted = reader.position();
  mesh.headerLength = reader.ReadInt32();
  reader.ReadInt32();
  reader.ReadInt32();
  mesh.meshName = std::move(buffers.name);
  reader.ReadString(mesh.meshName);
  reader.SkipString();
  reader.Seek(noted + mesh.headerLength);

  // Arrays 1, 2 and 5 go to the renderer; the others are passed over unread. Each kept array is
  // one read into a buffer of exactly its size (bounded by the file, as the arrays lie one after
  // another), handed on without a copy.
  uint32_t* kept[container::kMeshArrays] = {};
  reader.context = "mesh array";
  for (int a = 0; a < container::kMeshArrays; ++a) {
    const uint32_t asked = reader.ReadUint32();
    const uint64_t count = reader.CutCount(asked, 4);
    mesh.counts[a] = count;
    mesh.complete[a] = count == asked;
    if (a == container::kPositionsArray || a == container::kTextureCoordinatesArray ||
        a == container::kNormalsArray) {
      if (count > 0) {
        kept[a] = buffers.Exactly(a, count);
        reader.Read(kept[a], static_cast<size_t>(count) * 4);
      }
    } else {
      reader.Skip(count * 4);
    }
  }
  mesh.array1 = kept[container::kPositionsArray];
  mesh.array2 = kept[container::kTextureCoordinatesArray];
  mesh.array5 = kept[container::kNormalsArray];
  if (visitor.mesh) visitor.mesh(mesh);
  buffers.name = std::move(mesh.meshName);
}

// Returns the position where the solid's reading stopped.
int64_t WalkSolid(ContainerReader& reader, int64_t base, int64_t at,
                  const GeometryVisitor& visitor, MeshBuffers& buffers) {
  SolidItem solid;
  solid.at = at;
  reader.context = "solid item";
  reader.Seek(at);
  reader.ReadInt32();
  const int64_t noted = reader.position();
  solid.headerLength = reader.ReadInt32();
  reader.ReadUint8();
  solid.timeStamp = reader.ReadInt32();
  reader.SkipString();
  reader.ReadInt32();
  reader.ReadInt32();
  solid.solidId = reader.ReadInt32();
  reader.SkipString();
  reader.Seek(noted + solid.headerLength);
  reader.context = "mesh list";
  OffsetTable meshes(reader);
  solid.meshCount = meshes.count();
  if (visitor.beginSolid) visitor.beginSolid(solid);

  int64_t stop = meshes.end();
  // The loop's bound is a count cut to the file's length; the reader's budget ends it early when
  // the entries point at the same large mesh again and again.
  for (uint64_t i = 0; i < meshes.count() && !reader.spent(); ++i) {
    reader.context = "mesh list";
    const int32_t offset = meshes.Entry(reader, i);
    if (offset == 0) continue;
    WalkMesh(reader, base + offset, visitor, buffers);
    stop = reader.position();
  }
  if (visitor.endSolid) visitor.endSolid();
  return stop;
}

GeometrySectionHeader ReadSectionHeader(ContainerReader& reader, int64_t base) {
  GeometrySectionHeader header;
  reader.context = "section header";
  reader.Seek(base);
  header.materialBlockEnd = reader.ReadInt32();
  header.lightBlockSpan = reader.ReadInt32();
  header.solidBlockSize = reader.ReadInt32();
  header.viewBlockSize = reader.ReadInt32();
  header.reserved16 = reader.ReadInt32();
  return header;
}

// A block of items that are one text each (materials, lights): the item table at `tableAt`, each
// item read by `readItem` at `base` plus its entry and reported with its offset. Returns where
// the reading stopped.
template <typename ReadItem>
int64_t WalkTextBlock(ContainerReader& reader, int64_t base, int64_t tableAt,
                      const char* tableContext, const char* itemContext, ReadItem readItem,
                      const std::function<void(int64_t, std::u16string)>& report) {
  reader.context = tableContext;
  reader.Seek(tableAt);
  OffsetTable table(reader);
  int64_t stop = table.end();
  for (uint64_t i = 0; i < table.count() && !reader.spent(); ++i) {
    reader.context = tableContext;
    const int64_t at = base + table.Entry(reader, i);
    reader.context = itemContext;
    reader.Seek(at);
    std::u16string text = readItem(reader);
    stop = reader.position();
    if (report) report(at, std::move(text));
  }
  return stop;
}

// The solid block: the item table at `tableAt` (an entry of 0 is no solid), each solid with its
// meshes. Returns where the reading stopped.
int64_t WalkSolidBlock(ContainerReader& reader, int64_t base, int64_t tableAt,
                       const GeometryVisitor& visitor) {
  reader.context = "solid table";
  reader.Seek(tableAt);
  OffsetTable table(reader);
  int64_t stop = table.end();
  MeshBuffers buffers;
  for (uint64_t i = 0; i < table.count() && !reader.spent(); ++i) {
    reader.context = "solid table";
    const int32_t offset = table.Entry(reader, i);
    if (offset == 0) continue;
    stop = WalkSolid(reader, base, base + offset, visitor, buffers);
  }
  return stop;
}

}  // namespace

void WalkGeometrySection(ContainerReader& reader, int64_t base, const GeometryVisitor& visitor) {
  const GeometrySectionHeader header = ReadSectionHeader(reader, base);
  if (visitor.header) visitor.header(header);
  // Where the reading stopped: the view block starts there.
  int64_t stop = reader.position();

  // Each block where the layout puts it: the materials behind the section header, the lights at
  // materialBlockEnd, the solids at materialBlockEnd + lightBlockSpan; a block whose start
  // would be 0 starts behind the section header instead.
  if (header.materialBlockEnd != 0) {
    stop = WalkTextBlock(reader, base, base + kSectionHeaderBytes, "material table",
                         "material item", ReadMaterialText, visitor.material);
  }
  if (header.lightBlockSpan != 0 && !reader.spent()) {
    const int64_t lightsAt =
        header.materialBlockEnd != 0 ? header.materialBlockEnd : kSectionHeaderBytes;
    stop = WalkTextBlock(reader, base, base + lightsAt, "light table", "light text",
                         [](ContainerReader& r) { return r.ReadString(); }, visitor.light);
  }
  if (header.solidBlockSize != 0 && !reader.spent()) {
    const int64_t solidsAt =
        static_cast<int64_t>(header.materialBlockEnd) + header.lightBlockSpan;
    stop = WalkSolidBlock(reader, base, base + (solidsAt != 0 ? solidsAt : kSectionHeaderBytes),
                          visitor);
  }

  if (header.viewBlockSize != 0 && !reader.spent()) {
    reader.context = "view text";
    reader.Seek(stop);
    std::u16string text = reader.ReadString();
    if (visitor.views) visitor.views(stop, std::move(text));
  }
}

std::u16string beginSolidNode(LinkSession& session, int32_t solidId) {
  static const float kIdentity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  char digits[16];
  char* end = std::to_chars(digits, digits + sizeof digits, solidId).ptr;
  std::u16string nodeName = u"Solid_";
  nodeName.append(digits, end);
  session.link().MaxBeginNode(session.handle, nodeName.c_str(), kIdentity, true);
  ++ThreadTally().solidsSent;
  return nodeName;
}

void readGeometrySection(SceneContainer& container, int64_t base) {
  LinkSession& session = container.session;
  GeometryVisitor visitor;
  visitor.material = [&](int64_t, std::u16string text) {
    MaterialRecord material;
    ParseMaterial(text, material);
    container.materials.insert_or_assign(material.MaterialID_Name, material);
    SendMaterial(session, container.process, material);
  };
  visitor.light = [&](int64_t, std::u16string text) {
    LightSourceRecord light;
    ParseLightSource(text, light);
    container.lights.insert_or_assign(static_cast<uint32_t>(light.LightSolidID), light);
    SendLight(session, container.process, light);
  };
  visitor.beginSolid = [&](const SolidItem& item) {
    // The host writes its solids in ascending id order: each then goes at the end of the map
    // without a search from its root.
    auto& solids = container.solids;
    const uint32_t id = static_cast<uint32_t>(item.solidId);
    auto at = !solids.empty() && solids.rbegin()->first < id ? solids.end() : solids.lower_bound(id);
    if (at == solids.end() || at->first != id) at = solids.emplace_hint(at, id, SolidEntry{});
    SolidEntry& solid = at->second;
    solid.solidId = item.solidId;
    solid.timeStamp = item.timeStamp;
    solid.nodeName = beginSolidNode(session, item.solidId);
  };
  visitor.mesh = [&](const MeshItem& mesh) {
    // The renderer cannot know how long arrays 2 and 5 are; one that the file cut short is not
    // handed over, so that it is never read beyond its end.
    session.link().MaxAddTriangles(session.handle, mesh.meshName.c_str(), mesh.triangleCount(),
                                   mesh.array1,
                                   mesh.complete[container::kNormalsArray] ? mesh.array5 : nullptr,
                                   mesh.complete[container::kTextureCoordinatesArray] ? mesh.array2
                                                                                      : nullptr,
                                   0);
  };
  visitor.endSolid = [&] { session.link().Q9EndNode(session.handle); };
  visitor.views = [&](int64_t, std::u16string text) {
    CameraListRecord list;
    ParseCameraList(text, list);
    UpdateScenes(list, container.scenes, session);
  };
  WalkGeometrySection(container.reader, base, visitor);
}

}  // namespace q9
