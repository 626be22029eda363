// GLSL generation for the fixed-function pipeline and the program builder shared with translated shaders.
// Stages follow the agreed stage-function contract (sg_VertexStage / sg_PixelStage); main() is the device's.
#include "platform/d3d/FixedFunction.h"
#include "platform/win/TextFormat.h"

#include <cstdarg>
#include <cstdio>

// [SECTION] Index
// Vertex stage   transforms, blending, lighting, fog factor, texture coordinates, point size
// Pixel stage    texture-stage operations, specular add
// Builder        prologues, main functions, compile and link

namespace d3dimpl {
namespace {

using textformat::Format;

// Vertex input registers the fixed-function pipeline reads (the platform's D3DVSDE numbering).
constexpr int kRegPosition = 0, kRegBlendWeight = 1, kRegNormal = 3, kRegPointSize = 4, kRegDiffuse = 5,
              kRegSpecular = 6, kRegTexCoord0 = 7;

// [SECTION] Vertex stage

std::string MaterialColour(const ProgramKey& k, int which, const char* material) {
    switch (k.materialSource[which]) {
    case D3DMCS_COLOR1:
        return "vd";
    case D3DMCS_COLOR2:
        return "vs";
    default:
        return material;
    }
}

}  // namespace

std::string FixedVertexStage(const ProgramKey& k) {
    std::string s;
    auto input = [&](int reg) { s += Format("layout(location = %d) in vec4 sg_v%d;\n", reg, reg); };
    input(kRegPosition);
    if (k.blendWeights) input(kRegBlendWeight);
    if (k.hasNormal) input(kRegNormal);
    if (k.hasPointSize) input(kRegPointSize);
    if (k.hasDiffuse) input(kRegDiffuse);
    if (k.hasSpecular) input(kRegSpecular);
    bool setUsed[8] = {};
    for (int i = 0; i < k.texCoordCount; ++i) {
        if (k.texCoord[i].inputSize && k.texCoord[i].generate == 0) setUsed[k.texCoord[i].source] = true;
    }
    for (int i = 0; i < 8; ++i) {
        if (setUsed[i]) input(kRegTexCoord0 + i);
    }
    s += "uniform mat4 sg_WorldView[4];\nuniform mat4 sg_NormalMat[4];\nuniform mat4 sg_Proj;\n"
         "uniform mat4 sg_TexMat[8];\nuniform vec4 sg_Viewport;\n"
         "uniform vec4 sg_LightPos[8];\nuniform vec4 sg_LightDir[8];\nuniform vec4 sg_LightDiffuse[8];\n"
         "uniform vec4 sg_LightSpecular[8];\nuniform vec4 sg_LightAmbient[8];\nuniform vec4 sg_LightAtten[8];\n"
         "uniform vec4 sg_LightSpot[8];\nuniform vec4 sg_MatDiffuse;\nuniform vec4 sg_MatAmbient;\n"
         "uniform vec4 sg_MatSpecular;\nuniform vec4 sg_MatEmissive;\nuniform float sg_MatPower;\n"
         "uniform vec4 sg_GlobalAmbient;\nuniform vec4 sg_FogParams;\nuniform vec4 sg_Point;\n"
         "uniform vec4 sg_PointScale;\n";
    s += "void sg_VertexStage() {\n";
    s += k.hasDiffuse ? "    vec4 vd = sg_v5;\n" : "    vec4 vd = vec4(1.0);\n";
    s += k.hasSpecular ? "    vec4 vs = sg_v6;\n" : "    vec4 vs = vec4(0.0);\n";
    s += "    vec3 P = vec3(0.0);\n    vec3 N = vec3(0.0);\n";
    if (k.pretransformed) {
        // Screen-space input: undo the viewport so that the device main maps it back exactly; 1/rhw
        // becomes w so that interpolation stays perspective-correct.
        s += "    float w = sg_v0.w != 0.0 ? 1.0 / sg_v0.w : 1.0;\n"
             "    vec2 ndc = vec2((sg_v0.x - sg_Viewport.x) * 2.0 / sg_Viewport.z - 1.0,\n"
             "                    1.0 - (sg_v0.y - sg_Viewport.y) * 2.0 / sg_Viewport.w);\n"
             "    sg_oPos = vec4(ndc * w, sg_v0.z * w, w);\n"
             "    P = vec3(0.0, 0.0, w);\n"
             "    sg_oD0 = vd;\n    sg_oD1 = vs;\n";
        s += k.hasSpecular ? "    sg_oFog = vs.a;\n" : "    sg_oFog = 1.0;\n";
    } else {
        s += "    vec4 pos = vec4(sg_v0.xyz, 1.0);\n";
        s += k.hasNormal ? "    vec3 n = sg_v3.xyz;\n" : "    vec3 n = vec3(0.0);\n";
        int matrices = k.blendMatrices < 2 ? 1 : k.blendMatrices;
        if (matrices == 1) {
            s += "    P = (sg_WorldView[0] * pos).xyz;\n    N = mat3(sg_NormalMat[0]) * n;\n";
        } else {
            s += "    float last = 1.0;\n";
            for (int i = 0; i < matrices; ++i) {
                if (i < matrices - 1) {
                    s += Format("    float w%d = sg_v1[%d];\n    last -= w%d;\n", i, i, i);
                } else {
                    s += Format("    float w%d = last;\n", i);
                }
                s += Format("    P += w%d * (sg_WorldView[%d] * pos).xyz;\n    N += w%d * (mat3(sg_NormalMat[%d]) * n);\n",
                            i, i, i, i);
            }
        }
        if (k.normalizeNormals) s += "    if (dot(N, N) > 0.0) N = normalize(N);\n";
        s += "    sg_oPos = sg_Proj * vec4(P, 1.0);\n";
        if (k.lighting) {
            s += "    vec4 mD = " + MaterialColour(k, 0, "sg_MatDiffuse") + ";\n";
            s += "    vec4 mS = " + MaterialColour(k, 1, "sg_MatSpecular") + ";\n";
            s += "    vec4 mA = " + MaterialColour(k, 2, "sg_MatAmbient") + ";\n";
            s += "    vec4 mE = " + MaterialColour(k, 3, "sg_MatEmissive") + ";\n";
            s += "    vec3 amb = sg_GlobalAmbient.rgb;\n    vec3 dif = vec3(0.0);\n    vec3 spe = vec3(0.0);\n";
            s += k.localViewer ? "    vec3 V = dot(P, P) > 0.0 ? normalize(-P) : vec3(0.0, 0.0, -1.0);\n"
                               : "    vec3 V = vec3(0.0, 0.0, -1.0);\n";
            for (int i = 0; i < k.lightCount; ++i) {
                s += "    {\n        vec3 L;\n        float att = 1.0;\n";
                if (k.lightType[i] == D3DLIGHT_DIRECTIONAL) {
                    s += Format("        L = -sg_LightDir[%d].xyz;\n", i);
                } else {
                    s += Format("        vec3 d = sg_LightPos[%d].xyz - P;\n", i);
                    s += "        float dist = length(d);\n        L = dist > 0.0 ? d / dist : vec3(0.0, 0.0, -1.0);\n";
                    s += Format("        vec4 at = sg_LightAtten[%d];\n", i);
                    s += "        att = dist <= at.w ? 1.0 / max(at.x + at.y * dist + at.z * dist * dist, 1e-8) : 0.0;\n";
                    if (k.lightType[i] == D3DLIGHT_SPOT) {
                        s += Format("        vec4 sp = sg_LightSpot[%d];\n", i);
                        s += Format("        float rho = dot(-L, sg_LightDir[%d].xyz);\n", i);
                        s += "        float spot = rho > sp.x ? 1.0 : (rho <= sp.y ? 0.0 :\n"
                             "            pow(clamp((rho - sp.y) / max(sp.x - sp.y, 1e-8), 0.0, 1.0), sp.z));\n"
                             "        att *= spot;\n";
                    }
                }
                s += Format("        amb += att * sg_LightAmbient[%d].rgb;\n", i);
                s += "        float NdotL = dot(N, L);\n        if (NdotL > 0.0) {\n";
                s += Format("            dif += att * NdotL * sg_LightDiffuse[%d].rgb;\n", i);
                if (k.specular) {
                    s += "            vec3 H = normalize(L + V);\n";
                    s += "            float NdotH = max(dot(N, H), 0.0);\n";
                    s += Format("            spe += att * (sg_MatPower > 0.0 ? pow(NdotH, sg_MatPower) : 1.0) * "
                                "sg_LightSpecular[%d].rgb;\n",
                                i);
                }
                s += "        }\n    }\n";
            }
            s += "    sg_oD0 = vec4(mE.rgb + mA.rgb * amb + mD.rgb * dif, mD.a);\n";
            s += k.specular ? "    sg_oD1 = vec4(mS.rgb * spe, mS.a);\n" : "    sg_oD1 = vec4(0.0);\n";
        } else {
            s += "    sg_oD0 = vd;\n    sg_oD1 = vs;\n";
        }
        // Fog factor per vertex, from the eye-space depth or distance.
        s += k.rangeFog ? "    float fogDepth = length(P);\n" : "    float fogDepth = abs(P.z);\n";
        switch (k.vertexFog) {
        case D3DFOG_LINEAR:
            s += "    sg_oFog = (sg_FogParams.y - fogDepth) * sg_FogParams.w;\n";
            break;
        case D3DFOG_EXP:
            s += "    sg_oFog = exp(-sg_FogParams.z * fogDepth);\n";
            break;
        case D3DFOG_EXP2:
            s += "    sg_oFog = exp(-(sg_FogParams.z * fogDepth) * (sg_FogParams.z * fogDepth));\n";
            break;
        case 4:
            s += k.hasSpecular ? "    sg_oFog = vs.a;\n" : "    sg_oFog = 1.0;\n";
            break;
        default:
            s += "    sg_oFog = 1.0;\n";
            break;
        }
    }
    // Texture coordinates, one per stage.
    for (int i = 0; i < k.texCoordCount; ++i) {
        const TexCoordKey& t = k.texCoord[i];
        std::string in;
        if (t.generate == 1 && !k.pretransformed) {
            in = "vec4(N, 1.0)";
        } else if (t.generate == 2 && !k.pretransformed) {
            in = "vec4(P, 1.0)";
        } else if (t.generate == 3 && !k.pretransformed) {
            s += Format("    vec3 E%d = %s;\n", i,
                        k.localViewer ? "dot(P, P) > 0.0 ? normalize(-P) : vec3(0.0, 0.0, -1.0)" : "vec3(0.0, 0.0, -1.0)");
            in = Format("vec4(2.0 * dot(E%d, N) * N - E%d, 1.0)", i, i);
        } else if (t.inputSize == 0 || t.generate) {
            in = "vec4(0.0, 0.0, 0.0, 1.0)";
        } else {
            std::string v = Format("sg_v%d", kRegTexCoord0 + t.source);
            // Inputs of a texture transform are extended so that the row after the last one translates.
            if (t.count) {
                switch (t.inputSize) {
                case 1: in = "vec4(" + v + ".x, 1.0, 0.0, 0.0)"; break;
                case 2: in = "vec4(" + v + ".xy, 1.0, 0.0)"; break;
                case 3: in = "vec4(" + v + ".xyz, 1.0)"; break;
                default: in = v; break;
                }
            } else {
                switch (t.inputSize) {
                case 1: in = "vec4(" + v + ".x, 0.0, 0.0, 1.0)"; break;
                case 2: in = "vec4(" + v + ".xy, 0.0, 1.0)"; break;
                case 3: in = "vec4(" + v + ".xyz, 1.0)"; break;
                default: in = v; break;
                }
            }
        }
        if (t.count) {
            s += Format("    sg_oT[%d] = sg_TexMat[%d] * %s;\n", i, i, in.c_str());
        } else {
            s += Format("    sg_oT[%d] = %s;\n", i, in.c_str());
        }
    }
    // Point size, with the distance scaling of the platform.
    s += k.hasPointSize ? "    float size = sg_v4.x;\n" : "    float size = sg_Point.x;\n";
    if (k.pointScale && !k.pretransformed) {
        s += "    float de = length(P);\n"
             "    size = sg_Point.w * size * sqrt(1.0 / max(sg_PointScale.x + sg_PointScale.y * de + "
             "sg_PointScale.z * de * de, 1e-8));\n";
    }
    s += "    sg_oPts = clamp(size, sg_Point.y, sg_Point.z);\n";
    s += "}\n";
    return s;
}

// [SECTION] Pixel stage

namespace {

std::string Argument(uint8_t arg, bool alpha, int stage) {
    std::string v;
    switch (arg & D3DTA_SELECTMASK) {
    case D3DTA_DIFFUSE: v = "sg_vD0"; break;
    case D3DTA_CURRENT: v = stage == 0 ? "sg_vD0" : "cur"; break;
    case D3DTA_TEXTURE: v = "tex"; break;
    case D3DTA_TFACTOR: v = "sg_TFactor"; break;
    case D3DTA_SPECULAR: v = "sg_vD1"; break;
    case D3DTA_TEMP: v = "tmp"; break;
    default: v = "vec4(0.0)"; break;
    }
    if (arg & D3DTA_ALPHAREPLICATE) v = "(" + v + ").aaaa";
    if (arg & D3DTA_COMPLEMENT) v = "(vec4(1.0) - " + v + ")";
    return "(" + v + ")" + (alpha ? ".a" : ".rgb");
}

// The result of one operation on arguments a0 (arg0), a1, a2, as a vec3 (colour) or float (alpha).
std::string Operation(uint8_t op, const std::string& a0, const std::string& a1, const std::string& a2, bool alpha,
                      int stage) {
    const char* one = alpha ? "1.0" : "vec3(1.0)";
    const char* half = alpha ? "0.5" : "vec3(0.5)";
    std::string current = stage == 0 ? "sg_vD0" : "cur";
    auto blend = [&](const std::string& f) { return "mix(" + a2 + ", " + a1 + ", " + f + ")"; };
    switch (op) {
    case D3DTOP_SELECTARG1: return a1;
    case D3DTOP_SELECTARG2: return a2;
    case D3DTOP_MODULATE: return a1 + " * " + a2;
    case D3DTOP_MODULATE2X: return "2.0 * " + a1 + " * " + a2;
    case D3DTOP_MODULATE4X: return "4.0 * " + a1 + " * " + a2;
    case D3DTOP_ADD: return a1 + " + " + a2;
    case D3DTOP_ADDSIGNED: return a1 + " + " + a2 + " - " + half;
    case D3DTOP_ADDSIGNED2X: return "2.0 * (" + a1 + " + " + a2 + " - " + half + ")";
    case D3DTOP_SUBTRACT: return a1 + " - " + a2;
    case D3DTOP_ADDSMOOTH: return a1 + " + " + a2 + " * (" + one + " - " + a1 + ")";
    case D3DTOP_BLENDDIFFUSEALPHA: return blend("sg_vD0.a");
    case D3DTOP_BLENDTEXTUREALPHA: return blend("tex.a");
    case D3DTOP_BLENDFACTORALPHA: return blend("sg_TFactor.a");
    case D3DTOP_BLENDTEXTUREALPHAPM: return a1 + " + " + a2 + " * (1.0 - tex.a)";
    case D3DTOP_BLENDCURRENTALPHA: return blend(current + ".a");
    case D3DTOP_MULTIPLYADD: return a0 + " + " + a1 + " * " + a2;
    case D3DTOP_LERP: return "mix(" + a2 + ", " + a1 + ", " + a0 + ")";
    default: break;
    }
    if (alpha) {
        // The colour-only operations act as SELECTARG1 on alpha.
        return a1;
    }
    // Colour-only operations use the alpha of arg1 (a1 is ".rgb"; its alpha is rebuilt from the same text).
    std::string a1a = a1.substr(0, a1.size() - 4) + ".a";
    switch (op) {
    case D3DTOP_MODULATEALPHA_ADDCOLOR: return a1 + " + " + a1a + " * " + a2;
    case D3DTOP_MODULATECOLOR_ADDALPHA: return a1 + " * " + a2 + " + " + a1a;
    case D3DTOP_MODULATEINVALPHA_ADDCOLOR: return "(1.0 - " + a1a + ") * " + a2 + " + " + a1;
    case D3DTOP_MODULATEINVCOLOR_ADDALPHA: return "(vec3(1.0) - " + a1 + ") * " + a2 + " + " + a1a;
    case D3DTOP_DOTPRODUCT3:
        return "vec3(clamp(dot(" + a1 + " - vec3(0.5), " + a2 + " - vec3(0.5)) * 4.0, 0.0, 1.0))";
    default: return a1;
    }
}

}  // namespace

std::string FixedPixelStage(const ProgramKey& k) {
    std::string s;
    s += "uniform vec4 sg_TFactor;\n";
    s += "vec4 sg_PixelStage() {\n    vec4 cur = sg_vD0;\n    vec4 tmp = vec4(0.0);\n    vec4 tex;\n";
    for (int i = 0; i < k.stageCount; ++i) {
        const StageKey& st = k.stages[i];
        if (st.textured) {
            std::string coord;
            if (k.pointSprite) {
                coord = "gl_PointCoord";
            } else if (st.projectDivide) {
                coord = Format("sg_vT[%d].xy / sg_vT[%d][%d]", i, i, st.projectDivide - 1);
            } else {
                coord = Format("sg_vT[%d].xy", i);
            }
            s += Format("    tex = texture(sg_Sampler%d, %s);\n", i, coord.c_str());
        } else {
            // A stage without a texture reads opaque white, so that default stage states pass colours on.
            s += "    tex = vec4(1.0);\n";
        }
        std::string c0 = Argument(st.colourArg[0], false, i), c1 = Argument(st.colourArg[1], false, i),
                    c2 = Argument(st.colourArg[2], false, i);
        std::string a0 = Argument(st.alphaArg[0], true, i), a1 = Argument(st.alphaArg[1], true, i),
                    a2 = Argument(st.alphaArg[2], true, i);
        std::string colour = Operation(st.colourOp, c0, c1, c2, false, i);
        std::string alpha;
        if (st.colourOp == D3DTOP_DOTPRODUCT3) {
            alpha = "r.r";  // the dot product goes to every channel
        } else if (st.alphaOp == D3DTOP_DISABLE) {
            alpha = i == 0 ? "sg_vD0.a" : "cur.a";
        } else {
            alpha = Operation(st.alphaOp, a0, a1, a2, true, i);
        }
        s += "    {\n        vec3 r = clamp(" + colour + ", 0.0, 1.0);\n";
        s += "        float ra = clamp(" + alpha + ", 0.0, 1.0);\n";
        s += std::string("        ") + (st.resultTemp ? "tmp" : "cur") + " = vec4(r, ra);\n    }\n";
    }
    if (k.specularAdd) s += "    cur.rgb = clamp(cur.rgb + sg_vD1.rgb, 0.0, 1.0);\n";
    s += "    return cur;\n}\n";
    return s;
}

// [SECTION] Builder

namespace {

GLuint Compile(GLenum type, const std::string& text, std::string* error) {
    GLuint shader = glCreateShader(type);
    const char* src = text.c_str();
    glShaderSource(shader, 1, &src, nullptr);
    glCompileShader(shader);
    GLint ok = 0;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (!ok) {
        char log[2048] = {};
        glGetShaderInfoLog(shader, sizeof log, nullptr, log);
        *error = std::string(type == GL_VERTEX_SHADER ? "vertex" : "fragment") + " program: " + log + "\n" + text;
        glDeleteShader(shader);
        return 0;
    }
    return shader;
}

// The geometry stage of wireframe and point fill with culling. It keeps a triangle as GL's culling
// would (by the sign of its area in window space) and passes the vertex outputs on. Edges arrive
// as (a, b, c, d): edge a-b of triangles (a, b, c) and (b, a, d), drawn when either is kept.
// Vertices arrive as whole triangles, each vertex a point. A triangle with a vertex behind the
// eye (w <= 0) is kept: its area in window space is not known before clipping.
std::string GeometryStage(const ProgramKey& key, const std::string& block) {
    const bool edges = key.fillGeometry == 1;
    std::string gs = "#version 330 core\n";
    gs += edges ? "layout(lines_adjacency) in;\nlayout(line_strip, max_vertices = 2) out;\n"
                : "layout(triangles) in;\nlayout(points, max_vertices = 3) out;\n";
    gs += "in " + block + " sg_gIn[];\n";
    const char* interp = key.flatShading ? "flat " : "";
    gs += Format("%sout vec4 sg_vD0;\n%sout vec4 sg_vD1;\nout vec4 sg_vT[8];\nout float sg_vFog;\n", interp, interp);
    gs += Format("bool sg_Kept(vec4 a, vec4 b, vec4 c) {\n"
                 "    if (a.w <= 0.0 || b.w <= 0.0 || c.w <= 0.0) return true;\n"
                 "    vec2 p = a.xy / a.w, q = b.xy / b.w, r = c.xy / c.w;\n"
                 "    float area = (q.x - p.x) * (r.y - p.y) - (r.x - p.x) * (q.y - p.y);\n"
                 "    return area %s 0.0;\n}\n",
                 key.fillKeepBack ? "<" : ">");
    gs += "void sg_Emit(int i) {\n"
          "    gl_Position = gl_in[i].gl_Position;\n    gl_PointSize = gl_in[i].gl_PointSize;\n";
    for (int i = 0; i < 6; ++i) {
        if (key.clipPlanes & (1 << i)) gs += Format("    gl_ClipDistance[%d] = gl_in[i].gl_ClipDistance[%d];\n", i, i);
    }
    gs += "    sg_vD0 = sg_gIn[i].sg_vD0;\n    sg_vD1 = sg_gIn[i].sg_vD1;\n"
          "    for (int t = 0; t < 8; ++t) sg_vT[t] = sg_gIn[i].sg_vT[t];\n"
          "    sg_vFog = sg_gIn[i].sg_vFog;\n    EmitVertex();\n}\n";
    gs += "void main() {\n    vec4 a = gl_in[0].gl_Position, b = gl_in[1].gl_Position, c = gl_in[2].gl_Position;\n";
    if (edges) {
        gs += "    if (sg_Kept(a, b, c) || sg_Kept(b, a, gl_in[3].gl_Position)) {\n"
              "        sg_Emit(0);\n        sg_Emit(1);\n        EndPrimitive();\n    }\n}\n";
    } else {
        gs += "    if (sg_Kept(a, b, c)) {\n"
              "        for (int i = 0; i < 3; ++i) {\n            sg_Emit(i);\n            EndPrimitive();\n"
              "        }\n    }\n}\n";
    }
    return gs;
}

}  // namespace

bool BuildProgram(const ProgramKey& key, const std::string& vertexStage, const std::string& pixelStage,
                  FixedProgram* out, std::string* error) {
    const char* interp = key.flatShading ? "flat " : "";
    std::string vs = "#version 330 core\n";
    // With a geometry stage the vertex outputs travel in a block, read by it as an array.
    const std::string block = Format("SgVertex {\n    %svec4 sg_vD0;\n    %svec4 sg_vD1;\n    vec4 sg_vT[8];\n"
                                     "    float sg_vFog;\n}", interp, interp);
    const char* to = key.fillGeometry ? "sg_gIn." : "";
    if (key.fillGeometry) {
        vs += "out " + block + " sg_gIn;\n";
    } else {
        vs += Format("%sout vec4 sg_vD0;\n%sout vec4 sg_vD1;\nout vec4 sg_vT[8];\nout float sg_vFog;\n", interp,
                     interp);
    }
    vs += "uniform vec4 sg_PosFix;\nuniform vec4 sg_ClipPlane[6];\n";
    vs += "vec4 sg_oPos;\nvec4 sg_oD0;\nvec4 sg_oD1;\nvec4 sg_oT[8];\nfloat sg_oFog;\nfloat sg_oPts;\n";
    vs += vertexStage;
    vs += "void main() {\n"
          "    sg_oPos = vec4(0.0, 0.0, 0.0, 1.0);\n    sg_oD0 = vec4(1.0);\n    sg_oD1 = vec4(0.0);\n"
          "    for (int i = 0; i < 8; ++i) sg_oT[i] = vec4(0.0, 0.0, 0.0, 1.0);\n"
          "    sg_oFog = 1.0;\n    sg_oPts = 1.0;\n"
          "    sg_VertexStage();\n"
          // D3D clip space to GL: y flipped (rows are stored top row first), z from 0..w to -w..w, and the
          // half-pixel shift that puts pixel centres at integer coordinates.
          "    gl_Position = vec4(sg_oPos.x + sg_oPos.w * sg_PosFix.x, -sg_oPos.y + sg_oPos.w * sg_PosFix.y,\n"
          "                       2.0 * sg_oPos.z - sg_oPos.w, sg_oPos.w);\n"
          "    gl_PointSize = sg_oPts;\n";
    for (int i = 0; i < 6; ++i) {
        if (key.clipPlanes & (1 << i)) vs += Format("    gl_ClipDistance[%d] = dot(sg_oPos, sg_ClipPlane[%d]);\n", i, i);
    }
    vs += Format("    %ssg_vD0 = clamp(sg_oD0, 0.0, 1.0);\n    %ssg_vD1 = clamp(sg_oD1, 0.0, 1.0);\n"
                 "    for (int i = 0; i < 8; ++i) %ssg_vT[i] = sg_oT[i];\n"
                 "    %ssg_vFog = clamp(sg_oFog, 0.0, 1.0);\n}\n",
                 to, to, to, to);
    const std::string gs = key.fillGeometry ? GeometryStage(key, block) : std::string();

    std::string fs = "#version 330 core\n";
    fs += Format("%sin vec4 sg_vD0;\n%sin vec4 sg_vD1;\nin vec4 sg_vT[8];\nin float sg_vFog;\n", interp, interp);
    for (int i = 0; i < 8; ++i) fs += Format("uniform sampler2D sg_Sampler%d;\n", i);
    fs += "uniform vec4 sg_FogColor;\nuniform vec4 sg_FogParams;\nuniform float sg_AlphaRef;\n";
    fs += "out vec4 sg_FragColor;\n";
    fs += pixelStage;
    fs += "void main() {\n    vec4 c = sg_PixelStage();\n";
    if (key.tableFog) {
        fs += key.fogFromW ? "    float d = 1.0 / gl_FragCoord.w;\n" : "    float d = gl_FragCoord.z;\n";
        switch (key.tableFog) {
        case D3DFOG_LINEAR: fs += "    float f = (sg_FogParams.y - d) * sg_FogParams.w;\n"; break;
        case D3DFOG_EXP: fs += "    float f = exp(-sg_FogParams.z * d);\n"; break;
        default: fs += "    float f = exp(-(sg_FogParams.z * d) * (sg_FogParams.z * d));\n"; break;
        }
        fs += "    c.rgb = mix(sg_FogColor.rgb, c.rgb, clamp(f, 0.0, 1.0));\n";
    } else if (key.vertexFogUsed) {
        fs += "    c.rgb = mix(sg_FogColor.rgb, c.rgb, sg_vFog);\n";
    }
    if (key.alphaFunc) {
        // The platform compares 8-bit alpha with the 8-bit reference.
        static const char* const kCompare[] = {"false", "false", "a < r", "a == r", "a <= r",
                                               "a > r", "a != r", "a >= r", "true"};
        fs += "    float a = floor(clamp(c.a, 0.0, 1.0) * 255.0 + 0.5);\n    float r = sg_AlphaRef;\n";
        fs += Format("    if (!(%s)) discard;\n", kCompare[key.alphaFunc <= 8 ? key.alphaFunc : 8]);
    }
    fs += "    sg_FragColor = c;\n}\n";

    GLuint v = Compile(GL_VERTEX_SHADER, vs, error);
    if (!v) return false;
    GLuint f = Compile(GL_FRAGMENT_SHADER, fs, error);
    if (!f) {
        glDeleteShader(v);
        return false;
    }
    GLuint g = 0;
    if (!gs.empty() && !(g = Compile(GL_GEOMETRY_SHADER, gs, error))) {
        glDeleteShader(v);
        glDeleteShader(f);
        return false;
    }
    GLuint program = glCreateProgram();
    glAttachShader(program, v);
    glAttachShader(program, f);
    if (g) glAttachShader(program, g);
    glBindFragDataLocation(program, 0, "sg_FragColor");
    glLinkProgram(program);
    glDeleteShader(v);
    glDeleteShader(f);
    if (g) glDeleteShader(g);
    GLint ok = 0;
    glGetProgramiv(program, GL_LINK_STATUS, &ok);
    if (!ok) {
        char log[2048] = {};
        glGetProgramInfoLog(program, sizeof log, nullptr, log);
        *error = std::string("link: ") + log;
        glDeleteProgram(program);
        return false;
    }
    out->program = program;
    static const char* const kNames[] = {
#define SG_UNIFORM_NAME(id, name) name,
        SG_UNIFORMS(SG_UNIFORM_NAME)
#undef SG_UNIFORM_NAME
    };
    for (int i = 0; i < kUniformCount; ++i) out->location[i] = glGetUniformLocation(program, kNames[i]);
    glUseProgram(program);
    for (int i = 0; i < 8; ++i) {
        GLint loc = glGetUniformLocation(program, Format("sg_Sampler%d", i).c_str());
        if (loc >= 0) glUniform1i(loc, i);
    }
    return true;
}

}  // namespace d3dimpl
