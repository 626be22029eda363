// Resources: vertex and index buffers, textures and surfaces. Each keeps its contents in memory in the
// platform's layout (locks hand out that memory) and uploads changed parts to GL before a draw.
#include <cstring>
#include <new>

#include "platform/d3d/DeviceImpl.h"

namespace d3dimpl {

// [SECTION] Reference counting

DeviceChild::DeviceChild(Device* device, D3DPOOL pool, bool startPublic) : device(device), pool(pool) {
    device->ChildCreated(this);
    if (startPublic) AddPublic();
}

DeviceChild::~DeviceChild() { device->ChildDestroyed(this); }

ULONG DeviceChild::AddPublic() {
    if (publicRefs++ == 0) device->AddRef();
    return publicRefs;
}

ULONG DeviceChild::ReleasePublic() {
    assert(publicRefs > 0);
    ULONG n = --publicRefs;
    if (n == 0) {
        Device* owner = device;
        if (internalRefs == 0) delete this;
        owner->Release();
    }
    return n;
}

void DeviceChild::ReleaseInternal() {
    assert(internalRefs > 0);
    if (--internalRefs == 0 && publicRefs == 0) delete this;
}

// [SECTION] Buffers

Buffer::Buffer(Device* device, UINT size, DWORD usage, D3DPOOL pool)
    : DeviceChild(device, pool, true), data(size, 0), usage(usage), dirtyBegin(0), dirtyEnd(size) {}

Buffer::~Buffer() {
    GLuint names[1 + FillListCache::kEntries];
    GLsizei count = 0;
    if (gl) names[count++] = gl;
    for (const FillListCache::Entry& e : fillLists.entries) {
        if (e.buffer) names[count++] = e.buffer;
    }
    if (count == 0) return;
    device->MakeCurrent();
    for (GLsizei i = 0; i < count; ++i) device->BufferDeleted(names[i]);
    glDeleteBuffers(count, names);
}

HRESULT Buffer::LockRange(UINT offset, UINT size, BYTE** out, DWORD flags) {
    if (!out) return D3DERR_INVALIDCALL;
    *out = nullptr;
    if (locked || offset > data.size()) return D3DERR_INVALIDCALL;
    if (size == 0) size = static_cast<UINT>(data.size()) - offset;
    if (size > data.size() - offset) return D3DERR_INVALIDCALL;
    if ((flags & (D3DLOCK_DISCARD | D3DLOCK_NOOVERWRITE)) && !(usage & D3DUSAGE_DYNAMIC)) {
        // The platform ignores these hints on static buffers; the lock is an ordinary one.
        flags &= ~(D3DLOCK_DISCARD | D3DLOCK_NOOVERWRITE);
    }
    locked = true;
    readOnlyLock = (flags & D3DLOCK_READONLY) != 0;
    if (!readOnlyLock) {
        if (flags & D3DLOCK_DISCARD) {
            // The old contents are dropped: the next upload replaces the whole GL store, so the GPU may keep
            // reading the previous one.
            discard = true;
            dirtyBegin = 0;
            dirtyEnd = static_cast<UINT>(data.size());
        } else {
            if (dirtyBegin >= dirtyEnd) {
                dirtyBegin = offset;
                dirtyEnd = offset + size;
            } else {
                dirtyBegin = offset < dirtyBegin ? offset : dirtyBegin;
                dirtyEnd = offset + size > dirtyEnd ? offset + size : dirtyEnd;
            }
        }
    }
    *out = data.data() + offset;
    return D3D_OK;
}

HRESULT Buffer::UnlockRange() {
    if (!locked) return D3DERR_INVALIDCALL;
    locked = false;
    if (!readOnlyLock) ++version;
    return D3D_OK;
}

GLuint Buffer::Upload() {
    if (pool == D3DPOOL_SCRATCH) return 0;
    GLenum target = GL_ARRAY_BUFFER;
    if (!gl) {
        GL_CHECK(glGenBuffers(1, &gl));
        GL_CHECK(glBindBuffer(target, gl));
        GL_CHECK(glBufferData(target, static_cast<GLsizeiptr>(data.size()), data.data(),
                              (usage & D3DUSAGE_DYNAMIC) ? GL_STREAM_DRAW : GL_STATIC_DRAW));
        dirtyBegin = dirtyEnd = 0;
        discard = false;
        return gl;
    }
    if (dirtyBegin < dirtyEnd) {
        GL_CHECK(glBindBuffer(target, gl));
        if (discard || (dirtyBegin == 0 && dirtyEnd == data.size())) {
            GL_CHECK(glBufferData(target, static_cast<GLsizeiptr>(data.size()), data.data(),
                                  (usage & D3DUSAGE_DYNAMIC) ? GL_STREAM_DRAW : GL_STATIC_DRAW));
        } else {
            GL_CHECK(glBufferSubData(target, dirtyBegin, dirtyEnd - dirtyBegin, data.data() + dirtyBegin));
        }
        dirtyBegin = dirtyEnd = 0;
        discard = false;
    }
    return gl;
}

HRESULT VertexBuffer::GetDevice(IDirect3DDevice8** out) {
    if (!out) return D3DERR_INVALIDCALL;
    device->AddRef();
    *out = device;
    return D3D_OK;
}

HRESULT VertexBuffer::Lock(UINT offset, UINT size, BYTE** data, DWORD flags) {
    return LockRange(offset, size, data, flags);
}

HRESULT VertexBuffer::Unlock() { return UnlockRange(); }

HRESULT VertexBuffer::GetDesc(D3DVERTEXBUFFER_DESC* desc) {
    if (!desc) return D3DERR_INVALIDCALL;
    *desc = {D3DFMT_VERTEXDATA, D3DRTYPE_VERTEXBUFFER, Usage(), pool, Size(), fvf};
    return D3D_OK;
}

HRESULT IndexBuffer::GetDevice(IDirect3DDevice8** out) {
    if (!out) return D3DERR_INVALIDCALL;
    device->AddRef();
    *out = device;
    return D3D_OK;
}

HRESULT IndexBuffer::Lock(UINT offset, UINT size, BYTE** data, DWORD flags) {
    return LockRange(offset, size, data, flags);
}

HRESULT IndexBuffer::Unlock() { return UnlockRange(); }

HRESULT IndexBuffer::GetDesc(D3DINDEXBUFFER_DESC* desc) {
    if (!desc) return D3DERR_INVALIDCALL;
    *desc = {format, D3DRTYPE_INDEXBUFFER, Usage(), pool, Size()};
    return D3D_OK;
}

UINT IndexBuffer::MaxIndex(UINT first, UINT count) {
    if (first == cachedFirst && count == cachedCount && Version() == cachedVersion) return cachedMax;
    UINT best = 0;
    const BYTE* p = Data() + static_cast<size_t>(first) * IndexSize();
    if (format == D3DFMT_INDEX32) {
        for (UINT i = 0; i < count; ++i) {
            DWORD v;
            std::memcpy(&v, p + i * 4, 4);
            best = v > best ? v : best;
        }
    } else {
        for (UINT i = 0; i < count; ++i) {
            WORD v;
            std::memcpy(&v, p + i * 2, 2);
            best = v > best ? v : best;
        }
    }
    cachedFirst = first, cachedCount = count, cachedVersion = Version(), cachedMax = best;
    return best;
}

// [SECTION] Surfaces

Surface::Surface(Device* device, Kind kind, Texture* texture, UINT level, UINT width, UINT height, D3DFORMAT format,
                 D3DPOOL pool, DWORD usage)
    : DeviceChild(device, pool, false),
      kind(kind),
      texture(texture),
      level(level),
      width(width),
      height(height),
      format(format),
      usage(usage) {
    const FormatInfo* info = FindFormat(format);
    assert(info);
    pitch = width * info->bytesPerPixel;
    if (kind == kImage) pixels.assign(static_cast<size_t>(pitch) * height, 0);
}

ULONG Surface::AddRef() { return texture ? texture->AddRef() : AddPublic(); }

ULONG Surface::Release() { return texture ? texture->Release() : ReleasePublic(); }

HRESULT Surface::GetDevice(IDirect3DDevice8** out) {
    if (!out) return D3DERR_INVALIDCALL;
    device->AddRef();
    *out = device;
    return D3D_OK;
}

HRESULT Surface::GetDesc(D3DSURFACE_DESC* desc) {
    if (!desc) return D3DERR_INVALIDCALL;
    D3DMULTISAMPLE_TYPE samples = kind == kBackBuffer ? device->MultiSampleType() : D3DMULTISAMPLE_NONE;
    *desc = {format, D3DRTYPE_SURFACE, usage, pool, pitch * height, samples, width, height};
    return D3D_OK;
}

HRESULT Surface::LockRect(D3DLOCKED_RECT* lockedRect, const RECT* rect, DWORD flags) {
    if (kind == kTextureLevel) return texture->LockRect(level, lockedRect, rect, flags);
    if (!lockedRect || locked) return D3DERR_INVALIDCALL;
    if (rect && (rect->left < 0 || rect->top < 0 || rect->right <= rect->left || rect->bottom <= rect->top ||
                 static_cast<UINT>(rect->right) > width || static_cast<UINT>(rect->bottom) > height))
        return D3DERR_INVALIDCALL;
    if (kind == kBackBuffer) {
        // The back buffer is read back from GL; writes could not reach it, so only read-only locks.
        if (!(flags & D3DLOCK_READONLY)) return D3DERR_INVALIDCALL;
        std::vector<DWORD> argb;
        if (FAILED(device->ReadBackBuffer(&argb))) return E_OUTOFMEMORY;
        try {
            pixels.assign(static_cast<size_t>(pitch) * height, 0);
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        for (UINT y = 0; y < height; ++y)
            RowFromArgb(format, &argb[static_cast<size_t>(y) * width], pixels.data() + static_cast<size_t>(y) * pitch,
                        width);
    }
    const FormatInfo* info = FindFormat(format);
    size_t offset = rect ? static_cast<size_t>(rect->top) * pitch + static_cast<size_t>(rect->left) * info->bytesPerPixel
                         : 0;
    lockedRect->Pitch = static_cast<INT>(pitch);
    lockedRect->pBits = pixels.data() + offset;
    locked = true;
    return D3D_OK;
}

HRESULT Surface::UnlockRect() {
    if (kind == kTextureLevel) return texture->UnlockRect(level);
    if (!locked) return D3DERR_INVALIDCALL;
    locked = false;
    return D3D_OK;
}

// [SECTION] Textures

Texture::Texture(Device* device, UINT width, UINT height, UINT levelCount, DWORD usage, const FormatInfo* format,
                 D3DPOOL pool)
    : DeviceChild(device, pool, true), width(width), height(height), usage(usage), format(format) {
    levels.resize(levelCount);
    UINT w = width, h = height;
    for (UINT i = 0; i < levelCount; ++i) {
        Level& l = levels[i];
        l.width = w;
        l.height = h;
        l.pitch = w * format->bytesPerPixel;
        l.data.assign(static_cast<size_t>(l.pitch) * h, 0);
        w = w > 1 ? w / 2 : 1;
        h = h > 1 ? h / 2 : 1;
    }
}

Texture::~Texture() {
    for (Level& l : levels) l.surface.reset();
    if (gl) {
        device->MakeCurrent();
        glDeleteTextures(1, &gl);
    }
}

HRESULT Texture::GetDevice(IDirect3DDevice8** out) {
    if (!out) return D3DERR_INVALIDCALL;
    device->AddRef();
    *out = device;
    return D3D_OK;
}

DWORD Texture::SetLOD(DWORD newLod) {
    DWORD old = lod;
    // Applied at the next draw that samples the texture.
    if (pool == D3DPOOL_MANAGED) lod = newLod < levels.size() ? newLod : static_cast<DWORD>(levels.size() - 1);
    return old;
}

void Texture::UseMostDetailedLevel(DWORD level) {
    DWORD base = level > lod ? level : lod;
    if (base >= levels.size()) base = static_cast<DWORD>(levels.size() - 1);
    if (static_cast<GLint>(base) != glBaseLevel) {
        glBaseLevel = static_cast<GLint>(base);
        GL_CHECK(glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_BASE_LEVEL, glBaseLevel));
    }
}

HRESULT Texture::GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) {
    if (level >= levels.size() || !desc) return D3DERR_INVALIDCALL;
    const Level& l = levels[level];
    *desc = {format->format, D3DRTYPE_SURFACE, usage, pool, l.pitch * l.height, D3DMULTISAMPLE_NONE, l.width,
             l.height};
    return D3D_OK;
}

HRESULT Texture::GetSurfaceLevel(UINT level, IDirect3DSurface8** surface) {
    if (!surface) return D3DERR_INVALIDCALL;
    *surface = nullptr;
    if (level >= levels.size()) return D3DERR_INVALIDCALL;
    Level& l = levels[level];
    if (!l.surface) {
        l.surface = std::make_unique<Surface>(device, Surface::kTextureLevel, this, level, l.width, l.height,
                                              format->format, pool, usage);
    }
    AddRef();
    *surface = l.surface.get();
    return D3D_OK;
}

HRESULT Texture::LockRect(UINT level, D3DLOCKED_RECT* lockedRect, const RECT* rect, DWORD flags) {
    if (level >= levels.size() || !lockedRect) return D3DERR_INVALIDCALL;
    Level& l = levels[level];
    if (l.locked) return D3DERR_INVALIDCALL;
    if (rect && (rect->left < 0 || rect->top < 0 || rect->right <= rect->left || rect->bottom <= rect->top ||
                 static_cast<UINT>(rect->right) > l.width || static_cast<UINT>(rect->bottom) > l.height))
        return D3DERR_INVALIDCALL;
    // Default-pool textures that are not dynamic cannot be locked on the platform.
    if (pool == D3DPOOL_DEFAULT && !(usage & D3DUSAGE_DYNAMIC)) return D3DERR_INVALIDCALL;
    size_t offset = rect ? static_cast<size_t>(rect->top) * l.pitch +
                               static_cast<size_t>(rect->left) * format->bytesPerPixel
                         : 0;
    l.locked = true;
    l.readOnly = (flags & D3DLOCK_READONLY) != 0;
    lockedRect->Pitch = static_cast<INT>(l.pitch);
    lockedRect->pBits = l.data.data() + offset;
    return D3D_OK;
}

HRESULT Texture::UnlockRect(UINT level) {
    if (level >= levels.size() || !levels[level].locked) return D3DERR_INVALIDCALL;
    Level& l = levels[level];
    l.locked = false;
    if (!l.readOnly) l.dirty = true;
    return D3D_OK;
}

HRESULT Texture::AddDirtyRect(const RECT*) {
    for (Level& l : levels) l.dirty = true;
    return D3D_OK;
}

GLuint Texture::Upload() {
    if (pool == D3DPOOL_SYSTEMMEM || pool == D3DPOOL_SCRATCH) return 0;
    device->MakeCurrent();
    bool changed = false;
    for (const Level& l : levels) changed = changed || l.dirty;
    if (gl && changed) {
        // A changed picture gets new storage rather than being written into the old one: draws still
        // queued may read the old picture, and writing into it would wait for them (llvmpipe would
        // finish the whole previous frame first, leaving the program and the rasteriser taking turns).
        GL_CHECK(glDeleteTextures(1, &gl));
        gl = 0;
    }
    bool fresh = false;
    if (!gl) {
        GL_CHECK(glGenTextures(1, &gl));
        fresh = true;
    }
    GL_CHECK(glBindTexture(GL_TEXTURE_2D, gl));
    if (fresh) {
        glBaseLevel = 0;
        GL_CHECK(glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, static_cast<GLint>(levels.size() - 1)));
        GL_CHECK(glTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_SWIZZLE_RGBA, format->swizzle));
        for (UINT i = 0; i < levels.size(); ++i) {
            Level& l = levels[i];
            GL_CHECK(glTexImage2D(GL_TEXTURE_2D, static_cast<GLint>(i), static_cast<GLint>(format->internalFormat),
                                  static_cast<GLsizei>(l.width), static_cast<GLsizei>(l.height), 0,
                                  format->uploadFormat, format->uploadType, l.data.data()));
            l.dirty = false;
        }
    }
    return gl;
}

}  // namespace d3dimpl
