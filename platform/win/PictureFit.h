// Where a picture goes in a target of another size: the largest rectangle of the picture's aspect
// ratio that fits, in whole pixels, centred (the rest of the target is black). Shared by the window
// layer's copy path and the device's window path, so both place a picture alike.
#pragma once

#include <cstdint>

namespace win {

struct PicturePlace {
    int x, y, width, height;  // in the target, top-left origin
};

// Width and height of both are positive.
inline PicturePlace FitPicture(int pictureWidth, int pictureHeight, int targetWidth, int targetHeight) {
    PicturePlace place{0, 0, targetWidth, targetHeight};
    const int64_t scaledWidth = static_cast<int64_t>(targetHeight) * pictureWidth / pictureHeight;
    if (scaledWidth <= targetWidth) {
        place.width = static_cast<int>(scaledWidth);
        place.x = (targetWidth - place.width) / 2;
    } else {
        place.height = static_cast<int>(static_cast<int64_t>(targetWidth) * pictureHeight / pictureWidth);
        place.y = (targetHeight - place.height) / 2;
    }
    return place;
}

}  // namespace win
