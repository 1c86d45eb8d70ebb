// Commands that set how whole objects look: render states, materials, visibility, ghosting and
// fading, depth handling, textures, texture stages and their mapping, texture-coordinate scrolling
// and scaling, normals and the ready-made shadings. Each checks the object first (an instance
// fails that check silently, except where a command says it accepts instances) and then changes
// every mesh of the object, or a setting of the object the renderer reads when it sorts and draws.
//
// Where a command's program-facing entry takes a whole percentage, an overload taking
// std::int32_t does the same with the number as a float.
#pragma once

#include <cstdint>

// Render states. SetObject's first flag means solid: 0 draws wireframe. The filter, light, fog
// and ambient arguments come in the four lengths the command has; light, fog and ambient are on
// only when 1.
void SetObject(std::int32_t n, std::int32_t solid, std::int32_t transparency, std::int32_t cull);
void SetObject(std::int32_t n, std::int32_t solid, std::int32_t transparency, std::int32_t cull,
               std::int32_t filter);
void SetObject(std::int32_t n, std::int32_t solid, std::int32_t transparency, std::int32_t cull,
               std::int32_t filter, std::int32_t light);
void SetObject(std::int32_t n, std::int32_t solid, std::int32_t transparency, std::int32_t cull,
               std::int32_t filter, std::int32_t light, std::int32_t fog, std::int32_t ambient);
// Wireframe when flag is 1 (the opposite sense of SetObject's first flag).
void SetObjectWireframe(std::int32_t n, std::int32_t flag);
// Modes 4 and 6 also test alpha against 207; 2, 3, 5 and 6 draw in the transparent pass.
void SetObjectTransparency(std::int32_t n, std::int32_t mode);
// Below 1 culling goes off; otherwise the mode is the meshes' cull mode.
void SetObjectCull(std::int32_t n, std::int32_t mode);
// Filters 0 point, 1 linear, 2 anisotropic on a stage the meshes have (the short form: stage 0).
void SetObjectFilter(std::int32_t n, std::int32_t stage, std::int32_t filter);
void SetObjectFilter(std::int32_t n, std::int32_t filter);
void SetObjectLight(std::int32_t n, std::int32_t flag);
void SetObjectFog(std::int32_t n, std::int32_t flag);
void SetObjectAmbient(std::int32_t n, std::int32_t flag);
void DisableObjectZRead(std::int32_t n);
void EnableObjectZRead(std::int32_t n);
void DisableObjectZWrite(std::int32_t n);
void EnableObjectZWrite(std::int32_t n);
void DisableObjectZBias(std::int32_t n);
void EnableObjectZBias(std::int32_t n, float slopeScaleBias, float bias);
// The mip-map level-of-detail bias of stage 0.
void SetObjectLodBias(std::int32_t n, float bias);
// Mesh -1 is every mesh; a mesh number outside the object's list changes nothing.
void SetObjectLodBiasForMesh(std::int32_t n, std::int32_t mesh, float bias);
// Address mode and mip filter of a stage (the short form: stage 0).
void SetObjectTextureMode(std::int32_t n, std::int32_t stage, std::int32_t addressMode,
                          std::int32_t mipFilter);
void SetObjectTextureMode(std::int32_t n, std::int32_t addressMode, std::int32_t mipFilter);
void SetObjectPointSize(std::int32_t n, float size);

// Visibility and sorting. These accept instances, except GhostObjectOff.
void HideObject(std::int32_t n);
void ShowObject(std::int32_t n);
// Blend mode 0 to 5; -1 keeps each mesh's own. An instance only takes the ghost flag.
void GhostObjectOn(std::int32_t n, std::int32_t mode = -1);
void GhostObjectOff(std::int32_t n);
// A locked object keeps its place before the camera.
void LockObjectOn(std::int32_t n);
void LockObjectOff(std::int32_t n);
// Drawn over the scene after the depth buffer is cleared for it.
void DisableObjectZDepth(std::int32_t n);
void EnableObjectZDepth(std::int32_t n);

// Colour and material; colours are ARGB.
// The meshes lose their textures and effects and take the colour as their material.
void ColorObject(std::int32_t n, std::uint32_t colour);
// Mode 1 writes the colour into every vertex, other modes into the material. An instance (which
// this accepts) keeps the colour as the texture factor it is drawn with.
void SetObjectDiffuse(std::int32_t n, std::uint32_t colour, std::int32_t mode = 0);
void SetObjectAmbience(std::int32_t n, std::uint32_t colour);
void SetObjectSpecular(std::int32_t n, std::uint32_t colour);
void SetObjectEmissive(std::int32_t n, std::uint32_t colour);
void SetObjectSpecularPower(std::int32_t n, float power);
// Brightness in percent, into the vertex colours or the material.
void FadeObject(std::int32_t n, float percent);
void FadeObject(std::int32_t n, std::int32_t percent);
std::int32_t ColourRed(std::uint32_t colour);
std::int32_t ColourGreen(std::uint32_t colour);
std::int32_t ColourBlue(std::uint32_t colour);
// Opacity in percent (100 or more: opaque). Accepts instances, which are drawn with that alpha.
void SetAlphaMappingOn(std::int32_t n, float percent);
void SetAlphaMappingOn(std::int32_t n, std::int32_t percent);

// Textures and mapping.
// Gives every mesh of object n image `image` (0: untextured); false when the check failed.
bool TextureObject(std::int32_t n, std::int32_t image);
// With keepLists non-zero the renderer's lists are not rebuilt for the change.
void TextureObjectStage(std::int32_t n, std::int32_t stage, std::int32_t image,
                        std::int32_t keepLists = 0);
// Stage 1 modulates with the image over texture set 0, or a sphere map of it.
void SetDetailMappingOn(std::int32_t n, std::int32_t image);
void SetSphereMappingOn(std::int32_t n, std::int32_t image);
// Stage 1 adds the image over texture set 0.
void SetAdditiveMappingOn(std::int32_t n, std::int32_t image);
// The stage modulates with the image over its own texture set.
void SetLightMappingOn(std::int32_t n, std::int32_t stage, std::int32_t image);
void SetBlendMappingOn(std::int32_t n, std::int32_t stage, std::int32_t image,
                       std::int32_t coordinateMode, std::int32_t colourOperation);
// Stage 1 over texture set 0.
void SetBlendMappingOn(std::int32_t n, std::int32_t image, std::int32_t colourOperation);
// Stage 1 reflects a cube made of the six images (faces +x, -x, +y, -y, +z, -z), each the size of
// the first; nothing changes when the cube cannot be made.
void SetCubeMappingOn(std::int32_t n, std::int32_t image1, std::int32_t image2, std::int32_t image3,
                      std::int32_t image4, std::int32_t image5, std::int32_t image6);
// Moves or scales texture set `stage` (0 to 2; the short forms: set 0). The vertices as changed
// become the ones vertex editing restores.
void ScrollObjectTexture(std::int32_t n, std::int32_t stage, float u, float v);
void ScrollObjectTexture(std::int32_t n, float u, float v);
void ScaleObjectTexture(std::int32_t n, std::int32_t stage, float u, float v);
void ScaleObjectTexture(std::int32_t n, float u, float v);
// Averages the normals that meet at a point and differ by at most the percentage (0 to 100).
void SetObjectSmoothing(std::int32_t n, float percent);
void SetObjectSmoothing(std::int32_t n, std::int32_t percent);
// Normals computed again from the faces.
void SetObjectNormals(std::int32_t n);
// The ready-made shadings; each needs vertex shaders and leaves a mesh that lacks them alone.
void SetBumpMappingOn(std::int32_t n, std::int32_t image);
void SetCartoonShadingOn(std::int32_t n, std::int32_t image, std::int32_t edgeImage);
void SetRainbowShadingOn(std::int32_t n, std::int32_t image);
// Every mesh converted to the vertex format, losing its vertex backup.
void ConvertObjectFVF(std::int32_t n, std::uint32_t fvf);
