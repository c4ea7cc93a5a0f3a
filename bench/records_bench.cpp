// Parsing the host's texts: a corpus of material texts with texture map entries and of light
// texts, as a geometry section of a large model holds them, in records and megabytes (of UTF-16
// text) per second; and single texts of growing size, whose time must grow linearly.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "base/text.h"
#include "records/camera_record.h"
#include "records/light_source_record.h"
#include "records/material_record.h"

namespace {

std::u16string MapEntry(int kind, int n) {
  return q9::Ascii16(
      "MatExt_ObjectSTART\nExtendMaterial_Start\nExtendMaterial_Version [1]\n"
      "ExtendMaterial_Type [" + std::to_string(kind) + "]\nExtendMaterial_nFlag [2]\n"
      "ExtendMaterial_nAlcolor [0]\nExtendMaterial_Value 0.35\n"
      "ExtendMaterial_strFile [maps\\texture_" + std::to_string(n) + ".png]\n"
      "ExtendMaterial_Color [1 1 1]\nExtendMaterial_End\nMatExt_ObjectEND\n");
}

std::u16string MaterialText(int n) {
  const std::string id = std::to_string(n);
  std::u16string text = q9::Ascii16(
      "TypeNat 1\nVer 3\nInterfaceName [Material " + id + "]\nMaterialID_Name [M_" + id +
      "]\nDiffuse 0.8 0.6 0.4\nDiffuse_Logical 0\nAmbientFactor 0.2\nDiffuseFactor 0.9\n"
      "SpecularFactor 0.1\nRoughness 0.5\nSpecularExponent 12.5\nAnizotropic 0\nGlossy 0.25\n"
      "Fresnel 1\nSpecular 0.9 0.9 0.9\nReflection 0.05\nTransparent 0\nIOR 1.5\nBump 0.1\n"
      "Mat_Flags 0\nMixedColor [0]\nEmissiveIntensity 0\n_nMatDescIndex [" + id +
      "]\nemissiveColor [0]\nemissiveStrength [1]\nnTimeID [" + id + "]\n");
  for (int kind : {1, 2, 5}) text += MapEntry(kind, n);
  return text;
}

std::u16string LightText(int n) {
  const std::string id = std::to_string(n);
  return q9::Ascii16(
      "Ver 1\nLightFlags [0]\nLightSource [spot]\nLightSourceIDName [L-" + id +
      "]\nFrom [1200.5 -350.25 260]\nTo [0.5 0.25 0]\nColor [1 0.9 0.75]\nConeangle [40]\n"
      "Conedeltaangle [5]\nIntensity [800]\nfLedIntensitiUnit [0]\nLightTimeStamp: [17]\n"
      "LightName [Desk lamp " + id + "]\nstrIESF_FilePath []\nLightTemperature [0]\n"
      "LightEnable: [1]\nLightSourceID [" + id + "]\nLightSolidID [" + id + "]\n");
}

template <class Make>
std::vector<std::u16string> Corpus(int count, Make make) {
  std::vector<std::u16string> texts;
  for (int i = 0; i < count; ++i) texts.push_back(make(i));
  return texts;
}

int64_t Bytes(const std::vector<std::u16string>& texts) {
  int64_t bytes = 0;
  for (const std::u16string& text : texts) bytes += static_cast<int64_t>(text.size() * 2);
  return bytes;
}

void ParseMaterials(benchmark::State& state) {
  const std::vector<std::u16string> texts = Corpus(4000, MaterialText);
  for (auto _ : state) {
    for (const std::u16string& text : texts) {
      q9::MaterialRecord material;
      q9::ParseMaterial(text, material);
      benchmark::DoNotOptimize(material);
    }
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(texts.size()));
  state.SetBytesProcessed(state.iterations() * Bytes(texts));
}
BENCHMARK(ParseMaterials)->Unit(benchmark::kMillisecond);

void ParseLights(benchmark::State& state) {
  const std::vector<std::u16string> texts = Corpus(4000, LightText);
  for (auto _ : state) {
    for (const std::u16string& text : texts) {
      q9::LightSourceRecord light;
      q9::ParseLightSource(text, light);
      benchmark::DoNotOptimize(light);
    }
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(texts.size()));
  state.SetBytesProcessed(state.iterations() * Bytes(texts));
}
BENCHMARK(ParseLights)->Unit(benchmark::kMillisecond);

// One material text with N map entries: linear in N.
void OneMaterialWithManyMaps(benchmark::State& state) {
  std::u16string text = MaterialText(1);
  for (int64_t i = 0; i < state.range(0); ++i) text += MapEntry(1 + i % 6, static_cast<int>(i));
  for (auto _ : state) {
    q9::MaterialRecord material;
    q9::ParseMaterial(text, material);
    benchmark::DoNotOptimize(material);
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(text.size() * 2));
  state.SetComplexityN(state.range(0));
}
BENCHMARK(OneMaterialWithManyMaps)->RangeMultiplier(4)->Range(1 << 8, 1 << 16)->Complexity();

// One camera list of N saved views: linear in N.
void ViewsWithManyCameras(benchmark::State& state) {
  std::u16string text = u"Cameras_Start\nCameras_Version [1]\nCameras_nActCamera [0]\n";
  for (int64_t i = 0; i < state.range(0); ++i) {
    text += q9::Ascii16(
        "Cameras_Camera_ObjectSTART\nCamera_Start\nCamera_Version [1]\nCamera_nType [0]\n"
        "Camera__fov [60]\nCamera_Name [View " + std::to_string(i) + "]\n"
        "Camera__from [0 -1000 170]\nCamera__to [0 0 170]\nCamera__up [0 0 1]\nCamera_End\n"
        "Cameras_Camera_ObjectEND\n");
  }
  text += u"Cameras_End\n";
  for (auto _ : state) {
    q9::CameraListRecord list;
    q9::ParseCameraList(text, list);
    benchmark::DoNotOptimize(list);
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(text.size() * 2));
  state.SetComplexityN(state.range(0));
}
BENCHMARK(ViewsWithManyCameras)->RangeMultiplier(4)->Range(1 << 8, 1 << 16)->Complexity();

}  // namespace

BENCHMARK_MAIN();
