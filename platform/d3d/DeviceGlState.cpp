// GL state: the fixed state, samplers, uniforms and vertex attributes brought up to date before a draw,
// each only where it changed since the last one.
#include <cmath>
#include <cstring>

#include "platform/d3d/DeviceImpl.h"

namespace d3dimpl {

namespace {

GLenum BlendFactor(DWORD v) {
    static const GLenum kTable[] = {GL_ONE,       GL_ZERO,          GL_ONE,
                                    GL_SRC_COLOR, GL_ONE_MINUS_SRC_COLOR, GL_SRC_ALPHA,
                                    GL_ONE_MINUS_SRC_ALPHA, GL_DST_ALPHA, GL_ONE_MINUS_DST_ALPHA,
                                    GL_DST_COLOR, GL_ONE_MINUS_DST_COLOR, GL_SRC_ALPHA_SATURATE};
    return v < sizeof kTable / sizeof kTable[0] ? kTable[v] : GL_ONE;
}

GLenum CompareFunc(DWORD v) {
    static const GLenum kTable[] = {GL_ALWAYS, GL_NEVER,   GL_LESS,     GL_EQUAL, GL_LEQUAL,
                                    GL_GREATER, GL_NOTEQUAL, GL_GEQUAL, GL_ALWAYS};
    return v < 9 ? kTable[v] : GL_ALWAYS;
}

GLenum StencilOp(DWORD v) {
    static const GLenum kTable[] = {GL_KEEP, GL_KEEP, GL_ZERO,      GL_REPLACE,  GL_INCR,
                                    GL_DECR, GL_INVERT, GL_INCR_WRAP, GL_DECR_WRAP};
    return v < 9 ? kTable[v] : GL_KEEP;
}

GLenum BlendOp(DWORD v) {
    static const GLenum kTable[] = {GL_FUNC_ADD, GL_FUNC_ADD, GL_FUNC_SUBTRACT, GL_FUNC_REVERSE_SUBTRACT, GL_MIN,
                                    GL_MAX};
    return v < 6 ? kTable[v] : GL_FUNC_ADD;
}


float AsFloat(DWORD d) {
    float f;
    std::memcpy(&f, &d, 4);
    return f;
}

void ColourToFloats(D3DCOLOR c, float* out) {
    out[0] = static_cast<float>((c >> 16) & 255) / 255.0f;
    out[1] = static_cast<float>((c >> 8) & 255) / 255.0f;
    out[2] = static_cast<float>(c & 255) / 255.0f;
    out[3] = static_cast<float>(c >> 24) / 255.0f;
}

D3DMATRIX Multiply(const D3DMATRIX& a, const D3DMATRIX& b) {
    D3DMATRIX r;
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            r.m[i][j] = a.m[i][0] * b.m[0][j] + a.m[i][1] * b.m[1][j] + a.m[i][2] * b.m[2][j] + a.m[i][3] * b.m[3][j];
        }
    }
    return r;
}

// General 4x4 inverse (cofactors); false when singular.
bool Inverse(const D3DMATRIX& a, D3DMATRIX* out) {
    const float* m = &a.m[0][0];
    float inv[16];
    inv[0] = m[5] * m[10] * m[15] - m[5] * m[11] * m[14] - m[9] * m[6] * m[15] + m[9] * m[7] * m[14] +
             m[13] * m[6] * m[11] - m[13] * m[7] * m[10];
    inv[4] = -m[4] * m[10] * m[15] + m[4] * m[11] * m[14] + m[8] * m[6] * m[15] - m[8] * m[7] * m[14] -
             m[12] * m[6] * m[11] + m[12] * m[7] * m[10];
    inv[8] = m[4] * m[9] * m[15] - m[4] * m[11] * m[13] - m[8] * m[5] * m[15] + m[8] * m[7] * m[13] +
             m[12] * m[5] * m[11] - m[12] * m[7] * m[9];
    inv[12] = -m[4] * m[9] * m[14] + m[4] * m[10] * m[13] + m[8] * m[5] * m[14] - m[8] * m[6] * m[13] -
              m[12] * m[5] * m[10] + m[12] * m[6] * m[9];
    inv[1] = -m[1] * m[10] * m[15] + m[1] * m[11] * m[14] + m[9] * m[2] * m[15] - m[9] * m[3] * m[14] -
             m[13] * m[2] * m[11] + m[13] * m[3] * m[10];
    inv[5] = m[0] * m[10] * m[15] - m[0] * m[11] * m[14] - m[8] * m[2] * m[15] + m[8] * m[3] * m[14] +
             m[12] * m[2] * m[11] - m[12] * m[3] * m[10];
    inv[9] = -m[0] * m[9] * m[15] + m[0] * m[11] * m[13] + m[8] * m[1] * m[15] - m[8] * m[3] * m[13] -
             m[12] * m[1] * m[11] + m[12] * m[3] * m[9];
    inv[13] = m[0] * m[9] * m[14] - m[0] * m[10] * m[13] - m[8] * m[1] * m[14] + m[8] * m[2] * m[13] +
              m[12] * m[1] * m[10] - m[12] * m[2] * m[9];
    inv[2] = m[1] * m[6] * m[15] - m[1] * m[7] * m[14] - m[5] * m[2] * m[15] + m[5] * m[3] * m[14] +
             m[13] * m[2] * m[7] - m[13] * m[3] * m[6];
    inv[6] = -m[0] * m[6] * m[15] + m[0] * m[7] * m[14] + m[4] * m[2] * m[15] - m[4] * m[3] * m[14] -
             m[12] * m[2] * m[7] + m[12] * m[3] * m[6];
    inv[10] = m[0] * m[5] * m[15] - m[0] * m[7] * m[13] - m[4] * m[1] * m[15] + m[4] * m[3] * m[13] +
              m[12] * m[1] * m[7] - m[12] * m[3] * m[5];
    inv[14] = -m[0] * m[5] * m[14] + m[0] * m[6] * m[13] + m[4] * m[1] * m[14] - m[4] * m[2] * m[13] -
              m[12] * m[1] * m[6] + m[12] * m[2] * m[5];
    inv[3] = -m[1] * m[6] * m[11] + m[1] * m[7] * m[10] + m[5] * m[2] * m[11] - m[5] * m[3] * m[10] -
             m[9] * m[2] * m[7] + m[9] * m[3] * m[6];
    inv[7] = m[0] * m[6] * m[11] - m[0] * m[7] * m[10] - m[4] * m[2] * m[11] + m[4] * m[3] * m[10] +
             m[8] * m[2] * m[7] - m[8] * m[3] * m[6];
    inv[11] = -m[0] * m[5] * m[11] + m[0] * m[7] * m[9] + m[4] * m[1] * m[11] - m[4] * m[3] * m[9] -
              m[8] * m[1] * m[7] + m[8] * m[3] * m[5];
    inv[15] = m[0] * m[5] * m[10] - m[0] * m[6] * m[9] - m[4] * m[1] * m[10] + m[4] * m[2] * m[9] +
              m[8] * m[1] * m[6] - m[8] * m[2] * m[5];
    float det = m[0] * inv[0] + m[1] * inv[4] + m[2] * inv[8] + m[3] * inv[12];
    if (det == 0.0f || !std::isfinite(det)) return false;
    for (int i = 0; i < 16; ++i) (&out->m[0][0])[i] = inv[i] / det;
    return true;
}

// Inverse transpose of the upper 3x3 (for normals), stored in a 4x4 with the rest identity.
D3DMATRIX NormalMatrix(const D3DMATRIX& a) {
    D3DMATRIX r{};
    const float(*m)[4] = a.m;
    float c00 = m[1][1] * m[2][2] - m[1][2] * m[2][1], c01 = m[1][2] * m[2][0] - m[1][0] * m[2][2],
          c02 = m[1][0] * m[2][1] - m[1][1] * m[2][0];
    float c10 = m[0][2] * m[2][1] - m[0][1] * m[2][2], c11 = m[0][0] * m[2][2] - m[0][2] * m[2][0],
          c12 = m[0][1] * m[2][0] - m[0][0] * m[2][1];
    float c20 = m[0][1] * m[1][2] - m[0][2] * m[1][1], c21 = m[0][2] * m[1][0] - m[0][0] * m[1][2],
          c22 = m[0][0] * m[1][1] - m[0][1] * m[1][0];
    float det = m[0][0] * c00 + m[0][1] * c01 + m[0][2] * c02;
    float s = det != 0.0f ? 1.0f / det : 0.0f;
    // The cofactor matrix divided by the determinant is the inverse transpose.
    r.m[0][0] = c00 * s, r.m[0][1] = c01 * s, r.m[0][2] = c02 * s;
    r.m[1][0] = c10 * s, r.m[1][1] = c11 * s, r.m[1][2] = c12 * s;
    r.m[2][0] = c20 * s, r.m[2][1] = c21 * s, r.m[2][2] = c22 * s;
    r.m[3][3] = 1.0f;
    return r;
}

}  // namespace

void Device::ApplyGlState() {
    // Every draw comes through here: from now on the back buffer is no longer the presented picture.
    BackBufferChanging();
    const DWORD* rs = state.renderStates;
    GlShadow& g = gl;
    bool all = g.valid == 0;
    g.valid = 1;

    bool blend = rs[D3DRS_ALPHABLENDENABLE] != 0;
    if (all || blend != g.blend) {
        blend ? glEnable(GL_BLEND) : glDisable(GL_BLEND);
        g.blend = blend;
    }
    if (blend) {
        GLenum src = BlendFactor(rs[D3DRS_SRCBLEND]), dst = BlendFactor(rs[D3DRS_DESTBLEND]);
        if (rs[D3DRS_SRCBLEND] == D3DBLEND_BOTHSRCALPHA) src = GL_SRC_ALPHA, dst = GL_ONE_MINUS_SRC_ALPHA;
        if (rs[D3DRS_SRCBLEND] == D3DBLEND_BOTHINVSRCALPHA) src = GL_ONE_MINUS_SRC_ALPHA, dst = GL_SRC_ALPHA;
        if (all || src != g.blendSrc || dst != g.blendDst) {
            glBlendFunc(src, dst);
            g.blendSrc = src, g.blendDst = dst;
        }
        GLenum op = BlendOp(rs[D3DRS_BLENDOP]);
        if (all || op != g.blendOp) {
            glBlendEquation(op);
            g.blendOp = op;
        }
    }
    bool depth = depthFormat && rs[D3DRS_ZENABLE] != D3DZB_FALSE;
    if (all || depth != g.depthTest) {
        depth ? glEnable(GL_DEPTH_TEST) : glDisable(GL_DEPTH_TEST);
        g.depthTest = depth;
    }
    GLenum depthFunc = CompareFunc(rs[D3DRS_ZFUNC]);
    if (all || depthFunc != g.depthFunc) {
        glDepthFunc(depthFunc);
        g.depthFunc = depthFunc;
    }
    GLboolean depthMask = rs[D3DRS_ZWRITEENABLE] ? GL_TRUE : GL_FALSE;
    if (all || depthMask != g.depthMask) {
        glDepthMask(depthMask);
        g.depthMask = depthMask;
    }
    bool stencil = depthFormat && depthFormat->stencilBits && rs[D3DRS_STENCILENABLE];
    if (all || stencil != g.stencilTest) {
        stencil ? glEnable(GL_STENCIL_TEST) : glDisable(GL_STENCIL_TEST);
        g.stencilTest = stencil;
    }
    if (stencil) {
        GLenum func = CompareFunc(rs[D3DRS_STENCILFUNC]);
        GLint ref = static_cast<GLint>(rs[D3DRS_STENCILREF] & 0xFF);
        GLuint mask = rs[D3DRS_STENCILMASK];
        if (all || func != g.stencilFunc || ref != g.stencilRef || mask != g.stencilMask) {
            glStencilFunc(func, ref, mask);
            g.stencilFunc = func, g.stencilRef = ref, g.stencilMask = mask;
        }
        GLenum f = StencilOp(rs[D3DRS_STENCILFAIL]), zf = StencilOp(rs[D3DRS_STENCILZFAIL]),
               p = StencilOp(rs[D3DRS_STENCILPASS]);
        if (all || f != g.stencilFail || zf != g.stencilZFail || p != g.stencilPass) {
            glStencilOp(f, zf, p);
            g.stencilFail = f, g.stencilZFail = zf, g.stencilPass = p;
        }
        GLuint write = rs[D3DRS_STENCILWRITEMASK];
        if (all || write != g.stencilWriteMask) {
            glStencilMask(write);
            g.stencilWriteMask = write;
        }
    }
    // Both have an effect only on a multisampled back buffer; bit n of the mask is sample n.
    bool multisample = rs[D3DRS_MULTISAMPLEANTIALIAS] != 0;
    if (all || multisample != g.multisample) {
        multisample ? glEnable(GL_MULTISAMPLE) : glDisable(GL_MULTISAMPLE);
        g.multisample = multisample;
    }
    GLuint sampleMask = rs[D3DRS_MULTISAMPLEMASK];
    if (all || sampleMask != g.sampleMask) {
        sampleMask == 0xFFFFFFFFu ? glDisable(GL_SAMPLE_MASK) : glEnable(GL_SAMPLE_MASK);
        glSampleMaski(0, sampleMask);
        g.sampleMask = sampleMask;
    }
    // Rows are stored top row first, which mirrors the picture vertically in GL's window space: a triangle
    // the platform sees counter-clockwise is clockwise to GL. GL_CCW stays the front face.
    DWORD cullMode = rs[D3DRS_CULLMODE];
    bool cull = cullMode == D3DCULL_CW || cullMode == D3DCULL_CCW;
    if (all || cull != g.cull) {
        cull ? glEnable(GL_CULL_FACE) : glDisable(GL_CULL_FACE);
        g.cull = cull;
    }
    if (cull) {
        GLenum face = cullMode == D3DCULL_CCW ? GL_BACK : GL_FRONT;
        if (all || face != g.cullFace) {
            glCullFace(face);
            g.cullFace = face;
        }
    }
    DWORD write = rs[D3DRS_COLORWRITEENABLE];
    bool alphaFormat = FindFormat(pp.BackBufferFormat)->hasAlpha;
    GLboolean cm[4] = {static_cast<GLboolean>((write & 1) != 0), static_cast<GLboolean>((write & 2) != 0),
                       static_cast<GLboolean>((write & 4) != 0),
                       static_cast<GLboolean>(alphaFormat && (write & 8) != 0)};
    if (all || std::memcmp(cm, g.colourMask, sizeof cm) != 0) {
        glColorMask(cm[0], cm[1], cm[2], cm[3]);
        std::memcpy(g.colourMask, cm, sizeof cm);
    }
    DWORD bias = rs[D3DRS_ZBIAS] > 16 ? 16 : rs[D3DRS_ZBIAS];
    bool offset = bias != 0;
    if (all || offset != g.polygonOffset) {
        if (offset) {
            glEnable(GL_POLYGON_OFFSET_FILL);
            glEnable(GL_POLYGON_OFFSET_LINE);
            glEnable(GL_POLYGON_OFFSET_POINT);
        } else {
            glDisable(GL_POLYGON_OFFSET_FILL);
            glDisable(GL_POLYGON_OFFSET_LINE);
            glDisable(GL_POLYGON_OFFSET_POINT);
        }
        g.polygonOffset = offset;
    }
    if (offset && (all || g.offsetUnits != -static_cast<float>(bias))) {
        // Higher ZBIAS values pull polygons towards the viewer.
        glPolygonOffset(0.0f, -static_cast<float>(bias));
        g.offsetUnits = -static_cast<float>(bias);
    }
    const D3DVIEWPORT8& vp = state.viewport;
    GLint viewport[4] = {static_cast<GLint>(vp.X), static_cast<GLint>(vp.Y), static_cast<GLint>(vp.Width),
                         static_cast<GLint>(vp.Height)};
    if (all || std::memcmp(viewport, g.viewport, sizeof viewport) != 0) {
        glViewport(viewport[0], viewport[1], viewport[2], viewport[3]);
        std::memcpy(g.viewport, viewport, sizeof viewport);
    }
    if (all || g.depthRange[0] != vp.MinZ || g.depthRange[1] != vp.MaxZ) {
        glDepthRange(vp.MinZ, vp.MaxZ);
        g.depthRange[0] = vp.MinZ, g.depthRange[1] = vp.MaxZ;
    }
    if (all) {
        glDisable(GL_SCISSOR_TEST);
        for (UINT i = 0; i < kMaxClipPlanes; ++i) glDisable(GL_CLIP_DISTANCE0 + i);
        clipPlanesEnabled = 0;
    }
}

void Device::ApplySamplers(UINT stageMask) {
    for (UINT s = 0; s < kMaxStages; ++s) {
        Texture* texture = state.textures[s];
        if (!(stageMask & (1u << s)) || !texture) continue;
        // Upload binds the texture on the active unit, so select the stage's unit first.
        glActiveTexture(GL_TEXTURE0 + s);
        GLuint name = texture->Upload();
        glBindTexture(GL_TEXTURE_2D, name);
        // MAXMIPLEVEL is the most detailed level the stage may use (with or without a mip filter).
        texture->UseMostDetailedLevel(state.stageStates[s][D3DTSS_MAXMIPLEVEL]);
        if (!samplersDirty[s]) continue;
        samplersDirty[s] = false;
        const DWORD* t = state.stageStates[s];
        GLuint sampler = samplers[s];
        auto wrap = [&](DWORD mode) -> GLint {
            switch (mode) {
            case D3DTADDRESS_MIRROR: return GL_MIRRORED_REPEAT;
            case D3DTADDRESS_CLAMP: return GL_CLAMP_TO_EDGE;
            case D3DTADDRESS_BORDER: return GL_CLAMP_TO_BORDER;
            case D3DTADDRESS_MIRRORONCE: return egl->mirrorClampToEdge ? 0x8743 : GL_CLAMP_TO_EDGE;
            default: return GL_REPEAT;
            }
        };
        glSamplerParameteri(sampler, GL_TEXTURE_WRAP_S, wrap(t[D3DTSS_ADDRESSU]));
        glSamplerParameteri(sampler, GL_TEXTURE_WRAP_T, wrap(t[D3DTSS_ADDRESSV]));
        glSamplerParameteri(sampler, GL_TEXTURE_WRAP_R, wrap(t[D3DTSS_ADDRESSW]));
        float border[4];
        ColourToFloats(t[D3DTSS_BORDERCOLOR], border);
        glSamplerParameterfv(sampler, GL_TEXTURE_BORDER_COLOR, border);
        DWORD mag = t[D3DTSS_MAGFILTER], min = t[D3DTSS_MINFILTER], mip = t[D3DTSS_MIPFILTER];
        glSamplerParameteri(sampler, GL_TEXTURE_MAG_FILTER, mag == D3DTEXF_POINT || mag == D3DTEXF_NONE ? GL_NEAREST
                                                                                                        : GL_LINEAR);
        bool minLinear = !(min == D3DTEXF_POINT || min == D3DTEXF_NONE);
        GLint minFilter;
        if (mip == D3DTEXF_POINT) {
            minFilter = minLinear ? GL_LINEAR_MIPMAP_NEAREST : GL_NEAREST_MIPMAP_NEAREST;
        } else if (mip >= D3DTEXF_LINEAR) {
            minFilter = minLinear ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_LINEAR;
        } else {
            minFilter = minLinear ? GL_LINEAR : GL_NEAREST;
        }
        glSamplerParameteri(sampler, GL_TEXTURE_MIN_FILTER, minFilter);
        glSamplerParameterf(sampler, GL_TEXTURE_LOD_BIAS, AsFloat(t[D3DTSS_MIPMAPLODBIAS]));
        if (egl->maxAnisotropy > 1.0f) {
            float a = 1.0f;
            if (min == D3DTEXF_ANISOTROPIC || mag == D3DTEXF_ANISOTROPIC) {
                a = static_cast<float>(t[D3DTSS_MAXANISOTROPY]);
                a = a < 1.0f ? 1.0f : (a > egl->maxAnisotropy ? egl->maxAnisotropy : a);
            }
            glSamplerParameterf(sampler, 0x84FE /* GL_TEXTURE_MAX_ANISOTROPY */, a);
        }
    }
}

void Device::UploadUniforms(FixedProgram& p, const ProgramKey& key) {
    const GLint* loc = p.location;
    if (p.transformVersion != transformVersion) {
        p.transformVersion = transformVersion;
        const D3DMATRIX& view = state.transforms[kTransformView];
        D3DMATRIX wv[4], nm[4];
        UINT n = key.blendMatrices ? key.blendMatrices : 1;
        for (UINT i = 0; i < n; ++i) {
            wv[i] = Multiply(state.transforms[kTransformWorld0 + i], view);
            nm[i] = NormalMatrix(wv[i]);
        }
        if (loc[kUWorldView] >= 0) glUniformMatrix4fv(loc[kUWorldView], static_cast<GLsizei>(n), GL_FALSE, &wv[0].m[0][0]);
        if (loc[kUNormalMatrix] >= 0)
            glUniformMatrix4fv(loc[kUNormalMatrix], static_cast<GLsizei>(n), GL_FALSE, &nm[0].m[0][0]);
        if (loc[kUProjection] >= 0)
            glUniformMatrix4fv(loc[kUProjection], 1, GL_FALSE, &state.transforms[kTransformProjection].m[0][0]);
    }
    if (p.textureMatrixVersion != textureMatrixVersion) {
        p.textureMatrixVersion = textureMatrixVersion;
        if (loc[kUTextureMatrix] >= 0)
            glUniformMatrix4fv(loc[kUTextureMatrix], 8, GL_FALSE, &state.transforms[kTransformTexture0].m[0][0]);
    }
    if (p.materialVersion != materialVersion) {
        p.materialVersion = materialVersion;
        const D3DMATERIAL8& m = state.material;
        if (loc[kUMaterialDiffuse] >= 0) glUniform4fv(loc[kUMaterialDiffuse], 1, &m.Diffuse.r);
        if (loc[kUMaterialAmbient] >= 0) glUniform4fv(loc[kUMaterialAmbient], 1, &m.Ambient.r);
        if (loc[kUMaterialSpecular] >= 0) glUniform4fv(loc[kUMaterialSpecular], 1, &m.Specular.r);
        if (loc[kUMaterialEmissive] >= 0) glUniform4fv(loc[kUMaterialEmissive], 1, &m.Emissive.r);
        if (loc[kUMaterialPower] >= 0) glUniform1f(loc[kUMaterialPower], m.Power);
    }
    if (p.lightVersion != lightVersion) {
        p.lightVersion = lightVersion;
        float pos[8][4] = {}, dir[8][4] = {}, dif[8][4] = {}, spe[8][4] = {}, amb[8][4] = {}, att[8][4] = {},
              spot[8][4] = {};
        const D3DMATRIX& v = state.transforms[kTransformView];
        UINT n = 0;
        for (const auto& [index, slot] : state.lights) {
            if (!slot.enabled || n >= kMaxActiveLights) continue;
            const D3DLIGHT8& l = slot.light;
            const D3DVECTOR& P = l.Position;
            for (int c = 0; c < 3; ++c) pos[n][c] = P.x * v.m[0][c] + P.y * v.m[1][c] + P.z * v.m[2][c] + v.m[3][c];
            const D3DVECTOR& D = l.Direction;
            float d[3];
            for (int c = 0; c < 3; ++c) d[c] = D.x * v.m[0][c] + D.y * v.m[1][c] + D.z * v.m[2][c];
            float len = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
            for (int c = 0; c < 3; ++c) dir[n][c] = len > 0.0f ? d[c] / len : 0.0f;
            std::memcpy(dif[n], &l.Diffuse, 16);
            std::memcpy(spe[n], &l.Specular, 16);
            std::memcpy(amb[n], &l.Ambient, 16);
            att[n][0] = l.Attenuation0, att[n][1] = l.Attenuation1, att[n][2] = l.Attenuation2, att[n][3] = l.Range;
            spot[n][0] = std::cos(l.Theta * 0.5f), spot[n][1] = std::cos(l.Phi * 0.5f), spot[n][2] = l.Falloff;
            ++n;
        }
        if (loc[kULightPosition] >= 0) glUniform4fv(loc[kULightPosition], 8, &pos[0][0]);
        if (loc[kULightDirection] >= 0) glUniform4fv(loc[kULightDirection], 8, &dir[0][0]);
        if (loc[kULightDiffuse] >= 0) glUniform4fv(loc[kULightDiffuse], 8, &dif[0][0]);
        if (loc[kULightSpecular] >= 0) glUniform4fv(loc[kULightSpecular], 8, &spe[0][0]);
        if (loc[kULightAmbient] >= 0) glUniform4fv(loc[kULightAmbient], 8, &amb[0][0]);
        if (loc[kULightAttenuation] >= 0) glUniform4fv(loc[kULightAttenuation], 8, &att[0][0]);
        if (loc[kULightSpot] >= 0) glUniform4fv(loc[kULightSpot], 8, &spot[0][0]);
        float ambient[4];
        ColourToFloats(state.renderStates[D3DRS_AMBIENT], ambient);
        if (loc[kUGlobalAmbient] >= 0) glUniform4fv(loc[kUGlobalAmbient], 1, ambient);
    }
    if (p.miscVersion != miscVersion) {
        p.miscVersion = miscVersion;
        const DWORD* rs = state.renderStates;
        const D3DVIEWPORT8& vp = state.viewport;
        float w = static_cast<float>(vp.Width), h = static_cast<float>(vp.Height);
        if (loc[kUViewport] >= 0) glUniform4f(loc[kUViewport], static_cast<float>(vp.X), static_cast<float>(vp.Y), w, h);
        if (loc[kUPositionFix] >= 0) glUniform4f(loc[kUPositionFix], 1.0f / w, 1.0f / h, 0.0f, 0.0f);
        float start = AsFloat(rs[D3DRS_FOGSTART]), end = AsFloat(rs[D3DRS_FOGEND]);
        float range = end - start;
        if (loc[kUFogParams] >= 0)
            glUniform4f(loc[kUFogParams], start, end, AsFloat(rs[D3DRS_FOGDENSITY]), range != 0.0f ? 1.0f / range : 0.0f);
        float maxSize = AsFloat(rs[D3DRS_POINTSIZE_MAX]);
        maxSize = maxSize > caps.MaxPointSize ? caps.MaxPointSize : maxSize;
        if (loc[kUPointParams] >= 0)
            glUniform4f(loc[kUPointParams], AsFloat(rs[D3DRS_POINTSIZE]), AsFloat(rs[D3DRS_POINTSIZE_MIN]), maxSize, h);
        if (loc[kUPointScale] >= 0)
            glUniform4f(loc[kUPointScale], AsFloat(rs[D3DRS_POINTSCALE_A]), AsFloat(rs[D3DRS_POINTSCALE_B]),
                        AsFloat(rs[D3DRS_POINTSCALE_C]), 0.0f);
        float colour[4];
        ColourToFloats(rs[D3DRS_TEXTUREFACTOR], colour);
        if (loc[kUTextureFactor] >= 0) glUniform4fv(loc[kUTextureFactor], 1, colour);
        ColourToFloats(rs[D3DRS_FOGCOLOR], colour);
        if (loc[kUFogColour] >= 0) glUniform4fv(loc[kUFogColour], 1, colour);
        if (loc[kUAlphaRef] >= 0) glUniform1f(loc[kUAlphaRef], static_cast<float>(rs[D3DRS_ALPHAREF] & 0xFF));
        if (key.clipPlanes && loc[kUClipPlane] >= 0 && key.vertexShaderId) {
            // With a vertex shader the planes are already in clip space.
            glUniform4fv(loc[kUClipPlane], kMaxClipPlanes, &state.clipPlanes[0][0]);
        } else if (key.clipPlanes && loc[kUClipPlane] >= 0) {
            // Planes are given in world space; the program tests them in clip space.
            D3DMATRIX vpm = Multiply(state.transforms[kTransformView], state.transforms[kTransformProjection]);
            D3DMATRIX inv;
            float planes[kMaxClipPlanes][4] = {};
            if (Inverse(vpm, &inv)) {
                for (UINT i = 0; i < kMaxClipPlanes; ++i) {
                    const float* pl = state.clipPlanes[i];
                    for (int r = 0; r < 4; ++r)
                        planes[i][r] = inv.m[r][0] * pl[0] + inv.m[r][1] * pl[1] + inv.m[r][2] * pl[2] + inv.m[r][3] * pl[3];
                }
            }
            glUniform4fv(loc[kUClipPlane], kMaxClipPlanes, &planes[0][0]);
        }
    }
}

void Device::UploadShaderConstants(FixedProgram& p) {
    const GLint* loc = p.location;
    if (p.vsConstVersion != vsConstVersion) {
        p.vsConstVersion = vsConstVersion;
        if (loc[kUVSConst] >= 0) glUniform4fv(loc[kUVSConst], kVsConstCount, &state.vsConst[0][0]);
    }
    if (p.psConstVersion != psConstVersion) {
        p.psConstVersion = psConstVersion;
        if (loc[kUPSConst] >= 0) glUniform4fv(loc[kUPSConst], kPsConstCount, &state.psConst[0][0]);
    }
    if (p.bumpVersion != bumpVersion) {
        p.bumpVersion = bumpVersion;
        if (loc[kUBumpEnvMatrix] >= 0 || loc[kUBumpEnvLuminance] >= 0) {
            float matrix[kMaxStages][4], luminance[kMaxStages][2];
            for (UINT s = 0; s < kMaxStages; ++s) {
                const DWORD* t = state.stageStates[s];
                matrix[s][0] = AsFloat(t[D3DTSS_BUMPENVMAT00]);
                matrix[s][1] = AsFloat(t[D3DTSS_BUMPENVMAT01]);
                matrix[s][2] = AsFloat(t[D3DTSS_BUMPENVMAT10]);
                matrix[s][3] = AsFloat(t[D3DTSS_BUMPENVMAT11]);
                luminance[s][0] = AsFloat(t[D3DTSS_BUMPENVLSCALE]);
                luminance[s][1] = AsFloat(t[D3DTSS_BUMPENVLOFFSET]);
            }
            if (loc[kUBumpEnvMatrix] >= 0) glUniform4fv(loc[kUBumpEnvMatrix], kMaxStages, &matrix[0][0]);
            if (loc[kUBumpEnvLuminance] >= 0) glUniform2fv(loc[kUBumpEnvLuminance], kMaxStages, &luminance[0][0]);
        }
    }
}

void Device::BufferDeleted(GLuint name) {
    for (BoundAttrib& b : boundAttribs) {
        if (b.buffer == name) b.buffer = 0, b.type = 0xFF;
    }
    if (boundElementBuffer == name) boundElementBuffer = 0;
}

void Device::BindVertexLayout(const VertexLayout& layout, const GLuint* buffers, const UINT* strides,
                              const UINT* offsets) {
    bool used[16] = {};
    for (UINT i = 0; i < layout.count; ++i) {
        const DeclElement& e = layout.elements[i];
        if (e.reg >= 16) continue;
        used[e.reg] = true;
        BoundAttrib& b = boundAttribs[e.reg];
        GLuint buffer = buffers[e.stream];
        UINT stride = strides[e.stream], offset = offsets[e.stream] + e.offset;
        if (!b.enabled) {
            glEnableVertexAttribArray(e.reg);
            b.enabled = true;
        }
        if (b.buffer != buffer || b.stride != stride || b.offset != offset || b.type != e.type) {
            const ElementFormat& f = kElementFormats[e.type];
            glBindBuffer(GL_ARRAY_BUFFER, buffer);
            glVertexAttribPointer(e.reg, f.size, f.type, f.normalised, static_cast<GLsizei>(stride),
                                  reinterpret_cast<const void*>(static_cast<uintptr_t>(offset)));
            b.buffer = buffer, b.stride = stride, b.offset = offset, b.type = e.type;
        }
    }
    for (GLuint r = 0; r < 16; ++r) {
        if (!used[r] && boundAttribs[r].enabled) {
            glDisableVertexAttribArray(r);
            glVertexAttrib4f(r, 0.0f, 0.0f, 0.0f, 1.0f);
            boundAttribs[r].enabled = false;
        }
    }
}

}  // namespace d3dimpl
