// Light module: the numbered fixed-function lights of the 3D scene (light n is device light n;
// light 0, a white directional light, always exists) and the scene-wide ambient light, specular,
// normalisation and fog states.
#pragma once

#include "core/core_data.h"

#include <cstdint>

// One light: the Direct3D light as last sent, with the engine's own fields.
struct LightRecord {
    D3DLIGHT9 light;
    std::int32_t kind; // 1 directional, 2 point, 3 spot
    std::uint8_t on;   // enabled on the device
    float range;       // as last set by SetLightRange; 1000.0 for a new light
};

// Module entries.
void LightConstructor(HMODULE display);
void LightDestructor();
void LightSetErrorHandlerExport(RuntimeErrorRecord* cell);
void LightPassCoreDataExport(CoreData* core);
// 0: the Destructor; 1: the Constructor and the CoreData pass again.
void LightRefreshD3D(std::int32_t mode);

// Light commands: numbers 0 to 22000000 (7301; 1 to 22000000 for making and deleting, 7305 for
// light 0), 7302 for a light that exists, 7303 for a missing one, 7801 for a missing vector.
void MakeLight(std::int32_t n);
void DeleteLight(std::int32_t n);
void SetPointLight(std::int32_t n, float x, float y, float z);
// Inner and outer cone angles in degrees.
void SetSpotLight(std::int32_t n, float inner, float outer);
void SetDirectionalLight(std::int32_t n, float x, float y, float z);
void SetLightRange(std::int32_t n, float range);
void PositionLight(std::int32_t n, float x, float y, float z);
void PositionLightToVector(std::int32_t n, std::int32_t vector);
void RotateLight(std::int32_t n, float x, float y, float z);
void RotateLightToVector(std::int32_t n, std::int32_t vector);
void PointLight(std::int32_t n, float x, float y, float z);
void ColorLight(std::int32_t n, std::int32_t red, std::int32_t green, std::int32_t blue);
void ColorLightPacked(std::int32_t n, std::uint32_t colour);
void HideLight(std::int32_t n);
void ShowLight(std::int32_t n);
void ApplyLight(std::int32_t n);
// Record only: they reach the device with the next command that sends the light.
void SetLightSpecular(std::int32_t n, float alpha, float red, float green, float blue);
void SetLightAmbient(std::int32_t n, float alpha, float red, float green, float blue);
void SetLightFalloff(std::int32_t n, float value);
void SetLightAttenuation0(std::int32_t n, float value);
void SetLightAttenuation1(std::int32_t n, float value);
void SetLightAttenuation2(std::int32_t n, float value);
std::int32_t LightExist(std::int32_t n);
std::int32_t LightType(std::int32_t n);
float LightPositionX(std::int32_t n);
float LightPositionY(std::int32_t n);
float LightPositionZ(std::int32_t n);
float LightDirectionX(std::int32_t n);
float LightDirectionY(std::int32_t n);
float LightDirectionZ(std::int32_t n);
std::int32_t LightVisible(std::int32_t n);
float LightRange(std::int32_t n);
void SetVector3ToLightPosition(std::int32_t vector, std::int32_t n);
void SetVector3ToLightDirection(std::int32_t vector, std::int32_t n);

// Scene-wide states.
void SetSpecularOn();
void SetSpecularOff();
void SetNormalizationOn();
void SetNormalizationOff();
void SetAmbientLight(std::int32_t percentage);
void ColorAmbientLight(std::uint32_t colour);
void FogOn();
void FogOff();
void FogColor(std::int32_t red, std::int32_t green, std::int32_t blue);
void FogColorPacked(std::uint32_t colour);
void FogDistance(std::int32_t end);
void FogDistance(std::int32_t start, std::int32_t end);

// x to the power n by repeated squaring; 1 for n = 0, the reciprocal for negative n.
float PowerInt(float x, std::int32_t n);
