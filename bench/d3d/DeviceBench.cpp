// Device cost against raw OpenGL on the same EGL device in the same process: many small draws with state
// changes between them, and a full-screen textured pass (fill rate). Compare each Device_* with its Raw_*.
// The device is REF (the software EGL device); SIMMERGLASS_TEST_DEVICE=hal measures HAL (a hardware one).
#include <benchmark/benchmark.h>

#include <EGL/egl.h>
#include <EGL/eglext.h>
#define GL_GLEXT_PROTOTYPES 1
#include <GL/glcorearb.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/d3d/d3d8.h"

namespace {

constexpr UINT kDraws = 500;        // small draws per iteration
constexpr UINT kSmallTarget = 256;  // back buffer for the draw benchmark
constexpr UINT kFillTarget = 512;   // back buffer for the fill benchmark
constexpr UINT kFillPasses = 8;     // full-screen passes per iteration

struct Vertex {
    float x, y, z;
    DWORD colour;
};

bool UseHardware() {
    const char* choice = std::getenv("SIMMERGLASS_TEST_DEVICE");
    return choice && std::strcmp(choice, "hal") == 0;
}

IDirect3DDevice8* CreateDevice(IDirect3D8* d3d, UINT size) {
    D3DPRESENT_PARAMETERS pp{};
    pp.BackBufferWidth = pp.BackBufferHeight = size;
    pp.BackBufferFormat = D3DFMT_X8R8G8B8;
    pp.BackBufferCount = 1;
    pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
    pp.Windowed = TRUE;
    pp.EnableAutoDepthStencil = TRUE;
    pp.AutoDepthStencilFormat = D3DFMT_D24S8;
    IDirect3DDevice8* device = nullptr;
    d3d->CreateDevice(0, UseHardware() ? D3DDEVTYPE_HAL : D3DDEVTYPE_REF, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING,
                      &pp, &device);
    return device;
}

D3DMATRIX Translation(float x, float y) {
    D3DMATRIX m{};
    m._11 = m._22 = m._33 = m._44 = 1.0f;
    m._41 = x, m._42 = y;
    return m;
}

void Device_SmallDrawsWithStateChanges(benchmark::State& st) {
    d3dhost::SetHeadless(true);
    IDirect3D8* d3d = Direct3DCreate8(D3D_SDK_VERSION);
    IDirect3DDevice8* device = CreateDevice(d3d, kSmallTarget);
    if (!device) {
        st.SkipWithError(UseHardware() ? "no HAL device" : "no REF device");
        return;
    }
    IDirect3DVertexBuffer8* vb = nullptr;
    device->CreateVertexBuffer(3 * sizeof(Vertex), D3DUSAGE_WRITEONLY, D3DFVF_XYZ | D3DFVF_DIFFUSE, D3DPOOL_MANAGED,
                               &vb);
    Vertex* v = nullptr;
    vb->Lock(0, 0, reinterpret_cast<BYTE**>(&v), 0);
    v[0] = {-0.05f, -0.05f, 0.5f, 0xFFFFFFFFu};
    v[1] = {0.0f, 0.05f, 0.5f, 0xFFFFFFFFu};
    v[2] = {0.05f, -0.05f, 0.5f, 0xFFFFFFFFu};
    vb->Unlock();
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TFACTOR);
    device->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    device->SetVertexShader(D3DFVF_XYZ | D3DFVF_DIFFUSE);
    device->SetStreamSource(0, vb, sizeof(Vertex));
    std::vector<D3DMATRIX> worlds(kDraws);
    for (UINT i = 0; i < kDraws; ++i) worlds[i] = Translation(-0.9f + 1.8f * (i % 25) / 25.0f, -0.9f + 1.8f * (i / 25) / 20.0f);
    for (auto _ : st) {
        device->BeginScene();
        device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
        for (UINT i = 0; i < kDraws; ++i) {
            device->SetTransform(D3DTS_WORLD, &worlds[i]);
            device->SetRenderState(D3DRS_TEXTUREFACTOR, 0xFF000000u | (i * 0x010203u));
            device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1);
        }
        device->EndScene();
        device->Present(nullptr, nullptr, nullptr, nullptr);
    }
    st.counters["draws/s"] = benchmark::Counter(static_cast<double>(kDraws), benchmark::Counter::kIsIterationInvariantRate);
    vb->Release();
    device->Release();
    d3d->Release();
}

// [SECTION] Raw OpenGL on its own context of the same software EGL device.

struct RawGl {
    EGLDisplay display = EGL_NO_DISPLAY;
    EGLContext context = EGL_NO_CONTEXT;
    GLuint fbo = 0, colour = 0, depth = 0, vao = 0;

    bool Create(UINT size) {
        auto queryDevices = reinterpret_cast<PFNEGLQUERYDEVICESEXTPROC>(eglGetProcAddress("eglQueryDevicesEXT"));
        auto queryString = reinterpret_cast<PFNEGLQUERYDEVICESTRINGEXTPROC>(eglGetProcAddress("eglQueryDeviceStringEXT"));
        auto platformDisplay =
            reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(eglGetProcAddress("eglGetPlatformDisplayEXT"));
        if (!queryDevices || !queryString || !platformDisplay) return false;
        EGLDeviceEXT devices[16];
        EGLint n = 0;
        queryDevices(16, devices, &n);
        for (EGLint i = 0; i < n && display == EGL_NO_DISPLAY; ++i) {
            const char* ext = queryString(devices[i], EGL_EXTENSIONS);
            const bool software = ext && std::strstr(ext, "EGL_MESA_device_software");
            if (software != UseHardware()) display = platformDisplay(EGL_PLATFORM_DEVICE_EXT, devices[i], nullptr);
        }
        if (display == EGL_NO_DISPLAY || !eglInitialize(display, nullptr, nullptr)) return false;
        eglBindAPI(EGL_OPENGL_API);
        const EGLint attribs[] = {EGL_CONTEXT_MAJOR_VERSION, 3, EGL_CONTEXT_MINOR_VERSION, 3,
                                  EGL_CONTEXT_OPENGL_PROFILE_MASK, EGL_CONTEXT_OPENGL_CORE_PROFILE_BIT, EGL_NONE};
        context = eglCreateContext(display, EGL_NO_CONFIG_KHR, EGL_NO_CONTEXT, attribs);
        if (context == EGL_NO_CONTEXT) return false;
        eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, context);
        glGenFramebuffers(1, &fbo);
        glBindFramebuffer(GL_FRAMEBUFFER, fbo);
        glGenRenderbuffers(1, &colour);
        glBindRenderbuffer(GL_RENDERBUFFER, colour);
        glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, size, size);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colour);
        glGenRenderbuffers(1, &depth);
        glBindRenderbuffer(GL_RENDERBUFFER, depth);
        glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH24_STENCIL8, size, size);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, depth);
        glGenVertexArrays(1, &vao);
        glBindVertexArray(vao);
        glViewport(0, 0, size, size);
        return true;
    }
    void Destroy() {
        if (context == EGL_NO_CONTEXT) return;
        eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, context);
        glDeleteFramebuffers(1, &fbo);
        glDeleteRenderbuffers(1, &colour);
        glDeleteRenderbuffers(1, &depth);
        glDeleteVertexArrays(1, &vao);
        eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        eglDestroyContext(display, context);
    }
};

GLuint Program(const char* vs, const char* fs) {
    auto compile = [](GLenum type, const char* src) {
        GLuint s = glCreateShader(type);
        glShaderSource(s, 1, &src, nullptr);
        glCompileShader(s);
        return s;
    };
    GLuint p = glCreateProgram();
    GLuint v = compile(GL_VERTEX_SHADER, vs), f = compile(GL_FRAGMENT_SHADER, fs);
    glAttachShader(p, v);
    glAttachShader(p, f);
    glLinkProgram(p);
    glDeleteShader(v);
    glDeleteShader(f);
    glUseProgram(p);
    return p;
}

void Raw_SmallDrawsWithStateChanges(benchmark::State& st) {
    RawGl gl;
    if (!gl.Create(kSmallTarget)) {
        st.SkipWithError("no EGL device");
        return;
    }
    GLuint program = Program(
        "#version 330 core\nlayout(location=0) in vec3 p; layout(location=1) in vec4 c; uniform mat4 m; out vec4 vc;\n"
        "void main() { gl_Position = m * vec4(p, 1.0); vc = c; }\n",
        "#version 330 core\nin vec4 vc; uniform vec4 tf; out vec4 o; void main() { o = vc * tf; }\n");
    GLint m = glGetUniformLocation(program, "m"), tf = glGetUniformLocation(program, "tf");
    Vertex v[3] = {{-0.05f, -0.05f, 0.5f, 0xFFFFFFFFu}, {0.0f, 0.05f, 0.5f, 0xFFFFFFFFu}, {0.05f, -0.05f, 0.5f, 0xFFFFFFFFu}};
    GLuint vb;
    glGenBuffers(1, &vb);
    glBindBuffer(GL_ARRAY_BUFFER, vb);
    glBufferData(GL_ARRAY_BUFFER, sizeof v, v, GL_STATIC_DRAW);
    glEnableVertexAttribArray(0);
    glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, sizeof(Vertex), nullptr);
    glEnableVertexAttribArray(1);
    glVertexAttribPointer(1, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, sizeof(Vertex), reinterpret_cast<void*>(12));
    glEnable(GL_DEPTH_TEST);
    std::vector<D3DMATRIX> worlds(kDraws);
    for (UINT i = 0; i < kDraws; ++i) worlds[i] = Translation(-0.9f + 1.8f * (i % 25) / 25.0f, -0.9f + 1.8f * (i / 25) / 20.0f);
    std::vector<DWORD> pixels(kSmallTarget * kSmallTarget);
    for (auto _ : st) {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        for (UINT i = 0; i < kDraws; ++i) {
            glUniformMatrix4fv(m, 1, GL_FALSE, &worlds[i].m[0][0]);
            DWORD c = 0xFF000000u | (i * 0x010203u);
            glUniform4f(tf, ((c >> 16) & 255) / 255.0f, ((c >> 8) & 255) / 255.0f, (c & 255) / 255.0f, 1.0f);
            glDrawArrays(GL_TRIANGLES, 0, 3);
        }
        glReadPixels(0, 0, kSmallTarget, kSmallTarget, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, pixels.data());
    }
    st.counters["draws/s"] = benchmark::Counter(static_cast<double>(kDraws), benchmark::Counter::kIsIterationInvariantRate);
    glDeleteBuffers(1, &vb);
    glDeleteProgram(program);
    gl.Destroy();
}

struct TexVertex {
    float x, y, z, rhw, u, v;
};

void Device_FullScreenTexturedPass(benchmark::State& st) {
    d3dhost::SetHeadless(true);
    IDirect3D8* d3d = Direct3DCreate8(D3D_SDK_VERSION);
    IDirect3DDevice8* device = CreateDevice(d3d, kFillTarget);
    if (!device) {
        st.SkipWithError(UseHardware() ? "no HAL device" : "no REF device");
        return;
    }
    IDirect3DTexture8* texture = nullptr;
    device->CreateTexture(256, 256, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture);
    D3DLOCKED_RECT lr;
    texture->LockRect(0, &lr, nullptr, 0);
    for (UINT i = 0; i < 256 * 256; ++i) static_cast<DWORD*>(lr.pBits)[i] = 0xFF000000u | (i * 2654435761u >> 8);
    texture->UnlockRect(0);
    device->SetTexture(0, texture);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_MAGFILTER, D3DTEXF_LINEAR);
    device->SetTextureStageState(0, D3DTSS_MINFILTER, D3DTEXF_LINEAR);
    device->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    const float s = static_cast<float>(kFillTarget);
    TexVertex quad[4] = {{0, 0, 0.5f, 1, 0, 0}, {s, 0, 0.5f, 1, 1, 0}, {0, s, 0.5f, 1, 0, 1}, {s, s, 0.5f, 1, 1, 1}};
    IDirect3DVertexBuffer8* vb = nullptr;
    device->CreateVertexBuffer(sizeof quad, D3DUSAGE_WRITEONLY, D3DFVF_XYZRHW | D3DFVF_TEX1, D3DPOOL_MANAGED, &vb);
    BYTE* data;
    vb->Lock(0, 0, &data, 0);
    std::memcpy(data, quad, sizeof quad);
    vb->Unlock();
    device->SetVertexShader(D3DFVF_XYZRHW | D3DFVF_TEX1);
    device->SetStreamSource(0, vb, sizeof(TexVertex));
    for (auto _ : st) {
        for (UINT i = 0; i < kFillPasses; ++i) device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2);
        device->Present(nullptr, nullptr, nullptr, nullptr);
    }
    st.counters["pixels/s"] = benchmark::Counter(static_cast<double>(kFillPasses) * kFillTarget * kFillTarget,
                                                 benchmark::Counter::kIsIterationInvariantRate);
    device->SetTexture(0, nullptr);
    device->SetStreamSource(0, nullptr, 0);
    vb->Release();
    texture->Release();
    device->Release();
    d3d->Release();
}

void Raw_FullScreenTexturedPass(benchmark::State& st) {
    RawGl gl;
    if (!gl.Create(kFillTarget)) {
        st.SkipWithError("no EGL device");
        return;
    }
    GLuint program = Program(
        "#version 330 core\nlayout(location=0) in vec2 p; layout(location=1) in vec2 t; out vec2 vt;\n"
        "void main() { gl_Position = vec4(p, 0.5, 1.0); vt = t; }\n",
        "#version 330 core\nin vec2 vt; uniform sampler2D s; out vec4 o; void main() { o = texture(s, vt); }\n");
    std::vector<DWORD> texels(256 * 256);
    for (UINT i = 0; i < 256 * 256; ++i) texels[i] = 0xFF000000u | (i * 2654435761u >> 8);
    GLuint tex;
    glGenTextures(1, &tex);
    glBindTexture(GL_TEXTURE_2D, tex);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 256, 256, 0, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, texels.data());
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    float quad[] = {-1, -1, 0, 1, 1, -1, 1, 1, -1, 1, 0, 0, 1, 1, 1, 0};
    GLuint vb;
    glGenBuffers(1, &vb);
    glBindBuffer(GL_ARRAY_BUFFER, vb);
    glBufferData(GL_ARRAY_BUFFER, sizeof quad, quad, GL_STATIC_DRAW);
    glEnableVertexAttribArray(0);
    glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, 16, nullptr);
    glEnableVertexAttribArray(1);
    glVertexAttribPointer(1, 2, GL_FLOAT, GL_FALSE, 16, reinterpret_cast<void*>(8));
    std::vector<DWORD> pixels(kFillTarget * kFillTarget);
    for (auto _ : st) {
        for (UINT i = 0; i < kFillPasses; ++i) glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
        glReadPixels(0, 0, kFillTarget, kFillTarget, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, pixels.data());
    }
    st.counters["pixels/s"] = benchmark::Counter(static_cast<double>(kFillPasses) * kFillTarget * kFillTarget,
                                                 benchmark::Counter::kIsIterationInvariantRate);
    glDeleteBuffers(1, &vb);
    glDeleteTextures(1, &tex);
    glDeleteProgram(program);
    gl.Destroy();
}

}  // namespace

BENCHMARK(Device_SmallDrawsWithStateChanges)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(Raw_SmallDrawsWithStateChanges)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(Device_FullScreenTexturedPass)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(Raw_FullScreenTexturedPass)->Unit(benchmark::kMillisecond)->UseRealTime();
