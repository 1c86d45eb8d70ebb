#include "core/win32.h"

#include "object3d/object_manager.h"
#include "object3d/effect.h"
#include "object3d/frame_hierarchy.h"
#include "object3d/object_records.h"
#include "object3d/object_state.h"
#include "object3d/object_world.h"
#include "universe/universe.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr float kDefaultPointSize = 50.0f;
constexpr float kNoWaterYet = 99999.99f;

IDirect3DDevice9* Device() {
    return g_Object3D.device;
}

// Vertices by which each further primitive of the type moves on in a plain list.
std::uint32_t VerticesPerPrimitive(std::int32_t type) {
    switch (type) {
    case D3DPT_TRIANGLELIST:
        return 3;
    case D3DPT_LINELIST:
        return 2;
    default:
        return 1; // points, strips and fans
    }
}

void CountDraw(std::int32_t primitives) {
    if (CoreData* core = g_Object3D.core) {
        core->drawnPolygons += primitives;
        core->drawCalls += 1;
    }
}

const CameraRecord* CameraZero() {
    const CameraBridge& c = g_Object3D.cameras;
    return c.getInternalData ? c.getInternalData(0) : nullptr;
}

bool CastsShadow(const ObjectRecord* object) {
    const ObjectRecord* source = object->instanceSource ? object->instanceSource : object;
    return source->castsShadow != 0;
}

} // namespace

void ObjectManager::SetWorld(const D3DXMATRIX& matrix) {
    if (worldKnown && SameMatrix(currentWorld, matrix)) return;
    currentWorld = matrix;
    worldKnown = 1;
    Device()->SetTransform(D3DTS_WORLD, &matrix);
}

bool ObjectManager::BindMeshTextures(MeshRecord* mesh) {
    if (!SetMeshTextureStages(mesh)) return false;
    if (!mesh->textures || mesh->textureCount <= 0) {
        BindTexture(0, nullptr);
        return true;
    }
    textureKey = mesh->textures[0].imageNumber;
    for (std::int32_t i = 0; i < mesh->textureCount; ++i) {
        const TextureRecord& slot = mesh->textures[i];
        BindTexture(slot.stage, slot.overrideTexture ? slot.overrideTexture : slot.texture);
    }
    textureKeyInForce = textureKey;
    return true;
}

bool ObjectManager::DrawChunked(MeshRecord* mesh) {
    const DrawItem* item = mesh->drawItem;
    const auto type = static_cast<D3DPRIMITIVETYPE>(item->primitiveType);
    const std::uint32_t step = VerticesPerPrimitive(item->primitiveType);
    std::uint32_t start = item->startVertex;
    for (std::int32_t left = item->primitiveCount; left > 0;) {
        const std::int32_t chunk = std::min(left, kDrawChunk);
        if (FAILED(Device()->DrawPrimitive(type, start, static_cast<UINT>(chunk)))) return false;
        CountDraw(chunk);
        start += static_cast<std::uint32_t>(chunk) * step;
        left -= chunk;
    }
    return true;
}

bool ObjectManager::DrawMeshPrimitives(MeshRecord* mesh) {
    IDirect3DDevice9* device = Device();
    const DrawItem* item = mesh->drawItem;
    const auto type = static_cast<D3DPRIMITIVETYPE>(item->primitiveType);
    if (item->primitiveCount <= 0) return true;
    if (!item->indexBuffer) {
        if (SUCCEEDED(device->DrawPrimitive(type, item->startVertex, item->primitiveCount))) {
            CountDraw(item->primitiveCount);
            return true;
        }
        return DrawChunked(mesh);
    }
    if (!mesh->multiMaterialOn || !mesh->multiMaterials || mesh->multiMaterialCount <= 0) {
        if (FAILED(device->DrawIndexedPrimitive(type, item->baseVertex, item->startVertex,
                                                item->vertexCount, item->startIndex,
                                                item->primitiveCount)))
            return false;
        CountDraw(item->primitiveCount);
        return true;
    }
    for (std::int32_t m = 0; m < mesh->multiMaterialCount; ++m) {
        const MultiMaterialRecord& range = mesh->multiMaterials[m];
        // A range outside the mesh's own indices would draw its neighbours' geometry.
        const std::uint64_t end = static_cast<std::uint64_t>(range.startIndex) +
                                  static_cast<std::uint64_t>(range.primitiveCount) * 3;
        if (range.primitiveCount == 0 || end > static_cast<std::uint64_t>(mesh->indexCount))
            continue;
        BindTexture(0, range.texture);
        device->SetMaterial(&range.material);
        if (FAILED(device->DrawIndexedPrimitive(
                type, item->baseVertex, item->startVertex, item->vertexCount,
                item->startIndex + range.startIndex, range.primitiveCount)))
            return false;
        CountDraw(static_cast<std::int32_t>(range.primitiveCount));
    }
    materialKnown = 0;
    textureKeyInForce = kMultiMaterialKey;
    return true;
}

bool ObjectManager::DrawMesh(MeshRecord* mesh) {
    if (!mesh || !mesh->drawItem) return true;
    if (!mesh->visible && (mesh->kind == 0 || (mesh->kind == 1 && !g_Object3D.kindOneDrawn)))
        return true;
    if (!SetMeshRenderStates(mesh) || !SetMeshStreams(mesh) || !SetMeshShader(mesh)) return false;
    const bool points = mesh->primitiveType == D3DPT_POINTLIST;
    if (points) {
        const float size = mesh->bounds.radius != 0 ? mesh->bounds.radius : kDefaultPointSize;
        SetRenderState(D3DRS_POINTSPRITEENABLE, TRUE);
        SetRenderState(D3DRS_POINTSIZE, FloatBits(size * 0.01f));
        SetRenderState(D3DRS_POINTSIZE_MIN, FloatBits(0.0f));
        SetRenderState(D3DRS_POINTSIZE_MAX, FloatBits(size));
        SetRenderState(D3DRS_POINTSCALE_A, FloatBits(0.0f));
        SetRenderState(D3DRS_POINTSCALE_B, FloatBits(0.0f));
        SetRenderState(D3DRS_POINTSCALE_C, FloatBits(2.0f));
        SetRenderState(D3DRS_POINTSCALEENABLE, TRUE);
    }
    EffectBase* effect = mesh->effect;
    const std::uint32_t passes = effect ? effect->Apply(mesh) : 1;
    bool drawn = true;
    for (std::uint32_t pass = 0; pass < passes && drawn; ++pass) {
        if (!effect) {
            drawn = BindMeshTextures(mesh);
        } else {
            SetRenderState(D3DRS_FOGENABLE, FALSE);
            if (effect->effect) effect->effect->BeginPass(pass);
        }
        if (drawn) drawn = DrawMeshPrimitives(mesh);
        if (effect && effect->effect) effect->effect->EndPass();
    }
    if (effect) {
        if (fogOn) SetRenderState(D3DRS_FOGENABLE, TRUE);
        effect->End();
    }
    if (points) SetRenderState(D3DRS_POINTSCALEENABLE, FALSE);
    return drawn;
}

bool ObjectManager::DrawFrameMeshes(ObjectRecord* object, ObjectRecord* source) {
    for (std::int32_t f = 0; source->frames && f < source->frameCount; ++f) {
        FrameRecord* frame = source->frames[f];
        if (!frame) continue;
        // Limbs added to the source after the instance was made have no byte: they are shown.
        if (object->instanceData && f < object->instanceDataLength && !object->instanceData[f])
            continue;
        CopyGlueMatrices(object, frame, frame->mesh);
        if (!frame->mesh) continue;
        if (!frame->mesh->frameLocal) {
            if (frame->ownMatrix)
                SetWorld(frame->alternativeMatrix);
            else if (!object->noCulling)
                SetWorld(frame->worldMatrix);
        }
        MeshRecord* mesh = frame->mesh;
        if (source->detailLevel != 0 && frame->detailMeshes[0])
            mesh = source->detailLevel == 1 || !frame->detailMeshes[1] ? frame->detailMeshes[0]
                                                                       : frame->detailMeshes[1];
        if (!DrawMesh(mesh)) return false;
        if (object->showBounds || mesh->showBounds) {
            DrawMesh(frame->boundBoxMesh);
            DrawMesh(frame->boundSphereMesh);
        }
        if (frame->mesh->frameLocal) SetWorld(Multiply(frame->initialMatrix, currentWorld));
    }
    return true;
}

bool ObjectManager::DrawObject(ObjectRecord* object) {
    if (!object) return true;
    UpdateObjectWorld(object);
    if (!object->visible || object->noMesh || !object->universeVisible) return true;
    SetWorld(object->noCulling ? kIdentityMatrix : object->position.matWorld);
    if (!object->noDepth && object->fieldOfView != fieldOfViewInForce) {
        if (g_Object3D.cameras.setCurrentFOV)
            g_Object3D.cameras.setCurrentFOV(object->fieldOfView != 0 ? object->fieldOfView
                                                                      : defaultFieldOfView);
        fieldOfViewInForce = object->fieldOfView;
    }
    ObjectRecord* source = object->instanceSource ? object->instanceSource : object;
    if (object->instanceSource && object->instanceAlpha && source->meshes &&
        source->meshCount > 0 && source->meshes[0] && source->meshes[0]->textures &&
        source->meshes[0]->textureCount > 0) {
        const TextureRecord& slot = source->meshes[0]->textures[0];
        SetTextureStageState(0, D3DTSS_ALPHAOP, slot.colourOperation);
        SetTextureStageState(0, D3DTSS_ALPHAARG2, slot.argument2);
        SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TFACTOR);
        SetRenderState(D3DRS_TEXTUREFACTOR, object->instanceColour);
        instanceAlpha = 1;
    }
    if (object->customBufferB && object->customSize >= sizeof(DWORD)) {
        DWORD colour;
        std::memcpy(&colour, object->customBufferB, sizeof colour);
        SetRenderState(D3DRS_TEXTUREFACTOR, colour);
        textureFactorSet = 1;
    }
    const bool drawn = DrawFrameMeshes(object, source);
    textureFactorSet = 0;
    instanceAlpha = 0;
    return drawn;
}

float ObjectManager::DistanceToCamera(ObjectRecord* object) {
    if (!object) return 0;
    D3DXVECTOR3 position = object->position.position;
    const ObjectRecord* glue = object;
    // The glued-to object's place, one further level when that one is glued too.
    for (int level = 0; level < 2 && glue->position.glued; ++level) {
        const ObjectRecord* target = ObjectAt(glue->position.glueObject);
        if (!target) break;
        position = target->position.position;
        glue = target;
    }
    const CameraRecord* camera = CameraZero();
    const D3DXVECTOR3 d = position - (camera ? camera->position : D3DXVECTOR3(0, 0, 0));
    return D3DXVec3Length(&d);
}

bool ObjectManager::RenderSolidLayer() {
    const Object3DState& s = g_Object3D;
    const bool shadows = shadowsEnabled && s.core && s.core->stencilMode == 1;
    for (std::int32_t i = 0; i < visibleCount; ++i) {
        ObjectRecord* object = visibleList[i];
        if (object->specialPass || object->reflective || object->solidExcluded) continue;
        if (object->needsDistance) object->position.distance = DistanceToCamera(object);
        if (!DrawObject(object)) return false;
        if (!shadows || !object->visible || !CastsShadow(object)) continue;
        ObjectRecord* source = object->instanceSource ? object->instanceSource : object;
        for (std::int32_t f = 0; source->frames && f < source->frameCount; ++f) {
            const D3DXVECTOR3& light = s.shadowLightPosition;
            UpdateFrameShadow(source->frames[f], object->shadowArgument, s.shadowLightIndex,
                              light.x, light.y, light.z);
        }
    }
    return true;
}

bool ObjectManager::RenderMirrorLayer() {
    IDirect3DDevice9* device = Device();
    bool first = true, drawn = true;
    for (std::int32_t i = 0; i < visibleCount && drawn; ++i) {
        ObjectRecord* object = visibleList[i];
        if (!object->reflective) continue;
        if (first) {
            first = false;
            const ObjectPosition& p = object->position;
            D3DXPlaneFromPointNormal(&mirrorPlane, &p.position, &p.look);
            mirrorPosition = p.position;
            mirrorReflectionMode = object->reflectionMode;
            SetRenderState(D3DRS_STENCILENABLE, TRUE);
            SetRenderState(D3DRS_STENCILFUNC, D3DCMP_ALWAYS);
            SetRenderState(D3DRS_STENCILREF, 1);
            SetRenderState(D3DRS_STENCILMASK, 0xFFFFFFFF);
            SetRenderState(D3DRS_STENCILWRITEMASK, 0xFFFFFFFF);
            SetRenderState(D3DRS_STENCILZFAIL, D3DSTENCILOP_KEEP);
            SetRenderState(D3DRS_STENCILFAIL, D3DSTENCILOP_ZERO);
            SetRenderState(D3DRS_STENCILPASS, D3DSTENCILOP_REPLACE);
            SetRenderState(D3DRS_ZWRITEENABLE, FALSE);
            SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
            SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ZERO);
            SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
            device->Clear(0, nullptr, D3DCLEAR_STENCIL, 0, 1.0f, 0);
            stencilLayer = 1;
        }
        drawn = DrawObject(object);
    }
    if (!first) {
        stencilLayer = 0;
        SetRenderState(D3DRS_STENCILENABLE, FALSE);
        SetRenderState(D3DRS_ZWRITEENABLE, TRUE);
        SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    }
    return drawn;
}

bool ObjectManager::RenderTransparentLayer() {
    std::size_t count = 0;
    const CameraRecord* camera = CameraZero();
    const float farRange = camera ? camera->farRange : 0.0f;
    float lowestWater = kNoWaterYet;
    bool water = false;
    for (std::int32_t i = 0; i < visibleCount; ++i) {
        ObjectRecord* object = visibleList[i];
        if (!(object->ghost || object->transparent) || object->locked || object->noDepth) continue;
        if (count == sortBuffer.size()) sortBuffer.resize(sortBuffer.empty() ? 256 : 2 * count);
        sortBuffer[count++] = object;
        if (object->waterLevel) {
            object->position.distance = farRange;
            lowestWater = std::min(lowestWater, object->position.position.y);
            water = true;
        } else {
            object->position.distance = DistanceToCamera(object);
        }
    }
    if (water) {
        // What lies wholly under the water is drawn before it.
        for (std::size_t i = 0; i < count; ++i) {
            ObjectRecord* o = sortBuffer[i];
            const float height =
                (o->collision.maximum.y - o->collision.minimum.y) * o->position.scale.y;
            if (!o->waterLevel && o->position.position.y - height < lowestWater)
                o->position.distance += farRange;
        }
    }
    std::stable_sort(sortBuffer.begin(), sortBuffer.begin() + count,
                     [](const ObjectRecord* a, const ObjectRecord* b) {
                         return a->position.distance > b->position.distance;
                     });
    for (std::size_t i = 0; i < count; ++i)
        if (!DrawObject(sortBuffer[i])) return false;
    return true;
}

void ObjectManager::EnterCameraSpace() {
    if (cameraSpace) return;
    IDirect3DDevice9* device = Device();
    device->GetTransform(D3DTS_VIEW, &savedView);
    const CameraRecord* camera = CameraZero();
    savedFieldOfView = camera ? camera->fov : defaultFieldOfView;
    if (g_Object3D.cameras.setCurrentFOV) g_Object3D.cameras.setCurrentFOV(kCameraSpaceFov);
    device->SetTransform(D3DTS_VIEW, &kIdentityMatrix);
    device->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
    cameraSpace = true;
}

void ObjectManager::LeaveCameraSpace() {
    if (!cameraSpace) return;
    Device()->SetTransform(D3DTS_VIEW, &savedView);
    if (g_Object3D.cameras.setCurrentFOV) g_Object3D.cameras.setCurrentFOV(savedFieldOfView);
    cameraSpace = false;
}

bool ObjectManager::RenderOverlaySweep(bool lockedSweep) {
    bool drawn = true;
    for (std::int32_t i = 0; i < visibleCount && drawn; ++i) {
        ObjectRecord* object = visibleList[i];
        if (lockedSweep ? !object->locked : !object->noDepth || object->locked) continue;
        if (lockedSweep) Device()->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
        if (object->noDepth)
            EnterCameraSpace();
        else
            LeaveCameraSpace();
        drawn = DrawObject(object);
    }
    LeaveCameraSpace();
    return drawn;
}

bool ObjectManager::RenderOverlayLayer() {
    return RenderOverlaySweep(false) && RenderOverlaySweep(true);
}

bool ObjectManager::RenderLayer(std::int32_t layer) {
    if (!Device()) return false;
    bool drawn = true;
    switch (layer) {
    case 0:
        drawn = RenderSolidLayer();
        break;
    case 1:
        drawn = RenderMirrorLayer();
        break;
    case 2:
        drawn = RenderShadowLayer();
        break;
    case 3:
        drawn = RenderTransparentLayer();
        break;
    case 4:
        drawn = RenderOverlayLayer();
        break;
    default:
        return false;
    }
    ResetTextureStages();
    return drawn;
}

void ObjectManager::Update() {
    Object3DState& s = g_Object3D;
    if (!s.device) return;
    PrepareFrame();
    SetDefaultCull();
    if (s.universe) s.universe->Render();
    RenderLayer(0);
    const CoreData* core = s.core;
    const std::int32_t mode = core ? core->stencilMode : 0;
    const bool firstSubPass = !core || core->renderPassIndex == 0;
    if (mode == 2 && firstSubPass) RenderLayer(1);
    if (shadowsEnabled && mode == 1 && firstSubPass) {
        RenderLayer(2);
        if (s.universe && core->stencilMode == 1) DrawShadows(s.universe);
    }
}

void ObjectManager::RenderLayerThree() {
    if (!Device()) return;
    ResetStateCache();
    RenderLayer(3);
}

void ObjectManager::RenderLayerFour() {
    if (!Device()) return;
    ResetStateCache();
    RenderLayer(4);
}
