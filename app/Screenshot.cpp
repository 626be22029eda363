// PNG writer on libpng's simplified API; the alpha byte of the frame is dropped. The picture is
// written to a new file beside the target and renamed over it only once it is complete, so a
// failed write leaves whatever was at the target as it was.
#include "app/Screenshot.h"

#include <png.h>

#include <cstring>
#include <new>
#include <vector>

#include "platform/win/WinFile.h"

namespace {

// What is at `path` when it is not something a picture may replace ("" when it may).
const char* CannotReplace(const std::string& path) {
    switch (GetFileAttributesA(path.c_str())) {
        case FILE_ATTRIBUTE_DIRECTORY: return "it is a folder";
        case FILE_ATTRIBUTE_DEVICE: return "it is not a regular file";
        case FILE_ATTRIBUTE_READONLY: return "it is write-protected";
        default: return "";
    }
}

std::string FolderOf(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

bool BeginReplacement(const std::string& path, std::string* temp, std::string* error) {
    if (const char* why = CannotReplace(path); *why) {
        *error = why;
        return false;
    }
    const std::string folder = FolderOf(path);
    std::vector<char> name(MAX_PATH);
    if (GetTempFileNameA(folder.c_str(), "sg", 0, name.data()) == 0) {
        *error = "no new file can be made in " + folder;
        return false;
    }
    *temp = name.data();
    return true;
}

bool CompleteReplacement(const std::string& temp, const std::string& path, std::string* error) {
    // A file that is replaced keeps its permissions (a private picture stays private).
    const bool replacing = GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
    if (replacing ? ReplaceFileA(path.c_str(), temp.c_str(), nullptr, 0, nullptr, nullptr)
                  : MoveFileExA(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING))
        return true;
    *error = "what is there cannot be replaced";
    AbandonReplacement(temp);
    return false;
}

// Only the file made here is ever removed (a writer may have removed it already).
void AbandonReplacement(const std::string& temp) { DeleteFileA(temp.c_str()); }

bool WritePng(const std::string& path, const DWORD* pixels, UINT width, UINT height, std::string* error) {
    if (!pixels || width == 0 || height == 0 || width > 16384 || height > 16384) {
        *error = "no picture to write";
        return false;
    }
    std::vector<png_byte> rgb;
    try {
        rgb.resize(static_cast<size_t>(width) * height * 3);
    } catch (const std::bad_alloc&) {
        *error = "not enough memory for the picture";
        return false;
    }
    for (size_t i = 0, n = static_cast<size_t>(width) * height; i < n; ++i) {
        DWORD p = pixels[i];
        rgb[i * 3 + 0] = static_cast<png_byte>((p >> 16) & 0xFF);
        rgb[i * 3 + 1] = static_cast<png_byte>((p >> 8) & 0xFF);
        rgb[i * 3 + 2] = static_cast<png_byte>(p & 0xFF);
    }
    std::string temp;
    if (!BeginReplacement(path, &temp, error)) return false;
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = width;
    image.height = height;
    image.format = PNG_FORMAT_RGB;
    bool written = png_image_write_to_file(&image, temp.c_str(), 0, rgb.data(),
                                           static_cast<png_int_32>(width * 3), nullptr) != 0;
    if (!written) *error = image.message;
    png_image_free(&image);
    if (!written) {
        AbandonReplacement(temp);
        return false;
    }
    return CompleteReplacement(temp, path, error);
}
