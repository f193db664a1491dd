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

    // devicePixelRatio picks the 32 x 32 or the 64 x 64 drawing.
    explicit Pictures(qreal devicePixelRatio = 1.0);

    const Picture& face(int n) const { return m_faces.at(static_cast<std::size_t>(n)); }
    const Picture& start() const { return m_start; }
    const Picture& push() const { return m_push; }
    const Picture& stop() const { return m_stop; }
    const Picture& busyDark() const { return m_busyDark; }
    const Picture& busyLit() const { return m_busyLit; }
    const Picture& byId(PictureId id) const;

    static QIcon windowIcon();

private:
    std::array<Picture, kFaces> m_faces;
    Picture m_start, m_push, m_stop, m_busyDark, m_busyLit;
};
