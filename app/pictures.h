// SPDX-License-Identifier: MIT
#pragma once

#include <QIcon>
#include <QPixmap>
#include <array>

#include "model/pictureid.h"

struct Picture {
    PictureId id = PictureId::Blank;
    QPixmap pixmap;  // 32 x 32 device-independent pixels, crisp at device pixel ratio 2
};

// The 49 template pictures, compiled into the binary and loaded once.
class Pictures {
public:
    static constexpr int kFaces = 44;  // blank + balls 1..43
    static constexpr int kPictures = static_cast<int>(PictureId::BusyLit) + 1;

    // devicePixelRatio picks the 32 x 32 or the 64 x 64 drawing.
    explicit Pictures(qreal devicePixelRatio = 1.0);

    const Picture& byId(PictureId id) const { return m_pictures.at(static_cast<std::size_t>(id)); }

    static QIcon windowIcon();

private:
    std::array<Picture, kPictures> m_pictures;
};
