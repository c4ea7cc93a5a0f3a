// The functions of the render link library Q9Plugin.dll, looked up by their exported names.
// Texts are zero-terminated UTF-16, floats single precision. The session handle is opaque and
// pointer-sized. Only three results are read: StartLinkQ9Render (0: a session may be created),
// CreateSession (the handle; null: the renderer is missing) and HasConnected.
#pragma once

#include <cstdint>

extern "C" {

typedef void* Q9Session;

// The ten floats whose address the camera and scene calls receive.
struct CameraTransform {
  float from[3];
  float to[3];
  float up[3];
  float fov;  // already multiplied by 1.5
};

}  // extern "C"

// Q9_LINK_FUNCTIONS(X) calls X(result, name, (parameters), (argument names)) once per exported
// function, in the order of the library's contract.
#define Q9_LINK_FUNCTIONS(X)                                                                   \
  X(void, SetQ9RenderPath, (const char16_t* path), (path))                                     \
  X(int32_t, StartLinkQ9Render, (const char16_t* modelBaseName), (modelBaseName))              \
  X(Q9Session, CreateSession, (), ())                                                          \
  X(void, DestroySession, (Q9Session h), (h))                                                  \
  X(void, Connect, (Q9Session h), (h))                                                         \
  X(bool, HasConnected, (Q9Session h), (h))                                                    \
  X(void, SendModel, (Q9Session h), (h))                                                       \
  X(void, DisConnect, (Q9Session h), (h))                                                      \
  X(void, SetModelFilePath, (Q9Session h, const char16_t* modelBaseName), (h, modelBaseName))  \
  X(void, Q9GetRenderVersion, (char16_t* buffer, int32_t count), (buffer, count))              \
  X(void, Q9SetMaterialVersion, (Q9Session h, int32_t version), (h, version))                  \
  X(void, Q9SaveRawToQ9a, (Q9Session h, const char16_t* path), (h, path))                      \
  X(void, SendScenes, (Q9Session h, const char16_t* path), (h, path))                          \
  X(void, MaxBeginNode, (Q9Session h, const char16_t* nodeName, const float* matrix, bool flag), \
    (h, nodeName, matrix, flag))                                                               \
  X(void, MaxAddTriangles,                                                                     \
    (Q9Session h, const char16_t* meshName, int32_t triangleCount, const void* array1,         \
     const void* array5, const void* array2, int32_t zero),                                    \
    (h, meshName, triangleCount, array1, array5, array2, zero))                                \
  X(void, Q9EndNode, (Q9Session h), (h))                                                       \
  X(void, Q9SendProcessed, (Q9Session h), (h))                                                 \
  X(void, MaxDeleteNode, (Q9Session h, const char16_t* nodeName), (h, nodeName))               \
  X(void, Q9DeleteNode, (Q9Session h, const char16_t* nodeName), (h, nodeName))                \
  X(void, Q9AddLight, (Q9Session h, const char16_t* lightName), (h, lightName))                \
  X(void, Q9DeleteLight, (Q9Session h, const char16_t* lightName), (h, lightName))             \
  X(void, Q9ClearLights, (Q9Session h), (h))                                                   \
  X(void, Q9SendLights, (Q9Session h), (h))                                                    \
  X(void, Q9SetEntityStringProperty,                                                           \
    (Q9Session h, int32_t kind, const char16_t* entity, const char16_t* property,              \
     const char16_t* value),                                                                   \
    (h, kind, entity, property, value))                                                        \
  X(void, Q9SetEntityIntProperty,                                                              \
    (Q9Session h, int32_t kind, const char16_t* entity, const char16_t* property,              \
     int32_t value),                                                                           \
    (h, kind, entity, property, value))                                                        \
  X(void, Q9SetEntityFloatProperty,                                                            \
    (Q9Session h, int32_t kind, const char16_t* entity, const char16_t* property, float value), \
    (h, kind, entity, property, value))                                                        \
  X(void, Q9SetEntityFloatArrayProperty,                                                       \
    (Q9Session h, int32_t kind, const char16_t* entity, const char16_t* property,              \
     const float* values, int64_t count),                                                      \
    (h, kind, entity, property, values, count))                                                \
  X(void, Q9AddMaterial, (Q9Session h, const char16_t* material), (h, material))               \
  X(void, Q9ResetMaterial, (Q9Session h, const char16_t* material), (h, material))             \
  X(void, Q9SetMaterialType, (Q9Session h, const char16_t* material, int32_t type),            \
    (h, material, type))                                                                       \
  X(void, Q9SetMaterialStringProperty,                                                         \
    (Q9Session h, const char16_t* material, const char16_t* property, const char16_t* value),  \
    (h, material, property, value))                                                            \
  X(void, Q9SetMaterialIntProperty,                                                            \
    (Q9Session h, const char16_t* material, const char16_t* property, int32_t value),          \
    (h, material, property, value))                                                            \
  X(void, Q9SetMaterialFloatProperty,                                                          \
    (Q9Session h, const char16_t* material, const char16_t* property, float value),            \
    (h, material, property, value))                                                            \
  X(void, AddScene,                                                                            \
    (Q9Session h, const char16_t* sceneName, const char16_t* sceneName2,                       \
     CameraTransform* camera, float fov),                                                      \
    (h, sceneName, sceneName2, camera, fov))                                                   \
  X(void, SendCameraTransformFov, (Q9Session h, CameraTransform* camera, float fov),           \
    (h, camera, fov))                                                                          \
  X(void, Q9SendCamera, (Q9Session h), (h))                                                    \
  X(void, Q9ClearScenes, (Q9Session h), (h))                                                   \
  X(void, Q9DeleteScene, (Q9Session h, const char16_t* sceneName), (h, sceneName))

namespace q9 {

// Pointers to every function of a loaded link library.
struct LinkFunctions {
#define Q9_LINK_POINTER(result, name, parameters, arguments) result(*name) parameters = nullptr;
  Q9_LINK_FUNCTIONS(Q9_LINK_POINTER)
#undef Q9_LINK_POINTER
};

// How many functions a link library exports.
#define Q9_LINK_COUNT(result, name, parameters, arguments) +1
inline constexpr int kLinkFunctionCount = 0 Q9_LINK_FUNCTIONS(Q9_LINK_COUNT);
#undef Q9_LINK_COUNT

}  // namespace q9
