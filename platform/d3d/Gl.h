// OpenGL 3.3 core entry points for the device (prototypes from the system's glcorearb.h) and the one
// checking wrapper: GL_CHECK asserts that a call raised no GL error in debug builds.
#pragma once

#define GL_GLEXT_PROTOTYPES 1
#include <GL/glcorearb.h>

#include <cassert>

namespace d3dgl {
// Reports a pending GL error (with the call text) and returns false; true when none.
bool CheckError(const char* call, const char* file, int line);
}  // namespace d3dgl

#ifdef SIMMERGLASS_GL_DEBUG
#define GL_CHECK(call)                                          \
    do {                                                        \
        call;                                                   \
        assert(d3dgl::CheckError(#call, __FILE__, __LINE__));   \
    } while (0)
#else
#define GL_CHECK(call) call
#endif
