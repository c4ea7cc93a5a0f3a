#include "translate/light_translation.h"

#include <cmath>
#include <cstdint>

#include "base/process_state.h"
#include "base/text.h"

namespace q9 {

namespace {

// Every entity property of a light names the entity kind 1.
constexpr int32_t kLightEntity = 1;

void SetTransform(LinkSession& session, const std::u16string& name,
                  const std::array<float, 16>& transform) {
  session.link().Q9SetEntityFloatArrayProperty(session.handle, kLightEntity, name.c_str(),
                                               u"transform", transform.data(), 16);
}

}  // namespace

std::u16string lightNodeName(const LightSourceRecord& light) {
  return u"Light" + Ascii16(std::to_string(light.LightSolidID));
}

void SendLight(LinkSession& session, ProcessState& process, const LightSourceRecord& light) {
  // Read as unsigned, the negative kinds fail with the ones beyond IES.
  if (static_cast<uint32_t>(light.type) > 2 || !light.LightEnable) return;
  const std::u16string name = AddLightEntity(session, light);
  const LinkCalls& link = session.link();
  switch (light.type) {
    case LightType::point:
      SetTransform(session, name,
                   {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, light.From.x, light.From.y, light.From.z, 1});
      break;
    case LightType::spot:
      SetTransform(session, name, LightTransform(light.To, light.From));
      link.Q9SetEntityFloatProperty(session.handle, kLightEntity, name.c_str(),
                                    u"light_cone_angle", light.Coneangle);
      break;
    default: {  // IES
      SetTransform(session, name, LightTransform(light.To, light.From));
      const std::u16string profile = process.folder() + u"\\IES\\" + light.strIESF_FilePath;
      link.Q9SetEntityStringProperty(session.handle, kLightEntity, name.c_str(),
                                     u"light_template", profile.c_str());
      break;
    }
  }
  link.Q9SendLights(session.handle);
}

std::u16string AddLightEntity(LinkSession& session, const LightSourceRecord& light) {
  const std::u16string name = lightNodeName(light);
  const LinkCalls& link = session.link();
  const Q9Session h = session.handle;
  const char16_t* entity = name.c_str();
  link.Q9AddLight(h, entity);
  link.Q9SetEntityStringProperty(h, kLightEntity, entity, u"id", entity);
  link.Q9SetEntityStringProperty(h, kLightEntity, entity, u"group_id", u"0");
  const std::u16string path = u"Lights/" + name;
  link.Q9SetEntityStringProperty(h, kLightEntity, entity, u"path", path.c_str());
  link.Q9SetEntityIntProperty(h, kLightEntity, entity, u"type",
                              light.type == LightType::point ? 0 : 1);
  // c_str() ends the name at its first NUL code unit, as the renderer reads it.
  link.Q9SetEntityStringProperty(h, kLightEntity, entity, u"light_name", light.LightName.c_str());
  link.Q9SetEntityIntProperty(h, kLightEntity, entity, u"brightness_units", 1);
  link.Q9SetEntityFloatProperty(h, kLightEntity, entity, u"brightness", light.Intensity);
  if (light.LightTemperature > 0) {
    link.Q9SetEntityFloatProperty(h, kLightEntity, entity, u"light_temperature",
                                  light.LightTemperature);
  } else {
    const float color[3] = {light.Color.x * 255.0f, light.Color.y * 255.0f,
                            light.Color.z * 255.0f};
    link.Q9SetEntityFloatArrayProperty(h, kLightEntity, entity, u"light_color", color, 3);
  }
  return name;
}

std::array<float, 16> LightTransform(const Float3& angles, const Float3& position) {
  const float a = -angles.x;  // yaw: the host turns the other way
  const float b = angles.y;   // pitch
  const float c = angles.z;   // roll
  const float sa = std::sin(a), ca = std::cos(a);
  const float sb = std::sin(b), cb = std::cos(b);
  const float sc = std::sin(c), cc = std::cos(c);
  return {sb * sa * sc + cc * ca, sc * cb, sb * ca * sc - cc * sa, 0,
          sb * sa * cc - sc * ca, cc * cb, sb * ca * cc + sc * sa, 0,
          cb * sa,                -sb,     cb * ca,                0,
          position.x,             position.y, position.z,          1};
}

}  // namespace q9
