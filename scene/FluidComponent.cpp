// FluidComponent: per frame, draw what the previous frame's step left, then step. The
// forces the bubbles add in this frame's step act in the next frame's solver step. The heat's
// drawing (shimmer, caustics, steam, the floor's bubbles) reads the fluid after its step and
// never writes to it.
#include "scene/FluidComponent.h"

#include <algorithm>

#include "fluid/FluidSolver.h"
#include "scene/Camera.h"
#include "scene/SceneMedia.h"

FluidComponent::FluidComponent(SceneMedia* mediaIn, FluidSolver* solverIn, const Camera* cameraIn)
    : media(mediaIn), solver(solverIn), camera(cameraIn) {}

HRESULT FluidComponent::CreateResources(IDirect3DDevice8* newDevice) {
    return SceneComponent::CreateResources(newDevice);
}

HRESULT FluidComponent::RestoreResources() {
    const int n = solver ? solver->n : 0;
    const UINT n3 = static_cast<UINT>(n * n * n);
    device->CreateVertexBuffer(n3 * 2 * sizeof(LineVertex), D3DUSAGE_WRITEONLY | D3DUSAGE_DYNAMIC,
                               D3DFVF_XYZ | D3DFVF_DIFFUSE, D3DPOOL_DEFAULT, &lineBuffer);
    if (SUCCEEDED(device->CreateIndexBuffer(kMaxBubbleQuads * 6 * sizeof(WORD), D3DUSAGE_WRITEONLY,
                                            D3DFMT_INDEX16, D3DPOOL_DEFAULT, &quadIndexBuffer))) {
        BYTE* indices = nullptr;
        if (SUCCEEDED(quadIndexBuffer->Lock(0, 0, &indices, 0))) {
            WriteQuadIndices(reinterpret_cast<WORD*>(indices), kMaxBubbleQuads);
            quadIndexBuffer->Unlock();
        }
    }
    device->CreateVertexBuffer(kMaxBubbleQuads * 4 * sizeof(BubbleVertex),
                               D3DUSAGE_WRITEONLY | D3DUSAGE_DYNAMIC, D3DFVF_XYZ | D3DFVF_TEX1,
                               D3DPOOL_DEFAULT, &quadBuffer);
    static_assert(SteamCloud::kMaxPuffs <= kMaxBubbleQuads && FloorBubbles::kSites <= kMaxBubbleQuads,
                  "the squares share the bubbles' index buffer");
    device->CreateVertexBuffer(SteamCloud::kMaxPuffs * 4 * sizeof(SteamVertex), D3DUSAGE_WRITEONLY | D3DUSAGE_DYNAMIC,
                               D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1, D3DPOOL_DEFAULT, &steamBuffer);
    device->CreateVertexBuffer(FloorBubbles::kSites * 4 * sizeof(BubbleVertex), D3DUSAGE_WRITEONLY | D3DUSAGE_DYNAMIC,
                               D3DFVF_XYZ | D3DFVF_TEX1, D3DPOOL_DEFAULT, &floorBubbleBuffer);
    if (SUCCEEDED(device->CreateVertexBuffer(WaterShimmer::kFloorLightVertices * sizeof(FloorLightVertex),
                                             D3DUSAGE_WRITEONLY, D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1,
                                             D3DPOOL_DEFAULT, &floorLightBuffer))) {
        BYTE* vertices = nullptr;
        if (SUCCEEDED(floorLightBuffer->Lock(0, 0, &vertices, 0))) {
            WaterShimmer::WriteFloorLight(reinterpret_cast<FloorLightVertex*>(vertices));
            floorLightBuffer->Unlock();
        }
    }
    if (SUCCEEDED(device->CreateTexture(WaterShimmer::kCausticSide, WaterShimmer::kCausticSide, 1, 0,
                                        D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &causticsTexture)))
        UploadCaustics();
    return S_OK;
}

HRESULT FluidComponent::LoseResources() {
    auto release = [](auto*& object) {
        if (object) {
            object->Release();
            object = nullptr;
        }
    };
    release(lineBuffer);
    release(quadIndexBuffer);
    release(quadBuffer);
    release(steamBuffer);
    release(floorBubbleBuffer);
    release(causticsTexture);
    release(floorLightBuffer);
    return S_OK;
}

HRESULT FluidComponent::ReleaseResources() { return S_OK; }

// [SECTION] Drawing

namespace {

// The effects' shader techniques cannot see the device's transforms: each declares the
// view-projection matrix (and the pot's and water's the eye position) as parameters, which
// are set before every Begin. World is identity: nothing in the scene moves the world.
void SetCameraParameters(EffectFile* effect, const Camera& camera) {
    Matrix4 viewProjection;
    D3DXMatrixMultiply(&viewProjection, &camera.view, &camera.projection);
    static_assert(sizeof(Matrix4) == sizeof(D3DMATRIX));
    effect->SetMatrix("matViewProj", reinterpret_cast<const D3DMATRIX*>(&viewProjection));
    const float eye[4] = {camera.eye.x, camera.eye.y, camera.eye.z, 1.0f};
    effect->SetVector("vecEye", eye);
}

// Every pass of the effect with the camera's parameters, draw() in each; false when the effect
// cannot begin (nothing is drawn).
template <typename Draw>
bool DrawWithEffect(EffectFile* effect, const Camera& camera, Draw draw) {
    SetCameraParameters(effect, camera);
    UINT passes = 0;
    if (FAILED(effect->Begin(&passes, 0))) return false;
    for (UINT pass = 0; pass < passes; ++pass) {
        effect->Pass(pass);
        draw();
    }
    effect->End();
    return true;
}

}  // namespace

void FluidComponent::DrawVelocityLines() {
    if (!lineBuffer || !solver || !media->IsEffectUsable(EffectVelocityLines)) return;
    const UINT n3 = static_cast<UINT>(solver->nCubed);
    BYTE* data = nullptr;
    if (FAILED(lineBuffer->Lock(0, n3 * 2 * sizeof(LineVertex), &data, D3DLOCK_DISCARD))) return;
    UINT lines = FillVelocityLines(*solver, reinterpret_cast<LineVertex*>(data));
    lineBuffer->Unlock();
    device->SetStreamSource(0, lineBuffer, sizeof(LineVertex));
    if (DrawWithEffect(media->effects[EffectVelocityLines], *camera, [&] {
            if (lines > 0) device->DrawPrimitive(D3DPT_LINELIST, 0, lines);
        }))
        velocityLinesDrawn = lines;
}

void FluidComponent::DrawMeshWithEffect(int which, ID3DXMesh* mesh) {
    if (!mesh || !media->IsEffectUsable(static_cast<SceneEffect>(which))) return;
    DrawWithEffect(media->effects[which], *camera, [mesh] { mesh->DrawSubset(0); });
}

void FluidComponent::DrawQuadsWithEffect(EffectFile* effect, IDirect3DVertexBuffer8* buffer, UINT stride,
                                         UINT quads) {
    device->SetIndices(quadIndexBuffer, 0);
    device->SetStreamSource(0, buffer, stride);
    DrawWithEffect(effect, *camera,
                   [&] { device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, quads * 4, 0, quads * 2); });
}

void FluidComponent::DrawBubbles() {
    if (bubbles.count == 0) return;
    if (!quadBuffer || !quadIndexBuffer || !media->IsEffectUsable(EffectBubbles)) return;
    Matrix4 orientation = camera->cameraToWorld;
    orientation.m[3][0] = orientation.m[3][1] = orientation.m[3][2] = 0.0f;
    const UINT quads = std::min(static_cast<UINT>(bubbles.count), kMaxBubbleQuads);
    BYTE* data = nullptr;
    if (FAILED(quadBuffer->Lock(0, quads * 4 * sizeof(BubbleVertex), &data, D3DLOCK_DISCARD)))
        return;
    WriteQuads(bubbles, orientation, reinterpret_cast<BubbleVertex*>(data), quads);
    quadBuffer->Unlock();
    DrawQuadsWithEffect(media->effects[EffectBubbles], quadBuffer, sizeof(BubbleVertex), quads);
}

template <typename Vertex, typename Write>
void FluidComponent::DrawSprites(int which, IDirect3DVertexBuffer8* buffer, Write write) {
    if (!buffer || !quadIndexBuffer || !media->IsEffectUsable(static_cast<SceneEffect>(which))) return;
    BYTE* data = nullptr;
    if (FAILED(buffer->Lock(0, 0, &data, D3DLOCK_DISCARD))) return;
    const UINT quads = write(reinterpret_cast<Vertex*>(data));
    buffer->Unlock();
    if (quads > 0) DrawQuadsWithEffect(media->effects[which], buffer, sizeof(Vertex), quads);
}

void FluidComponent::DrawFloorBubbles() {
    DrawSprites<BubbleVertex>(EffectBubbles, floorBubbleBuffer, [this](BubbleVertex* out) {
        return floorBubbles.WriteQuads(camera->cameraToWorld, out, FloorBubbles::kSites);
    });
}

void FluidComponent::DrawSteam() {
    if (steam.count == 0) return;
    DrawSprites<SteamVertex>(EffectSteam, steamBuffer, [this](SteamVertex* out) {
        return steam.WriteQuads(camera->cameraToWorld, out, SteamCloud::kMaxPuffs);
    });
}

void FluidComponent::DrawFloorLight() {
    if (!floorLightBuffer || !causticsTexture || !media->IsEffectUsable(EffectFloorLight)) return;
    EffectFile* effect = media->effects[EffectFloorLight];
    // The caustics are bound here rather than by the media: the texture is the fluid's own.
    effect->SetTexture("texCaustics", causticsTexture);
    device->SetStreamSource(0, floorLightBuffer, sizeof(FloorLightVertex));
    DrawWithEffect(effect, *camera,
                   [&] { device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, WaterShimmer::kFloorLightVertices / 3); });
}

void FluidComponent::UploadCaustics() {
    if (!causticsTexture) return;
    D3DLOCKED_RECT locked = {};
    if (FAILED(causticsTexture->LockRect(0, &locked, nullptr, 0))) return;
    shimmer.WriteCaustics(static_cast<uint8_t*>(locked.pBits), locked.Pitch);
    causticsTexture->UnlockRect(0);
}

void FluidComponent::Tick(float elapsedSeconds) {
    // This step's shimmer is worked out beside the drawing, from the fluid as the last step left
    // it: drawing reads neither the shimmer nor writes the fluid or the surface, and the step
    // waits for it. The software device's rasterisers are idle while a frame is being issued,
    // so the shimmer costs the frame next to nothing there.
    shimmerStepped = solver && heatVisuals && speed > 0.0f;
    if (shimmerStepped) {
        const float step = StepSeconds(elapsedSeconds);
        shimmerTask.Start([this, step] { shimmer.Update(*solver, surface, step); });
    }
    DrawScene();
    shimmerTask.Wait();
    StepSimulation(elapsedSeconds);
    StepHeatVisuals(elapsedSeconds);
}

void FluidComponent::DrawScene() {
    const DWORD fill = wireframe ? D3DFILL_WIREFRAME : D3DFILL_SOLID;
    velocityLinesDrawn = 0;
    if (showVelocity) DrawVelocityLines();
    device->SetRenderState(D3DRS_FILLMODE, fill);
    device->SetMaterial(&media->potMaterial);
    DrawMeshWithEffect(EffectPot, media->potMesh);
    device->SetRenderState(D3DRS_FILLMODE, D3DFILL_SOLID);
    if (heatVisuals) {
        DrawFloorLight();
        DrawFloorBubbles();
    }
    DrawBubbles();
    device->SetRenderState(D3DRS_FILLMODE, fill);
    device->SetMaterial(&media->waterMaterial);
    DrawMeshWithEffect(EffectWater, media->waterDrawCopy);
    device->SetRenderState(D3DRS_FILLMODE, D3DFILL_SOLID);
    if (heatVisuals) DrawSteam();
}

// [SECTION] Simulation

float FluidComponent::StepSeconds(float elapsedSeconds) const {
    // Below the cap the frame steps exactly by its elapsed time; a stall steps by the cap.
    // NaN counts as no time at all. The speed scales the capped time, so that a slow frame
    // does not also undo the speed.
    float elapsed = elapsedSeconds;
    if (!(elapsed >= 0.0f)) elapsed = 0.0f;
    if (elapsed > kMaxStepSeconds) elapsed = kMaxStepSeconds;
    return elapsed * speed;
}

void FluidComponent::StepSimulation(float elapsedSeconds) {
    if (!solver || !(speed > 0.0f)) return;
    const float elapsed = StepSeconds(elapsedSeconds);
    solver->dt = elapsed * 5.0f;
    solver->StepVelocity();
    solver->StepTemperature();
    solver->ClearForces();
    UpdateWaterMesh(elapsed);
    bubbles.UpdateBubbles(*solver, solver->dt, surface);
}

void FluidComponent::StepHeatVisuals(float elapsedSeconds) {
    if (!solver || !heatVisuals) return;
    steam.Update(*solver, elapsedSeconds);
    floorBubbles.Update(*solver, elapsedSeconds);
}

void FluidComponent::UpdateWaterMesh(float elapsedSeconds) {
    const bool shimmering = solver && heatVisuals;
    if (shimmering) {
        if (!shimmerStepped) shimmer.Update(*solver, surface, elapsedSeconds);
        UploadCaustics();
    }
    shimmerStepped = false;
    ID3DXMesh* rest = media->waterRestCopy;
    ID3DXMesh* draw = media->waterDrawCopy;
    if (rest && draw) {
        const UINT count = std::min(rest->GetNumVertices(), draw->GetNumVertices());
        IDirect3DVertexBuffer8* restBuffer = nullptr;
        IDirect3DVertexBuffer8* drawBuffer = nullptr;
        rest->GetVertexBuffer(&restBuffer);
        draw->GetVertexBuffer(&drawBuffer);
        BYTE* restData = nullptr;
        BYTE* drawData = nullptr;
        if (restBuffer && drawBuffer &&
            SUCCEEDED(restBuffer->Lock(0, 0, &restData, D3DLOCK_READONLY))) {
            if (SUCCEEDED(drawBuffer->Lock(0, 0, &drawData, D3DLOCK_DISCARD))) {
                WriteWaterVertices(surface, reinterpret_cast<const Vector3*>(restData),
                                   reinterpret_cast<WaterVertex*>(drawData), count,
                                   shimmering ? shimmer.heights : nullptr);
                drawBuffer->Unlock();
            }
            restBuffer->Unlock();
        }
        if (restBuffer) restBuffer->Release();
        if (drawBuffer) drawBuffer->Release();
    }
    surface.Relax(elapsedSeconds);
}
