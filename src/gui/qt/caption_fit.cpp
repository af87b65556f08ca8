// SPDX-License-Identifier: MIT
#include "gui/qt/caption_fit.h"

#include <QFontMetrics>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>

namespace orvik {

namespace {

// Below this, a caption would no longer be comfortable to read; the smallest size is kept then.
constexpr qreal kSmallestPointSize = 6.0;
constexpr int kSmallestPixelSize = 8;

QSize CaptionRoom(const QPushButton& button)
{
    QStyleOptionButton option;
    option.initFrom(&button);
    option.text = button.text();
    option.rect = button.rect();
    return button.style()->subElementRect(QStyle::SE_PushButtonContents, &option, &button).size();
}

bool Fits(const QFont& font, const QString& caption, QSize room)
{
    const QFontMetrics metrics(font);
    return metrics.horizontalAdvance(caption) <= room.width() && metrics.height() <= room.height();
}

} // namespace

void FitCaption(QPushButton& button)
{
    const QSize room = CaptionRoom(button);
    const QString caption = button.text();
    QFont font = button.font();
    if (Fits(font, caption, room))
        return;

    // A font may be given in points or in pixels, depending on the platform.
    const bool inPoints = font.pointSizeF() > 0;
    const qreal start = inPoints ? font.pointSizeF() : qreal(font.pixelSize());
    const qreal step = inPoints ? 0.5 : 1.0;
    const qreal smallest = inPoints ? kSmallestPointSize : qreal(kSmallestPixelSize);
    for (qreal size = start; size >= smallest; size -= step) {
        for (const int stretch : { int(QFont::Unstretched), int(QFont::SemiCondensed) }) {
            if (inPoints)
                font.setPointSizeF(size);
            else
                font.setPixelSize(int(size));
            font.setStretch(stretch);
            if (Fits(font, caption, room)) {
                button.setFont(font);
                return;
            }
        }
    }
    button.setFont(font);
}

} // namespace orvik
