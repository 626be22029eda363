// Software-GL harness for the shader tests: EGL device platform, Mesa's software device,
// surfaceless GL 3.3 core context, a 1x1 RGBA32F target with a depth attachment.
#include "tests/platform/d3d/shader/GlHarness.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>
#define GL_GLEXT_PROTOTYPES
#include <GL/glcorearb.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace shadertest {

namespace {

constexpr float kSentinel = -7.0f;

struct Context {
    bool ok = false;
    std::string why;
    EGLDisplay display = EGL_NO_DISPLAY;
    EGLContext context = EGL_NO_CONTEXT;
    GLuint fbo = 0, color = 0, depth = 0, vao = 0;
};

Context MakeContext() {
    Context c;
    auto queryDevices = reinterpret_cast<PFNEGLQUERYDEVICESEXTPROC>(eglGetProcAddress("eglQueryDevicesEXT"));
    auto queryDeviceString =
        reinterpret_cast<PFNEGLQUERYDEVICESTRINGEXTPROC>(eglGetProcAddress("eglQueryDeviceStringEXT"));
    auto getPlatformDisplay =
        reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(eglGetProcAddress("eglGetPlatformDisplayEXT"));
    if (!queryDevices || !queryDeviceString || !getPlatformDisplay) {
        c.why = "EGL device enumeration is not available";
        return c;
    }
    EGLDeviceEXT devices[16];
    EGLint count = 0;
    if (!queryDevices(16, devices, &count)) {
        c.why = "eglQueryDevicesEXT failed";
        return c;
    }
    // SIMMERGLASS_TEST_DEVICE=hal picks a hardware device instead, as the device tests do.
    const char* choice = std::getenv("SIMMERGLASS_TEST_DEVICE");
    const bool hardware = choice && std::strcmp(choice, "hal") == 0;
    EGLDeviceEXT chosen = nullptr;
    for (EGLint i = 0; i < count && !chosen; ++i) {
        const char* ext = queryDeviceString(devices[i], EGL_EXTENSIONS);
        const bool software = ext && std::strstr(ext, "EGL_MESA_device_software");
        if (software != hardware) chosen = devices[i];
    }
    if (!chosen) {
        c.why = hardware ? "no hardware EGL device" : "no software EGL device";
        return c;
    }
    c.display = getPlatformDisplay(EGL_PLATFORM_DEVICE_EXT, chosen, nullptr);
    if (c.display == EGL_NO_DISPLAY || !eglInitialize(c.display, nullptr, nullptr) || !eglBindAPI(EGL_OPENGL_API)) {
        c.why = "EGL display initialisation failed";
        return c;
    }
    const EGLint configAttribs[] = {EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT, EGL_SURFACE_TYPE, 0, EGL_NONE};
    EGLConfig config;
    EGLint configs = 0;
    if (!eglChooseConfig(c.display, configAttribs, &config, 1, &configs) || configs < 1) {
        c.why = "no EGL config for desktop OpenGL";
        return c;
    }
    const EGLint contextAttribs[] = {EGL_CONTEXT_MAJOR_VERSION, 3, EGL_CONTEXT_MINOR_VERSION, 3,
                                     EGL_CONTEXT_OPENGL_PROFILE_MASK, EGL_CONTEXT_OPENGL_CORE_PROFILE_BIT,
                                     EGL_NONE};
    c.context = eglCreateContext(c.display, config, EGL_NO_CONTEXT, contextAttribs);
    if (c.context == EGL_NO_CONTEXT || !eglMakeCurrent(c.display, EGL_NO_SURFACE, EGL_NO_SURFACE, c.context)) {
        c.why = "no surfaceless OpenGL 3.3 core context";
        return c;
    }
    glGenFramebuffers(1, &c.fbo);
    glBindFramebuffer(GL_FRAMEBUFFER, c.fbo);
    glGenTextures(1, &c.color);
    glBindTexture(GL_TEXTURE_2D, c.color);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA32F, 1, 1, 0, GL_RGBA, GL_FLOAT, nullptr);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, c.color, 0);
    glGenRenderbuffers(1, &c.depth);
    glBindRenderbuffer(GL_RENDERBUFFER, c.depth);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT32F, 1, 1);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, c.depth);
    if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
        c.why = "float render target not supported";
        return c;
    }
    glGenVertexArrays(1, &c.vao);
    glBindVertexArray(c.vao);
    glViewport(0, 0, 1, 1);
    c.ok = true;
    return c;
}

Context& Ctx() {
    static Context context = MakeContext();
    return context;
}

GLuint CompileShader(GLenum kind, const std::string& text, std::string* log) {
    GLuint s = glCreateShader(kind);
    const char* src = text.c_str();
    glShaderSource(s, 1, &src, nullptr);
    glCompileShader(s);
    GLint ok = 0;
    glGetShaderiv(s, GL_COMPILE_STATUS, &ok);
    if (!ok) {
        char buf[4096];
        glGetShaderInfoLog(s, sizeof(buf), nullptr, buf);
        if (log) *log = std::string(buf) + "\n--- source ---\n" + text;
        glDeleteShader(s);
        return 0;
    }
    return s;
}

GLuint Link(const std::string& vs, const std::string& fs, std::string* log) {
    GLuint v = CompileShader(GL_VERTEX_SHADER, vs, log);
    if (!v) return 0;
    GLuint f = CompileShader(GL_FRAGMENT_SHADER, fs, log);
    if (!f) {
        glDeleteShader(v);
        return 0;
    }
    GLuint p = glCreateProgram();
    glAttachShader(p, v);
    glAttachShader(p, f);
    glLinkProgram(p);
    glDeleteShader(v);
    glDeleteShader(f);
    GLint ok = 0;
    glGetProgramiv(p, GL_LINK_STATUS, &ok);
    if (!ok) {
        char buf[4096];
        glGetProgramInfoLog(p, sizeof(buf), nullptr, buf);
        if (log) *log = buf;
        glDeleteProgram(p);
        return 0;
    }
    return p;
}

const char kVertexPrologue[] =
    "#version 330 core\n"
    "vec4 sg_oPos; vec4 sg_oD0; vec4 sg_oD1; vec4 sg_oT[8]; float sg_oFog; float sg_oPts;\n";

std::string VertexProgram(const shader::TranslatedShader& stage, const std::string& output) {
    return kVertexPrologue + stage.glsl +
           "flat out vec4 sgt_value;\n"
           "void main() {\n"
           "    sg_oPos = vec4(0.0); sg_oD0 = vec4(0.0); sg_oD1 = vec4(0.0); sg_oFog = 0.0; sg_oPts = 0.0;\n"
           "    for (int i = 0; i < 8; ++i) sg_oT[i] = vec4(0.0);\n"
           "    sg_VertexStage();\n"
           "    sgt_value = vec4(" + output + ");\n"
           "    gl_Position = vec4(gl_VertexID == 1 ? 3.0 : -1.0, gl_VertexID == 2 ? 3.0 : -1.0, 0.0, 1.0);\n"
           "}\n";
}

const char kValueFragment[] =
    "#version 330 core\n"
    "flat in vec4 sgt_value;\n"
    "layout(location = 0) out vec4 sgt_color;\n"
    "void main() { sgt_color = sgt_value; }\n";

const char kPixelVertex[] =
    "#version 330 core\n"
    "uniform vec4 sgt_d0, sgt_d1; uniform vec4 sgt_t[8];\n"
    "flat out vec4 sg_vD0; flat out vec4 sg_vD1; flat out vec4 sg_vT[8];\n"
    "void main() {\n"
    "    sg_vD0 = sgt_d0; sg_vD1 = sgt_d1;\n"
    "    for (int i = 0; i < 8; ++i) sg_vT[i] = sgt_t[i];\n"
    "    gl_Position = vec4(gl_VertexID == 1 ? 3.0 : -1.0, gl_VertexID == 2 ? 3.0 : -1.0, 0.0, 1.0);\n"
    "}\n";

std::string PixelProgram(const shader::TranslatedShader& stage) {
    std::string s =
        "#version 330 core\n"
        "flat in vec4 sg_vD0; flat in vec4 sg_vD1; flat in vec4 sg_vT[8];\n";
    for (int i = 0; i < 8; ++i) s += "uniform sampler2D sg_Sampler" + std::to_string(i) + ";\n";
    return s + stage.glsl +
           "layout(location = 0) out vec4 sgt_color;\n"
           "void main() { sgt_color = sg_PixelStage(); }\n";
}

void SetVec4(GLuint p, const std::string& name, const Vec4& v) {
    GLint loc = glGetUniformLocation(p, name.c_str());
    if (loc >= 0) glUniform4fv(loc, 1, v.data());
}

GlResult Draw(GLuint program, const GlInputs& in, bool pixel) {
    GlResult r;
    glUseProgram(program);
    for (const auto& [reg, v] : in.constants)
        SetVec4(program, (pixel ? "sg_PSConst[" : "sg_VSConst[") + std::to_string(reg) + "]", v);
    for (int i = 0; i < 16; ++i) glVertexAttrib4f(i, 0, 0, 0, 1);
    for (const auto& [reg, v] : in.attributes) glVertexAttrib4fv(reg, v.data());
    std::vector<GLuint> textures;
    if (pixel) {
        SetVec4(program, "sgt_d0", in.d0);
        SetVec4(program, "sgt_d1", in.d1);
        for (const auto& [n, v] : in.texcoords) SetVec4(program, "sgt_t[" + std::to_string(n) + "]", v);
        for (const auto& [n, v] : in.bumpMat) SetVec4(program, "sg_BumpEnvMat[" + std::to_string(n) + "]", v);
        for (const auto& [n, v] : in.bumpL) {
            GLint loc = glGetUniformLocation(program, ("sg_BumpEnvL[" + std::to_string(n) + "]").c_str());
            if (loc >= 0) glUniform2fv(loc, 1, v.data());
        }
        for (int s = 0; s < 8; ++s) {
            GLint loc = glGetUniformLocation(program, ("sg_Sampler" + std::to_string(s)).c_str());
            if (loc >= 0) glUniform1i(loc, s);
        }
        for (const auto& [stage, texels] : in.textures) {
            GLuint t;
            glGenTextures(1, &t);
            textures.push_back(t);
            glActiveTexture(GL_TEXTURE0 + stage);
            glBindTexture(GL_TEXTURE_2D, t);
            glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, static_cast<GLsizei>(texels.size()), 1, 0, GL_BGRA,
                         GL_UNSIGNED_INT_8_8_8_8_REV, texels.data());
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
        }
    }
    glClearColor(kSentinel, kSentinel, kSentinel, kSentinel);
    glClearDepth(0.25);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_ALWAYS);
    glDepthMask(GL_TRUE);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glDrawArrays(GL_TRIANGLES, 0, 3);
    glReadPixels(0, 0, 1, 1, GL_RGBA, GL_FLOAT, r.value.data());
    glReadPixels(0, 0, 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, &r.depth);
    r.drawn = !(r.value[0] == kSentinel && r.value[1] == kSentinel && r.value[2] == kSentinel &&
                r.value[3] == kSentinel);
    if (!textures.empty()) glDeleteTextures(static_cast<GLsizei>(textures.size()), textures.data());
    glActiveTexture(GL_TEXTURE0);
    glUseProgram(0);
    return r;
}

}  // namespace

bool GlAvailable(std::string* why) {
    if (why) *why = Ctx().why;
    return Ctx().ok;
}

bool GlCompiles(const shader::TranslatedShader& stage, std::string* log) {
    if (!Ctx().ok) return false;
    GLuint p = stage.pixel ? Link(kPixelVertex, PixelProgram(stage), log)
                           : Link(VertexProgram(stage, "sg_oPos"), kValueFragment, log);
    if (p) glDeleteProgram(p);
    return p != 0;
}

GlResult RunVertexStage(const shader::TranslatedShader& stage, const GlInputs& in, const std::string& output) {
    if (!Ctx().ok) return {};
    std::string log;
    GLuint p = Link(VertexProgram(stage, output), kValueFragment, &log);
    if (!p) {
        fprintf(stderr, "vertex program failed:\n%s\n", log.c_str());
        return {};
    }
    GlResult r = Draw(p, in, false);
    glDeleteProgram(p);
    return r;
}

GlResult RunPixelStage(const shader::TranslatedShader& stage, const GlInputs& in) {
    if (!Ctx().ok) return {};
    std::string log;
    GLuint p = Link(kPixelVertex, PixelProgram(stage), &log);
    if (!p) {
        fprintf(stderr, "pixel program failed:\n%s\n", log.c_str());
        return {};
    }
    GlResult r = Draw(p, in, true);
    glDeleteProgram(p);
    return r;
}

}  // namespace shadertest
