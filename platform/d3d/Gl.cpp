// The GL error check behind GL_CHECK.
#include "platform/d3d/Gl.h"

#include <cstdio>

namespace d3dgl {

bool CheckError(const char* call, const char* file, int line) {
    GLenum error = glGetError();
    if (error == GL_NO_ERROR) return true;
    std::fprintf(stderr, "%s:%d: GL error 0x%04x after %s\n", file, line, error, call);
    return false;
}

}  // namespace d3dgl
